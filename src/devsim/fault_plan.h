// The faults the emulated device can be told to make: chosen rules that
// strike given requests, and seeded random faults for soak tests. Each request
// is identified by its command, its block number (block commands only) and its
// attempt: how many requests with the same command and block came before it.
// The free functions are pure; any thread may call them.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace bramis::devsim {

enum class FaultKind {
    Silent,         // the request is lost: no action, no reply
    Status,         // a block write or an erase is refused with `value` as its status
    CorruptCrc,     // a block read's CRC is wrong (every nibble pair well formed)
    CorruptNibble,  // a block read's high-nibble byte number `at` is outside 0x40-0x4F
    Short,          // the last `value` reply bytes are not sent
    Long,           // `value` bytes 0x00 follow the reply
    Pause,          // the line stays quiet `value` ms before reply byte `at`
    WrongHeader,    // the reply's header reads 80 7E 7F 7F 7F
    WrongCheck,     // the byte the programmer checks last (acknowledge, check byte or echoed command) is wrong
    Drop,           // the adapter is unplugged: this request and every later one go unanswered
};

// Every value the `value` and `at` fields may leave to the fault's default.
inline constexpr int kDefault = -1;
// Matches every block, or every attempt.
inline constexpr int kAny = -1;

// One chosen fault. It strikes the requests that match `command` (any when
// empty), `block` and attempts `attempt` to `attempt + times - 1`. Written
// with designated initializers, e.g. the second write of block 3 refused:
//   FaultRule{.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 3, .attempt = 1, .value = 0x5A}
struct FaultRule {
    FaultKind kind = FaultKind::Silent;
    std::optional<std::uint8_t> command = std::nullopt;
    int block = kAny;
    int attempt = kAny;
    int times = 1;
    int value = kDefault;  // status, byte count or pause in ms, by kind
    int at = kDefault;     // position of a pause or of a broken nibble
};

// Random faults: each request the device would answer is struck with
// `probability`, by a kind drawn from `kinds` among those that fit its command.
// With `spareRetries` a request right after a randomly struck one of the same
// command and block is never struck, so every random fault can be recovered by
// the programmer's second attempt.
struct RandomFaults {
    std::uint32_t seed = 1;
    double probability = 0.0;
    std::vector<FaultKind> kinds;  // empty: every kind a retry can recover from
    bool spareRetries = true;
};

// A fault that strikes one request, with its parameters settled.
struct Fault {
    FaultKind kind;
    int value;
    int at;
};

// The rules and the random generator. Not thread-safe: used by one device.
class FaultPlan {
public:
    FaultPlan() = default;
    FaultPlan(std::vector<FaultRule> rules, std::optional<RandomFaults> random);

    // The fault for one request, or none. `block` is -1 for commands without
    // one. Chosen rules win over random faults; the first matching rule wins.
    std::optional<Fault> Select(std::uint8_t command, int block, int attempt);

    const std::vector<FaultRule>& Rules() const { return rules_; }

private:
    std::optional<Fault> DrawRandom(std::uint8_t command, int block);

    std::vector<FaultRule> rules_;
    std::optional<RandomFaults> random_;
    std::mt19937 generator_;
    // The command and block of the last request struck at random.
    std::optional<std::pair<std::uint8_t, int>> lastRandomHit_;
};

// Whether a fault of `kind` means anything for `command`.
bool FaultFits(FaultKind kind, std::uint8_t command);

// The kind's name as written in options and events ("corrupt-crc"), and back.
std::string_view FaultKindName(FaultKind kind);
std::optional<FaultKind> FaultKindFromName(std::string_view name);

// The command's short name ("write"), and back; "any" is not a command.
std::string_view CommandName(std::uint8_t command);
std::optional<std::uint8_t> CommandFromName(std::string_view name);

// Parses a whole number in decimal or, with 0x, in hexadecimal.
std::optional<int> ParseNumber(std::string_view text);

// Parses "KIND[,cmd=NAME][,block=N][,attempt=N][,times=N][,value=N][,at=N]";
// numbers in decimal or with 0x. Returns the rule, or sets `error`.
std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error);

}  // namespace bramis::devsim
