#include "bootloader.h"

#include <algorithm>
#include <array>

#include "command_table.h"
#include "serial_channel.h"

namespace bramis {
namespace {

// Every command is tried at most twice, the second time right after the first fails.
constexpr int kAttempts = 2;

static_assert(kWriteBlockCommand.capacity <= kMaxReplyCapacity && kReadBlockCommand.capacity <= kMaxReplyCapacity);

int WriteStatusResult(std::uint8_t status) {
    switch (status) {
        case kBlockAccepted:
            return LINK_OK;
        case kBlockRefused5A:
            return LINK_WRITE_STATUS_5A;
        case kBlockRefused2A:
            return LINK_WRITE_STATUS_2A;
        default:
            return LINK_CMD_FAILED;
    }
}

bool IsBlockNumber(int blockNumber) {
    return blockNumber >= 0 && static_cast<std::size_t>(blockNumber) < kBlockCount;
}

// What an attempt's read brought, as far as a pause in a reply explains it.
enum class ReplyShape {
    Whole,  // nothing, or as many bytes as a reply has (or more)
    Cut,    // the start of this reply, but fewer bytes than it has
    Stray,  // bytes that do not begin as this reply does
};

ReplyShape ShapeOf(const CommandRow& command, std::span<const std::uint8_t> request,
                   std::span<const std::uint8_t> reply) {
    const std::size_t compared = std::min({reply.size(), request.size(), command.comparedBytes});
    if (!std::equal(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(compared), request.begin())) {
        return ReplyShape::Stray;
    }
    return !reply.empty() && reply.size() < command.replyLength ? ReplyShape::Cut : ReplyShape::Whole;
}

struct AttemptResult {
    int result;
    ReplyShape shape;
};

// One exchange: a fresh request, written, its reply read with the command's
// pre-delay and capacity, then judged.
AttemptResult Attempt(SerialChannel& channel, const CommandRow& command, int blockNumber, const std::uint8_t* data,
                      std::span<std::uint8_t, kMaxReplyCapacity> reply, std::uint8_t* blockDest) {
    std::array<std::uint8_t, kMaxRequestSize> request{};
    const std::size_t length = BuildRequest(command, blockNumber, data, request);
    channel.WritePort(request.data(), static_cast<std::uint32_t>(length));
    std::uint32_t received = 0;
    channel.ReadPort(reply.data(), command.capacity, received, command.preDelayMs);
    const std::span<const std::uint8_t> sent = std::span(request).first(length);
    return {CheckReply(command, sent, reply.first(received), blockDest), ShapeOf(command, sent, reply.first(received))};
}

// The retry policy of every command: stop at the first success, otherwise the
// last attempt's result stands. A reply that stopped part-way, followed by an
// attempt whose read began with stray bytes, was interrupted by a pause longer
// than a chunk read waits: its rest came after the read had ended.
int Run(SerialChannel& channel, const CommandRow& command, int blockNumber, const std::uint8_t* data,
        std::span<std::uint8_t, kMaxReplyCapacity> reply, std::uint8_t* blockDest) {
    int result = command.failure;
    ReplyShape before = ReplyShape::Whole;
    bool interrupted = false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) {
            channel.CountRetriedAttempt();
        }
        const AttemptResult tried = Attempt(channel, command, blockNumber, data, reply, blockDest);
        result = tried.result;
        interrupted = interrupted || (before == ReplyShape::Cut && tried.shape == ReplyShape::Stray);
        before = tried.shape;
        if (result == LINK_OK) {
            break;
        }
    }
    channel.NoteReplyInterrupted(result != LINK_OK && interrupted);
    return result;
}

int Run(SerialChannel& channel, const CommandRow& command) {
    std::array<std::uint8_t, kMaxReplyCapacity> reply{};
    return Run(channel, command, 0, nullptr, reply, nullptr);
}

}  // namespace

std::size_t BuildRequest(const CommandRow& command, int blockNumber, const std::uint8_t* data,
                         std::span<std::uint8_t, kMaxRequestSize> request) {
    std::size_t length = 0;
    const auto append = [&](std::span<const std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), request.begin() + static_cast<std::ptrdiff_t>(length));
        length += bytes.size();
    };
    append(kFrameHeader);
    request[length++] = command.code;
    if (command.args != RequestArgs::None) {
        append(BlockNumberField(blockNumber));
    }
    if (command.args == RequestArgs::BlockNumberAndData) {
        EncodeBlock(std::span<const std::uint8_t, kBlockSize>(data, kBlockSize),
                    request.subspan(length).first<kEncodedBlockSize>());
        length += kEncodedBlockSize;
    }
    if (command.checkByte) {
        request[length] = CheckByte(request.first(length));
        ++length;
    }
    return length;
}

int CheckReply(const CommandRow& command, std::span<const std::uint8_t> request,
               std::span<const std::uint8_t> reply, std::uint8_t* blockDest) {
    const int failed = command.failure;
    if (reply.size() != command.replyLength || request.size() < command.comparedBytes ||
        !std::equal(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(command.comparedBytes),
                    reply.begin())) {
        return failed;
    }
    switch (command.check) {
        case ReplyCheck::Acknowledge:
            return reply[5] == kAcknowledge ? LINK_OK : failed;
        case ReplyCheck::VersionCheck:
            return reply[8] == CheckByte(reply.first(8)) ? LINK_OK : failed;
        case ReplyCheck::EraseStatus:
            return reply[6] == CheckByte(reply.first(6)) && reply[5] == kEraseDone ? LINK_OK : failed;
        case ReplyCheck::WriteStatus:
            return WriteStatusResult(reply[6]);
        case ReplyCheck::ValidBlock: {
            std::array<std::uint8_t, kBlockWithCrcSize> scratch{};
            std::uint8_t* dest = blockDest != nullptr ? blockDest : scratch.data();
            return DecodeBlock(reply.subspan<6, kEncodedBlockSize>(),
                               std::span<std::uint8_t, kBlockWithCrcSize>(dest, kBlockWithCrcSize))
                       ? LINK_OK
                       : failed;
        }
        case ReplyCheck::None:
            return LINK_OK;
    }
    return failed;
}

int EnterProgramming(SerialChannel& channel) {
    return Run(channel, kEnterProgrammingCommand);
}

int GetLoaderVersion(SerialChannel& channel, int& major, int& minor) {
    std::array<std::uint8_t, kMaxReplyCapacity> reply{};
    const int result = Run(channel, kGetVersionCommand, 0, nullptr, reply, nullptr);
    if (result == LINK_OK) {
        major = reply[6];
        minor = reply[7];
    }
    return result;
}

int EraseProgram(SerialChannel& channel) {
    return Run(channel, kEraseCommand);
}

int WriteBlock(SerialChannel& channel, int blockNumber, const std::uint8_t* data) {
    // Checked before any byte is sent: a wrong number would write elsewhere on the device.
    if (!IsBlockNumber(blockNumber) || data == nullptr) {
        return LINK_CMD_FAILED;
    }
    std::array<std::uint8_t, kMaxReplyCapacity> reply{};
    return Run(channel, kWriteBlockCommand, blockNumber, data, reply, nullptr);
}

int ReadBlock(SerialChannel& channel, int blockNumber, std::uint8_t* dest) {
    if (!IsBlockNumber(blockNumber) || dest == nullptr) {
        return LINK_CMD_FAILED;
    }
    std::array<std::uint8_t, kMaxReplyCapacity> reply{};
    return Run(channel, kReadBlockCommand, blockNumber, nullptr, reply, dest);
}

int RunProgram(SerialChannel& channel) {
    return Run(channel, kRunProgramCommand);
}

}  // namespace bramis
