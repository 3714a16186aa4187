#include "device.h"

#include <algorithm>
#include <cstdio>

#include "link/codec.h"
#include "link/command_table.h"
#include "link/virtual_line.h"

namespace bramis::devsim {
namespace {

constexpr std::size_t kHeaderSize = kFrameHeader.size();
constexpr std::size_t kCommandOffset = kHeaderSize;
constexpr std::size_t kArgsOffset = kHeaderSize + 1;

constexpr std::array<const CommandRow*, 6> kCommands{
    &kEnterProgrammingCommand, &kGetVersionCommand, &kEraseCommand,
    &kWriteBlockCommand,       &kReadBlockCommand,  &kRunProgramCommand,
};

const CommandRow* FindCommand(std::uint8_t code) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [code](const CommandRow* row) { return row->code == code; });
    return found == kCommands.end() ? nullptr : *found;
}

bool CheckByteValid(const std::vector<std::uint8_t>& frame) {
    return CheckByte(std::span(frame.data(), frame.size() - 1)) == frame.back();
}

// The header, the byte at offset 5 (the echoed command or a status) and `rest`.
std::vector<std::uint8_t> ReplyOf(std::uint8_t fifth, std::initializer_list<std::uint8_t> rest) {
    std::vector<std::uint8_t> reply(kFrameHeader.begin(), kFrameHeader.end());
    reply.push_back(fifth);
    reply.insert(reply.end(), rest);
    return reply;
}

// The reply byte the programmer checks last: the acknowledge or check byte at
// the end, or the echoed command of the block commands, which have neither.
std::size_t CheckedByte(std::uint8_t command, std::size_t replyLength) {
    return command == CMD_WRITE_BLOCK || command == CMD_READ_BLOCK ? kCommandOffset : replyLength - 1;
}

// Changes a full reply as `fault` says. Silent, drop and status faults are
// carried out before the reply is made.
void Damage(const Fault& fault, std::uint8_t command, std::vector<std::uint8_t>& bytes, double& pauseMs,
            std::size_t& pauseAt) {
    const auto count = static_cast<std::size_t>(std::max(fault.value, 0));
    switch (fault.kind) {
    case FaultKind::CorruptCrc:
        // The low nibble of the CRC's low byte: still a well-formed pair.
        bytes[kArgsOffset + 2 * kBlockSize] ^= 0x01;
        break;
    case FaultKind::CorruptNibble: {
        const auto pair = std::min<std::size_t>(fault.at == kDefault ? 0 : static_cast<std::size_t>(fault.at),
                                                kBlockWithCrcSize - 1);
        bytes[kArgsOffset + 2 * pair + 1] = 0x50;
        break;
    }
    case FaultKind::Short:
        bytes.resize(bytes.size() - std::min(count, bytes.size()));
        break;
    case FaultKind::Long:
        bytes.insert(bytes.end(), count, 0x00);
        break;
    case FaultKind::Pause:
        pauseMs = fault.value;
        pauseAt = std::min(fault.at == kDefault ? bytes.size() / 2 : static_cast<std::size_t>(fault.at),
                           bytes.size());
        break;
    case FaultKind::WrongHeader:
        bytes[1] ^= 0x01;
        break;
    case FaultKind::WrongCheck:
        bytes[CheckedByte(command, bytes.size())] ^= 0x01;
        break;
    case FaultKind::Silent:
    case FaultKind::Status:
    case FaultKind::Drop:
        break;
    }
}

std::string Hex(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

}  // namespace

std::string FormatEvent(const RequestEvent& event) {
    std::string line(event.outcome == Outcome::Unknown ? "unknown " + Hex(event.command)
                                                       : std::string(CommandName(event.command)));
    if (event.block >= 0) {
        line += ' ' + std::to_string(event.block);
    }
    switch (event.outcome) {
    case Outcome::Ignored:
        line += " ignored";
        break;
    case Outcome::BadFrame:
        line += " bad-frame";
        break;
    case Outcome::Offline:
        line += " offline";
        break;
    case Outcome::Answered:
    case Outcome::Silent:
    case Outcome::Unknown:
        break;
    }
    if (event.status) {
        line += " status " + Hex(*event.status);
    }
    if (event.fault) {
        line += " fault ";
        line += FaultKindName(*event.fault);
    }
    return line;
}

Device::Device(DeviceConfig config) : config_(std::move(config)) {
    flash_.fill(0xFF);
}

std::vector<TimedByte> Device::OnByte(std::uint8_t value, double atMs) {
    if (!frame_.empty() && atMs - lastByteMs_ > config_.timing.frameGapMs) {
        frame_.clear();
    }
    lastByteMs_ = atMs;
    if (frame_.size() < kHeaderSize) {
        // Hunt for the header; 0x80 only ever starts one.
        if (value == kFrameHeader[frame_.size()]) {
            frame_.push_back(value);
        } else {
            frame_.assign(value == kFrameHeader[0] ? 1 : 0, value);
        }
        return {};
    }
    frame_.push_back(value);
    if (frame_.size() == kArgsOffset) {
        const CommandRow* row = FindCommand(value);
        if (row == nullptr) {
            frame_.clear();
            ++requestCounts_[value];
            if (onEvent_) {
                onEvent_(RequestEvent{value, -1, 0, atMs, Outcome::Unknown, std::nullopt, std::nullopt});
            }
            return {};
        }
        frameLength_ = RequestLength(*row);
    }
    if (frame_.size() < frameLength_) {
        return {};
    }

    RequestEvent event;
    event.command = frame_[kCommandOffset];
    event.atMs = atMs;
    const std::optional<Reply> reply = Handle(event);
    frame_.clear();
    std::vector<TimedByte> sent = reply ? Stamp(*reply, atMs) : std::vector<TimedByte>();
    if (event.command == CMD_RUN_PROGRAM && event.outcome == Outcome::Answered) {
        SetMode(Mode::Working);  // after the reply: the bootloader answers, then starts the program
    }
    if (onEvent_) {
        onEvent_(event);
    }
    return sent;
}

std::optional<Device::Reply> Device::Handle(RequestEvent& event) {
    const std::uint8_t command = event.command;
    const CommandRow& row = *FindCommand(command);
    bool blockFieldValid = true;
    if (row.args != RequestArgs::None) {
        const std::uint8_t low = frame_[kArgsOffset];
        const std::uint8_t high = frame_[kArgsOffset + 1];
        blockFieldValid = low <= 0x7F && high <= 0x7F;
        event.block = (low & 0x7F) | ((high & 0x7F) << 7);
    }
    event.attempt = attempts_[{command, event.block}]++;
    ++requestCounts_[command];

    if (offline_) {
        event.outcome = Outcome::Offline;
        return std::nullopt;
    }
    if (mode_ == Mode::Working && command != CMD_ENTER_PROG) {
        event.outcome = Outcome::Ignored;
        return std::nullopt;
    }
    // A damaged block write is answered with a status; any other damaged
    // request is not answered at all.
    if (command != CMD_WRITE_BLOCK && row.checkByte &&
        (!CheckByteValid(frame_) || !blockFieldValid ||
         (command == CMD_READ_BLOCK && event.block >= static_cast<int>(kBlockCount)))) {
        event.outcome = Outcome::BadFrame;
        return std::nullopt;
    }

    const std::optional<Fault> fault = config_.faults.Select(command, event.block, event.attempt);
    if (fault) {
        event.fault = fault->kind;
        if (fault->kind == FaultKind::Drop) {
            offline_ = true;
            event.outcome = Outcome::Offline;
            return std::nullopt;
        }
        if (fault->kind == FaultKind::Silent) {
            event.outcome = Outcome::Silent;
            return std::nullopt;
        }
    }
    const bool refused = fault && fault->kind == FaultKind::Status;
    const auto refusal = static_cast<std::uint8_t>(refused ? fault->value : 0);

    Reply reply;
    switch (command) {
    case CMD_ENTER_PROG:
        SetMode(Mode::Programming);
        reply.bytes = ReplyOf(kAcknowledge, {});
        break;
    case CMD_GET_VERSION:
        reply.bytes = ReplyOf(command, {static_cast<std::uint8_t>(config_.versionMajor),
                                        static_cast<std::uint8_t>(config_.versionMinor)});
        reply.bytes.push_back(CheckByte(reply.bytes));
        break;
    case CMD_ERASE: {
        const std::uint8_t status = refused ? refusal : kEraseDone;
        if (!refused) {
            flash_.fill(0xFF);
            reply.busyMs = config_.timing.eraseMs;
        }
        event.status = status;
        reply.bytes = ReplyOf(status, {});
        reply.bytes.push_back(CheckByte(reply.bytes));
        break;
    }
    case CMD_WRITE_BLOCK: {
        const std::uint8_t status = refused ? refusal : ProgramBlock(event.block, blockFieldValid);
        reply.busyMs = refused ? 0.0 : config_.timing.writeMs;
        event.status = status;
        reply.bytes = ReplyOf(command, {status});
        break;
    }
    case CMD_READ_BLOCK: {
        reply.bytes = ReplyOf(command, {});
        reply.bytes.resize(kArgsOffset + kEncodedBlockSize);
        const auto block = static_cast<std::size_t>(event.block);
        EncodeBlock(std::span<const std::uint8_t, kBlockSize>(flash_.data() + block * kBlockSize, kBlockSize),
                    std::span<std::uint8_t, kEncodedBlockSize>(reply.bytes.data() + kArgsOffset, kEncodedBlockSize));
        break;
    }
    case CMD_RUN_PROGRAM:
        reply.bytes = frame_;
        break;
    }
    if (fault) {
        Damage(*fault, command, reply.bytes, reply.pauseMs, reply.pauseAt);
    }
    return reply;
}

std::uint8_t Device::ProgramBlock(int block, bool blockFieldValid) {
    std::array<std::uint8_t, kBlockWithCrcSize> plain{};
    const bool decoded = DecodeBlock(
        std::span<const std::uint8_t, kEncodedBlockSize>(frame_.data() + kArgsOffset + 2, kEncodedBlockSize),
        plain);
    if (!CheckByteValid(frame_) || !blockFieldValid || !decoded) {
        return kStatusBadFrame;
    }
    if (block >= static_cast<int>(kBlockCount)) {
        return kStatusNotProgrammed;
    }
    // Programming flash only clears bits; the bootloader reads the block back.
    std::uint8_t* cells = flash_.data() + static_cast<std::size_t>(block) * kBlockSize;
    bool verified = true;
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        cells[i] &= plain[i];
        verified = verified && cells[i] == plain[i];
    }
    return verified ? kBlockAccepted : kStatusNotProgrammed;
}

std::vector<TimedByte> Device::Stamp(const Reply& reply, double doneMs) {
    const DeviceTiming& timing = config_.timing;
    // Replies never overtake each other on the line.
    double atMs = std::max(doneMs + timing.turnaroundMs + reply.busyMs, lineFreeMs_);
    std::vector<TimedByte> sent;
    sent.reserve(reply.bytes.size());
    for (std::size_t i = 0; i < reply.bytes.size(); ++i) {
        if (i == reply.pauseAt) {
            atMs += reply.pauseMs;
        }
        if (timing.wireSpeed) {
            atMs += kByteWireMs;
        }
        sent.push_back(TimedByte{reply.bytes[i], atMs});
    }
    lineFreeMs_ = atMs;
    return sent;
}

void Device::SetMode(Mode mode) {
    if (mode_ == mode) {
        return;
    }
    mode_ = mode;
    if (onMode_) {
        onMode_(mode);
    }
}

}  // namespace bramis::devsim
