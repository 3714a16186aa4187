#include "codec.h"

#include <algorithm>

namespace bramis {

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t n = 0; n < length; ++n) {
        const std::uint8_t i = static_cast<std::uint8_t>(crc ^ data[n]);
        crc = static_cast<std::uint16_t>((kCrcHighTable[i] << 8) | (kCrcLowTable[i] ^ (crc >> 8)));
    }
    return crc;
}

std::uint8_t CheckByte(std::span<const std::uint8_t> precedingBytes) {
    std::uint8_t check = 0xAA;
    for (const std::uint8_t b : precedingBytes) {
        check ^= b;
    }
    return check;
}

std::array<std::uint8_t, 2> BlockNumberField(int blockNumber) {
    return {static_cast<std::uint8_t>(blockNumber & 0x7F),
            static_cast<std::uint8_t>((blockNumber >> 7) & 0x7F)};
}

std::array<std::uint8_t, 2> EncodeNibbles(std::uint8_t value) {
    return {static_cast<std::uint8_t>(value & 0x0FU), static_cast<std::uint8_t>(0x40U | (value >> 4))};
}

void EncodeBlock(std::span<const std::uint8_t, kBlockSize> data,
                 std::span<std::uint8_t, kEncodedBlockSize> encoded) {
    const std::uint16_t crc = Crc16(data.data(), data.size());
    std::array<std::uint8_t, kBlockWithCrcSize> plain{};
    std::copy(data.begin(), data.end(), plain.begin());
    plain[kBlockSize] = static_cast<std::uint8_t>(crc & 0xFFU);
    plain[kBlockSize + 1] = static_cast<std::uint8_t>(crc >> 8);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const auto pair = EncodeNibbles(plain[i]);
        encoded[2 * i] = pair[0];
        encoded[2 * i + 1] = pair[1];
    }
}

bool DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize> received,
                 std::span<std::uint8_t, kBlockWithCrcSize> dest) {
    for (std::size_t i = 0; i < kBlockWithCrcSize; ++i) {
        const std::uint8_t low = received[2 * i];
        const std::uint8_t high = received[2 * i + 1];
        if (low > 0x0F || (high & 0xF0U) != 0x40) {
            return false;
        }
        dest[i] = static_cast<std::uint8_t>(((high & 0x0FU) << 4) | low);
    }
    return Crc16(dest.data(), dest.size()) == 0;
}

}  // namespace bramis
