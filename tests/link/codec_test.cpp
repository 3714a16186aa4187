#include "link/codec.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>
#include <vector>

#include "link/command_table.h"

namespace bramis {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bit by bit, as the algorithm is defined, to check the table-driven form.
std::uint16_t Crc16Bitwise(const Bytes& data) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U) : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

Bytes Request(const CommandRow& command, int blockNumber = 0, const std::uint8_t* data = nullptr) {
    std::array<std::uint8_t, kMaxRequestSize> request{};
    const std::size_t length = BuildRequest(command, blockNumber, data, request);
    return Bytes(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes Encode(const std::array<std::uint8_t, kBlockSize>& data) {
    Bytes encoded(kEncodedBlockSize);
    EncodeBlock(data, std::span<std::uint8_t, kEncodedBlockSize>(encoded));
    return encoded;
}

TEST(Crc16, KnownValuesAndTables) {
    const Bytes digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(digits.data(), digits.size()), 0x4B37);
    const Bytes zeros(512, 0);
    EXPECT_EQ(Crc16(zeros.data(), zeros.size()), 0xBB41);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);

    EXPECT_EQ((Bytes(kCrcHighTable.begin(), kCrcHighTable.begin() + 8)),
              (Bytes{0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2}));
    EXPECT_EQ((Bytes(kCrcLowTable.begin(), kCrcLowTable.begin() + 8)),
              (Bytes{0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41}));

    std::mt19937 random(7);
    for (std::size_t length : {1U, 2U, 511U, 512U, 514U}) {
        Bytes data(length);
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(random());
        }
        EXPECT_EQ(Crc16(data.data(), data.size()), Crc16Bitwise(data)) << length;
        // Appended low byte first, the CRC of the whole is 0.
        const std::uint16_t crc = Crc16(data.data(), data.size());
        data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        data.push_back(static_cast<std::uint8_t>(crc >> 8));
        EXPECT_EQ(Crc16(data.data(), data.size()), 0);
    }
}

TEST(FrameCodec, CheckByteNibblesAndBlockNumbers) {
    EXPECT_EQ(Request(kGetVersionCommand), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x09, 0x23}));
    EXPECT_EQ(Request(kEnterProgrammingCommand), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x55}));
    EXPECT_EQ(Request(kEraseCommand), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x01, 0x2B}));
    EXPECT_EQ(Request(kRunProgramCommand), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x08, 0x22}));
    EXPECT_EQ(Request(kReadBlockCommand, 367), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x06, 0x6F, 0x02, 0x41}));
    EXPECT_EQ(Request(kReadBlockCommand, 0), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x06, 0x00, 0x00, 0x2C}));

    // From 0xAA over the whole frame, or from 0x2A over what follows the header.
    const Bytes frame{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x06, 0x13, 0x01};
    std::uint8_t fromBody = 0x2A;
    for (std::size_t n = 5; n < frame.size(); ++n) {
        fromBody ^= frame[n];
    }
    EXPECT_EQ(CheckByte(frame), fromBody);

    EXPECT_EQ(EncodeNibbles(0x00), (std::array<std::uint8_t, 2>{0x00, 0x40}));
    EXPECT_EQ(EncodeNibbles(0xFF), (std::array<std::uint8_t, 2>{0x0F, 0x4F}));
    EXPECT_EQ(EncodeNibbles(0xA7), (std::array<std::uint8_t, 2>{0x07, 0x4A}));

    EXPECT_EQ(BlockNumberField(127), (std::array<std::uint8_t, 2>{0x7F, 0x00}));
    EXPECT_EQ(BlockNumberField(128), (std::array<std::uint8_t, 2>{0x00, 0x01}));
    EXPECT_EQ(BlockNumberField(255), (std::array<std::uint8_t, 2>{0x7F, 0x01}));
    EXPECT_EQ(BlockNumberField(kMaxBlockNumberField), (std::array<std::uint8_t, 2>{0x7F, 0x7F}));
}

TEST(FrameCodec, WriteBlockRequests) {
    const std::array<std::uint8_t, kBlockSize> zeros{};
    const Bytes first = Request(kWriteBlockCommand, 0, zeros.data());
    ASSERT_EQ(first.size(), 1037U);
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x03, 0x00, 0x00}));
    for (std::size_t n = 0; n < kBlockSize; ++n) {
        ASSERT_EQ(first[8 + 2 * n], 0x00) << n;
        ASSERT_EQ(first[9 + 2 * n], 0x40) << n;
    }
    EXPECT_EQ(Bytes(first.end() - 5, first.end()), (Bytes{0x01, 0x44, 0x0B, 0x4B, 0x2C}));

    std::array<std::uint8_t, kBlockSize> ramp{};
    for (std::size_t n = 0; n < ramp.size(); ++n) {
        ramp[n] = static_cast<std::uint8_t>(n);
    }
    const Bytes last = Request(kWriteBlockCommand, 367, ramp.data());
    ASSERT_EQ(last.size(), 1037U);
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 12),
              (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x03, 0x6F, 0x02, 0x00, 0x40, 0x01, 0x40}));
    EXPECT_EQ(Bytes(last.end() - 7, last.end()), (Bytes{0x0F, 0x4F, 0x00, 0x47, 0x0D, 0x4F, 0x41}));
}

TEST(BlockDecoding, RoundTripAndEveryWayToFail) {
    std::array<std::uint8_t, kBlockSize> data{};
    std::mt19937 random(11);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(random());
    }
    data[0] = 0xFF;  // pair 0F 4F
    data[1] = 0x55;  // pair 05 45
    const Bytes good = Encode(data);
    EXPECT_EQ(good[0], 0x0F);
    EXPECT_EQ(good[1], 0x4F);
    EXPECT_EQ(good[2], 0x05);
    EXPECT_EQ(good[3], 0x45);

    std::array<std::uint8_t, kBlockWithCrcSize> dest{};
    ASSERT_TRUE(DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize>(good), dest));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), dest.begin()));
    const std::uint16_t crc = Crc16(data.data(), data.size());
    EXPECT_EQ(dest[512], crc & 0xFF);
    EXPECT_EQ(dest[513], crc >> 8);

    // A malformed pair stops the decoding there: earlier bytes stored, later ones untouched.
    const struct {
        std::uint8_t low, high;
    } badPairs[] = {{0x10, 0x40}, {0x05, 0x50}, {0x05, 0x3F}};
    for (const auto& pair : badPairs) {
        Bytes received = good;
        received[2 * 100] = pair.low;
        received[2 * 100 + 1] = pair.high;
        dest.fill(0xEE);
        EXPECT_FALSE(DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize>(received), dest));
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + 100, dest.begin()));
        EXPECT_TRUE(std::all_of(dest.begin() + 100, dest.end(), [](std::uint8_t b) { return b == 0xEE; }));
    }

    // Well-formed pairs with the CRC high byte first.
    Bytes swapped = good;
    std::swap_ranges(swapped.end() - 4, swapped.end() - 2, swapped.end() - 2);
    ASSERT_NE(swapped, good);
    EXPECT_FALSE(DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize>(swapped), dest));
}

}  // namespace
}  // namespace bramis
