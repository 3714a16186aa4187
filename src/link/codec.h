// Byte formats of the bootloader protocol: the frame header, the check byte,
// the two-byte block number field, the nibble encoding of a block with its
// CRC-16, and the decoding and validation of a block read from the device.
// Pure functions without state; any thread may call them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device_memory.h"

namespace bramis {

// Every request and every reply begins with these five bytes.
inline constexpr std::array<std::uint8_t, 5> kFrameHeader{0x80, 0x7F, 0x7F, 0x7F, 0x7F};

// A block with its CRC behind it (low byte first), as a block read stores it.
inline constexpr std::size_t kBlockWithCrcSize = kBlockSize + 2;  // 514
// Every byte of a block and its CRC as two bytes: 0x0L then 0x4H.
inline constexpr std::size_t kEncodedBlockSize = 2 * kBlockWithCrcSize;  // 1028
// Block numbers carry 7 bits in each of two bytes.
inline constexpr int kMaxBlockNumberField = 0x3FFF;

namespace detail {

// Entry i of the reflected CRC-16/MODBUS table: i shifted right eight times,
// with 0xA001 folded in whenever a 1 bit falls out.
constexpr std::uint16_t CrcTableEntry(std::uint16_t i) {
    std::uint16_t value = i;
    for (int bit = 0; bit < 8; ++bit) {
        value = (value & 1U) != 0 ? static_cast<std::uint16_t>((value >> 1) ^ 0xA001U)
                                  : static_cast<std::uint16_t>(value >> 1);
    }
    return value;
}

constexpr std::array<std::uint8_t, 256> MakeCrcByteTable(bool highByte) {
    std::array<std::uint8_t, 256> table{};
    for (std::uint16_t i = 0; i < 256; ++i) {
        const std::uint16_t entry = CrcTableEntry(i);
        table[i] = static_cast<std::uint8_t>(highByte ? entry >> 8 : entry & 0xFFU);
    }
    return table;
}

}  // namespace detail

// The two byte tables of the CRC: bits 8-15 and bits 0-7 of each table entry.
inline constexpr std::array<std::uint8_t, 256> kCrcHighTable = detail::MakeCrcByteTable(true);
inline constexpr std::array<std::uint8_t, 256> kCrcLowTable = detail::MakeCrcByteTable(false);

// CRC-16/MODBUS of `length` bytes (register from 0xFFFF, reflected, no final
// XOR). Appending the result low byte first makes the CRC of the whole 0.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);

// The check byte that ends a frame: 0xAA XOR every byte before it, header included.
std::uint8_t CheckByte(std::span<const std::uint8_t> precedingBytes);

// Block number field: bits 0-6, then bits 7-13 (numbers 0 to 16383).
std::array<std::uint8_t, 2> BlockNumberField(int blockNumber);

// Nibble encoding of one byte: the low nibble, then 0x40 OR the high nibble.
std::array<std::uint8_t, 2> EncodeNibbles(std::uint8_t value);

// Encodes 512 data bytes and their CRC (low byte first) as 1028 bytes.
void EncodeBlock(std::span<const std::uint8_t, kBlockSize> data,
                 std::span<std::uint8_t, kEncodedBlockSize> encoded);

// Decodes 1028 received bytes into `dest`, storing each pair as it is
// accepted. Returns true when every pair is well formed and the CRC over the
// 514 decoded bytes is 0; then dest holds the block and its CRC, low byte
// first. An invalid block leaves the pairs before the bad one stored.
bool DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize> received,
                 std::span<std::uint8_t, kBlockWithCrcSize> dest);

}  // namespace bramis
