// The six commands of the device's bootloader, each one blocking exchange
// over the open serial channel with at most two attempts. They return result
// codes and never show anything. Called only from the transfer worker thread.
#pragma once

#include <cstdint>

namespace bramis {

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

int EnterProgramming();
int GetLoaderVersion(int& major, int& minor);
int EraseProgram();
// `data`: the block's 512 bytes.
int WriteBlock(int blockNumber, const std::uint8_t* data);
// `dest`: room for 514 bytes (the block and its CRC, low byte first).
int ReadBlock(int blockNumber, std::uint8_t* dest);
int RunProgram();

}  // namespace bramis
