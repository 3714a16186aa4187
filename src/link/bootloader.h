// The six commands of the device's bootloader, each one blocking exchange
// over an open serial channel with at most two attempts. They return result
// codes and never show anything. Called only from the thread that uses the
// channel (a transfer worker).
#pragma once

#include <cstdint>

namespace bramis {

class SerialChannel;

// Result codes; only zero versus non-zero decides a job's outcome.
enum : int {
    LINK_OK = 0,
    LINK_FAILED = 1,
    LINK_CMD_FAILED = 3,
    LINK_WRITE_STATUS_5A = 12,
    LINK_WRITE_STATUS_2A = 13,
};

// Command codes: the byte at offset 5 of every request.
enum : std::uint8_t {
    CMD_ENTER_PROG = 0x55,   // switch the device into programming mode
    CMD_GET_VERSION = 0x09,  // read the bootloader's version
    CMD_ERASE = 0x01,        // erase the device's program
    CMD_WRITE_BLOCK = 0x03,  // write one 512-byte block
    CMD_READ_BLOCK = 0x06,   // read one 512-byte block
    CMD_RUN_PROGRAM = 0x08,  // return the device to its working mode
};

// Each operation needs `channel` open. Two attempts at most; the second
// follows the first failure at once, and the channel counts it
// (SerialChannel::RetriedAttempts).

// Switches the device into programming mode: LINK_OK once it acknowledges,
// LINK_FAILED after two unanswered or wrong replies.
int EnterProgramming(SerialChannel& channel);

// Reads the bootloader's version into `major` and `minor` (0 to 255):
// LINK_OK, or LINK_CMD_FAILED with both left untouched.
int GetLoaderVersion(SerialChannel& channel, int& major, int& minor);

// Erases the device's program: LINK_OK or LINK_CMD_FAILED.
int EraseProgram(SerialChannel& channel);

// Writes block `blockNumber` (0 to 367) from `data`, the block's 512 bytes.
// LINK_OK as soon as the device accepts it; otherwise the second attempt's
// answer decides: LINK_WRITE_STATUS_5A, LINK_WRITE_STATUS_2A or
// LINK_CMD_FAILED. A number out of range or no data sends nothing and
// returns LINK_CMD_FAILED.
int WriteBlock(SerialChannel& channel, int blockNumber, const std::uint8_t* data);

// Reads block `blockNumber` (0 to 367) into `dest`, which needs room for 514
// bytes: the block, then its CRC, low byte first. LINK_OK, or LINK_CMD_FAILED
// with `dest` partly overwritten. A number out of range or no destination
// sends nothing and returns LINK_CMD_FAILED.
int ReadBlock(SerialChannel& channel, int blockNumber, std::uint8_t* dest);

// Returns the device to its working mode: LINK_OK, or LINK_FAILED when it
// does not echo the request twice.
int RunProgram(SerialChannel& channel);

}  // namespace bramis
