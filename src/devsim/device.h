// The emulated device: its bootloader as the programmer meets it on the serial
// line. In working mode it waits for the enter-programming frame; in
// programming mode it answers version, erase, block write, block read and run
// in the protocol's byte formats, with its own 188416-byte flash behind them.
// It can be told to make faults (fault_plan.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "devsim/fault_plan.h"
#include "link/device_memory.h"
#include "link/line_peer.h"

namespace bramis::devsim {

enum class Mode { Working, Programming };

// How long the device takes, in ms of the line's clock.
struct DeviceTiming {
    bool wireSpeed = false;     // reply bytes follow each other at 9600 8E1; else all come at once
    double turnaroundMs = 2.0;  // from a request's last byte to the start of its reply
    double eraseMs = 100.0;     // more for an erase
    double writeMs = 10.0;      // more for programming a block
    double frameGapMs = 50.0;   // a frame in progress is dropped after this much silence
};

struct DeviceConfig {
    int versionMajor = 1;  // 0 to 255
    int versionMinor = 0;  // 0 to 255
    DeviceTiming timing;
    FaultPlan faults;
};

// Status of a block write refused for a damaged frame (check byte, block
// number field, nibble pair or CRC): sending the block again may help.
inline constexpr std::uint8_t kStatusBadFrame = 0x5A;
// Status of a block write the flash cannot take (block number beyond the
// flash, or bits that only an erase could set): sending it again does not help.
inline constexpr std::uint8_t kStatusNotProgrammed = 0x2A;

// What became of one complete request.
enum class Outcome {
    Answered,     // answered (perhaps with a fault)
    Ignored,      // working mode: only enter-programming is answered there
    BadFrame,     // wrong check byte or block number: not answered
    Unknown,      // unknown command code: not answered
    Silent,       // lost by a fault
    Offline,      // the device has dropped off the line
};

// One request as the device saw it.
struct RequestEvent {
    std::uint8_t command = 0;
    int block = -1;       // block commands only
    int attempt = 0;      // requests with the same command and block before this one
    double atMs = 0.0;    // when its last byte arrived
    Outcome outcome = Outcome::Answered;
    std::optional<FaultKind> fault;
    std::optional<std::uint8_t> status;  // a block write's or an erase's status byte
};

// One line for an event log: "write 12 status 55", "run", "read 3 fault corrupt-crc",
// "version ignored". Pure; any thread.
std::string FormatEvent(const RequestEvent& event);

// Not thread-safe: one thread feeds the bytes and reads the state.
class Device final : public LinePeer {
public:
    explicit Device(DeviceConfig config = {});

    // Takes one byte from the line; returns the reply bytes that the byte
    // completes, each stamped with its arrival at the programmer.
    std::vector<TimedByte> OnByte(std::uint8_t value, double atMs) override;

    Mode CurrentMode() const { return mode_; }
    bool Unplugged() const override { return offline_; }

    // The flash: block n is bytes 512 n to 512 n + 511. Erased bytes are 0xFF.
    std::span<const std::uint8_t, kImageSize> Flash() const { return flash_; }
    std::span<std::uint8_t, kImageSize> Flash() { return flash_; }

    // Complete requests received with this command code, in any mode.
    int RequestCount(std::uint8_t command) const { return requestCounts_[command]; }

    // Called for every complete request, after its reply is decided.
    void SetEventHandler(std::function<void(const RequestEvent&)> handler) { onEvent_ = std::move(handler); }
    // Called when the device changes mode (run returns it to working mode).
    void SetModeHandler(std::function<void(Mode)> handler) { onMode_ = std::move(handler); }

private:
    struct Reply {
        std::vector<std::uint8_t> bytes;
        double busyMs = 0.0;           // time the command's work takes before the reply
        double pauseMs = 0.0;          // a quiet gap inside the reply ...
        std::size_t pauseAt = 0;       // ... before this byte
    };

    std::optional<Reply> Handle(RequestEvent& event);
    std::uint8_t ProgramBlock(int block, bool blockFieldValid);
    std::vector<TimedByte> Stamp(const Reply& reply, double doneMs);
    void SetMode(Mode mode);

    DeviceConfig config_;
    std::array<std::uint8_t, kImageSize> flash_;
    Mode mode_ = Mode::Working;
    bool offline_ = false;

    std::vector<std::uint8_t> frame_;  // the frame being received
    std::size_t frameLength_ = 0;      // its full length, once its command byte is in
    double lastByteMs_ = 0.0;
    double lineFreeMs_ = 0.0;          // when the last reply byte has been sent

    std::array<int, 256> requestCounts_{};
    std::map<std::pair<std::uint8_t, int>, int> attempts_;
    std::function<void(const RequestEvent&)> onEvent_;
    std::function<void(Mode)> onMode_;
};

}  // namespace bramis::devsim
