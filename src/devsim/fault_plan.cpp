#include "fault_plan.h"

#include <array>
#include <charconv>
#include <limits>
#include <span>
#include <utility>

#include "link/bootloader.h"
#include "link/command_table.h"

namespace bramis::devsim {
namespace {

struct KindName {
    FaultKind kind;
    std::string_view name;
};

constexpr std::array<KindName, 10> kKindNames{{
    {FaultKind::Silent, "silent"},
    {FaultKind::Status, "status"},
    {FaultKind::CorruptCrc, "corrupt-crc"},
    {FaultKind::CorruptNibble, "corrupt-nibble"},
    {FaultKind::Short, "short"},
    {FaultKind::Long, "long"},
    {FaultKind::Pause, "pause"},
    {FaultKind::WrongHeader, "wrong-header"},
    {FaultKind::WrongCheck, "wrong-check"},
    {FaultKind::Drop, "drop"},
}};

struct CommandNameEntry {
    std::uint8_t code;
    std::string_view name;
};

constexpr std::array<CommandNameEntry, 6> kCommandNames{{
    {CMD_ENTER_PROG, "enter"},
    {CMD_GET_VERSION, "version"},
    {CMD_ERASE, "erase"},
    {CMD_WRITE_BLOCK, "write"},
    {CMD_READ_BLOCK, "read"},
    {CMD_RUN_PROGRAM, "run"},
}};

// A pause and a long reply leave bytes on the line after the programmer has
// given up on the reply; they reach its retry's reply too, so a retry cannot
// recover from them. Dropping off the line is never recovered.
constexpr std::array<FaultKind, 7> kRecoverableKinds{
    FaultKind::Silent,     FaultKind::Status,      FaultKind::CorruptCrc, FaultKind::CorruptNibble,
    FaultKind::Short,      FaultKind::WrongHeader, FaultKind::WrongCheck,
};

constexpr int kDefaultPauseMs = 20;

// The default of a rule's `value` for a request of `command`.
int DefaultValue(FaultKind kind, std::uint8_t command) {
    switch (kind) {
    case FaultKind::Status:
        return command == CMD_ERASE ? 0x00 : kBlockRefused2A;
    case FaultKind::Short:
    case FaultKind::Long:
        return 1;
    case FaultKind::Pause:
        return kDefaultPauseMs;
    default:
        return kDefault;
    }
}

bool Matches(const FaultRule& rule, std::uint8_t command, int block, int attempt) {
    if (rule.command && *rule.command != command) {
        return false;
    }
    if (rule.block != kAny && rule.block != block) {
        return false;
    }
    // Counted from the rule's first attempt: its end, attempt + times, may not fit in an int.
    return rule.attempt == kAny || (attempt >= rule.attempt && attempt - rule.attempt < rule.times);
}

}  // namespace

FaultPlan::FaultPlan(std::vector<FaultRule> rules, std::optional<RandomFaults> random)
    : rules_(std::move(rules)), random_(std::move(random)) {
    if (random_) {
        generator_.seed(random_->seed);
    }
}

std::optional<Fault> FaultPlan::Select(std::uint8_t command, int block, int attempt) {
    for (const FaultRule& rule : rules_) {
        if (FaultFits(rule.kind, command) && Matches(rule, command, block, attempt)) {
            const int value = rule.value != kDefault ? rule.value : DefaultValue(rule.kind, command);
            return Fault{rule.kind, value, rule.at};
        }
    }
    return DrawRandom(command, block);
}

std::optional<Fault> FaultPlan::DrawRandom(std::uint8_t command, int block) {
    if (!random_) {
        return std::nullopt;
    }
    // Raw generator output only: the standard distributions differ between
    // libraries, and a seed must give the same faults everywhere.
    const std::uint32_t roll = generator_();
    const std::uint32_t pick = generator_();
    const auto key = std::make_pair(command, block);
    const bool spared = random_->spareRetries && lastRandomHit_ == key;
    lastRandomHit_.reset();
    if (spared || static_cast<double>(roll) >= random_->probability * 4294967296.0) {
        return std::nullopt;
    }
    std::vector<FaultKind> fitting;
    using Kinds = std::span<const FaultKind>;
    const Kinds kinds = random_->kinds.empty() ? Kinds(kRecoverableKinds) : Kinds(random_->kinds);
    for (FaultKind kind : kinds) {
        if (FaultFits(kind, command)) {
            fitting.push_back(kind);
        }
    }
    if (fitting.empty()) {
        return std::nullopt;
    }
    const FaultKind kind = fitting[pick % fitting.size()];
    int value = DefaultValue(kind, command);
    if (kind == FaultKind::Status && command == CMD_WRITE_BLOCK) {
        value = (pick >> 16) % 2 == 0 ? kBlockRefused2A : kBlockRefused5A;
    } else if (kind == FaultKind::Short) {
        value = 1 + static_cast<int>((pick >> 16) % 3);
    }
    lastRandomHit_ = key;
    return Fault{kind, value, kDefault};
}

bool FaultFits(FaultKind kind, std::uint8_t command) {
    switch (kind) {
    case FaultKind::Status:
        return command == CMD_WRITE_BLOCK || command == CMD_ERASE;
    case FaultKind::CorruptCrc:
    case FaultKind::CorruptNibble:
        return command == CMD_READ_BLOCK;
    default:
        return true;
    }
}

std::string_view FaultKindName(FaultKind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "?";
}

std::optional<FaultKind> FaultKindFromName(std::string_view name) {
    for (const KindName& entry : kKindNames) {
        if (entry.name == name) {
            return entry.kind;
        }
    }
    return std::nullopt;
}

std::string_view CommandName(std::uint8_t command) {
    for (const CommandNameEntry& entry : kCommandNames) {
        if (entry.code == command) {
            return entry.name;
        }
    }
    return "unknown";
}

std::optional<std::uint8_t> CommandFromName(std::string_view name) {
    for (const CommandNameEntry& entry : kCommandNames) {
        if (entry.name == name) {
            return entry.code;
        }
    }
    return std::nullopt;
}

std::optional<int> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

namespace {

// The largest `value` a fault of `kind` may take: a status is a byte; byte
// counts and pauses stay within what a line could carry in a minute, so a
// slip of the finger cannot make the device allocate gigabytes.
int LargestValue(FaultKind kind) {
    switch (kind) {
    case FaultKind::Status: return 0xFF;
    case FaultKind::Short:
    case FaultKind::Long: return 65536;
    case FaultKind::Pause: return 60000;
    default: return std::numeric_limits<int>::max();
    }
}

}  // namespace

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& error) {
    const std::size_t comma = text.find(',');
    const std::string_view kindName = text.substr(0, comma);
    const std::optional<FaultKind> kind = FaultKindFromName(kindName);
    if (!kind) {
        error = "unknown fault kind '" + std::string(kindName) + "'";
        return std::nullopt;
    }
    FaultRule rule;
    rule.kind = *kind;
    std::string_view rest = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    while (!rest.empty()) {
        const std::size_t next = rest.find(',');
        const std::string_view item = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
        if (key == "cmd") {
            rule.command = CommandFromName(value);
            if (!rule.command && value != "any") {
                error = "unknown command '" + std::string(value) + "' in fault '" + std::string(text) + "'";
                return std::nullopt;
            }
            continue;
        }
        const std::optional<int> number = ParseNumber(value);
        int* field = key == "block"     ? &rule.block
                     : key == "attempt" ? &rule.attempt
                     : key == "times"   ? &rule.times
                     : key == "value"   ? &rule.value
                     : key == "at"      ? &rule.at
                                        : nullptr;
        if (field == nullptr || !number) {
            error = "bad item '" + std::string(item) + "' in fault '" + std::string(text) + "'";
            return std::nullopt;
        }
        *field = *number;
    }
    if (const int most = LargestValue(rule.kind); rule.value > most) {
        error = "value " + std::to_string(rule.value) + " out of range in fault '" + std::string(text) +
                "' (at most " + std::to_string(most) + ")";
        return std::nullopt;
    }
    if (rule.command && !FaultFits(rule.kind, *rule.command)) {
        error = "fault '" + std::string(kindName) + "' does not fit the command '" +
                std::string(CommandName(*rule.command)) + "'";
        return std::nullopt;
    }
    return rule;
}

}  // namespace bramis::devsim
