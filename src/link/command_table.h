// The six bootloader commands as rows of one table, the request each row
// builds, and the pure check of a reply against its request. The operations
// of bootloader.h run one exchange over these rows; tests and the fuzzer
// call the check directly. Pure functions; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "bootloader.h"
#include "codec.h"

namespace bramis {

// What a request carries between its command code and its check byte.
enum class RequestArgs { None, BlockNumber, BlockNumberAndData };

// The command's own check of a reply whose length and compared bytes are right.
enum class ReplyCheck {
    Acknowledge,   // byte 5 is the acknowledge 0x2A
    VersionCheck,  // byte 8 is the check byte of bytes 0 to 7
    EraseStatus,   // byte 6 is the check byte of bytes 0 to 5, and byte 5 is 0x01
    WriteStatus,   // byte 6 is the status: 0x55 accepted
    ValidBlock,    // bytes 6 to 1033 decode as a valid block
    None,          // the reply repeats the whole request
};

struct CommandRow {
    std::uint8_t code;
    RequestArgs args;
    bool checkByte;             // every request but enter-programming ends in one
    std::uint32_t preDelayMs;   // pause between sending and reading
    std::uint32_t capacity;     // most bytes the read accepts
    std::uint32_t replyLength;  // the exact count a good reply has
    std::size_t comparedBytes;  // reply bytes 0 .. comparedBytes-1 repeat the request's
    ReplyCheck check;
    int failure;  // the result when both attempts failed (a write's status may say more)
};

inline constexpr CommandRow kEnterProgrammingCommand{
    CMD_ENTER_PROG, RequestArgs::None, false, 0, 6, 6, 5, ReplyCheck::Acknowledge, LINK_FAILED};
inline constexpr CommandRow kGetVersionCommand{
    CMD_GET_VERSION, RequestArgs::None, true, 500, 16, 9, 5, ReplyCheck::VersionCheck, LINK_CMD_FAILED};
inline constexpr CommandRow kEraseCommand{
    CMD_ERASE, RequestArgs::None, true, 500, 10, 7, 5, ReplyCheck::EraseStatus, LINK_CMD_FAILED};
inline constexpr CommandRow kWriteBlockCommand{
    CMD_WRITE_BLOCK, RequestArgs::BlockNumberAndData, true, 40, 10, 7, 6, ReplyCheck::WriteStatus, LINK_CMD_FAILED};
inline constexpr CommandRow kReadBlockCommand{
    CMD_READ_BLOCK, RequestArgs::BlockNumber, true, 0, 1040, 1034, 6, ReplyCheck::ValidBlock, LINK_CMD_FAILED};
inline constexpr CommandRow kRunProgramCommand{
    CMD_RUN_PROGRAM, RequestArgs::None, true, 0, 10, 7, 7, ReplyCheck::None, LINK_FAILED};

// The length of every request of `command`: header, command code, the
// block number field and the encoded block it carries, and its check byte.
constexpr std::size_t RequestLength(const CommandRow& command) {
    const std::size_t args = command.args == RequestArgs::None          ? 0
                             : command.args == RequestArgs::BlockNumber ? 2
                                                                        : 2 + kEncodedBlockSize;
    return kFrameHeader.size() + 1 + args + (command.checkByte ? 1 : 0);
}

// The longest request (a block write) and the largest read capacity (a block read).
inline constexpr std::size_t kMaxRequestSize = RequestLength(kWriteBlockCommand);  // 1037
inline constexpr std::size_t kMaxReplyCapacity = 1040;

// Status bytes that answer a request.
inline constexpr std::uint8_t kAcknowledge = 0x2A;     // enter-programming accepted
inline constexpr std::uint8_t kEraseDone = 0x01;       // erase succeeded
inline constexpr std::uint8_t kBlockAccepted = 0x55;   // block written
inline constexpr std::uint8_t kBlockRefused5A = 0x5A;  // block refused, one way
inline constexpr std::uint8_t kBlockRefused2A = 0x2A;  // block refused, the other way

// Builds the request of `command` into `request` and returns its length.
// `blockNumber` (0 to 16383) is used by the block commands; `data` (512
// bytes) by the block write only.
std::size_t BuildRequest(const CommandRow& command, int blockNumber, const std::uint8_t* data,
                         std::span<std::uint8_t, kMaxRequestSize> request);

// Judges the reply to one attempt: LINK_OK, or the result the operation
// returns when this attempt is its last (a write's status decides between
// LINK_WRITE_STATUS_5A, LINK_WRITE_STATUS_2A and LINK_CMD_FAILED). A block
// read decodes into `blockDest` (514 bytes), or into scratch when it is null.
int CheckReply(const CommandRow& command, std::span<const std::uint8_t> request,
               std::span<const std::uint8_t> reply, std::uint8_t* blockDest);

}  // namespace bramis
