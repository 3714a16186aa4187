#include "link/codec.h"

#include <gtest/gtest.h>

#include <numeric>

#include "link_harness.h"

namespace bramis::test {
namespace {

using Pair = std::array<std::uint8_t, 2>;

TEST(Crc16, KnownValuesAndTheTableAgreeWithTheBitwiseDefinition) {
    const Bytes digits{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(digits.data(), digits.size()), 0x4B37);
    const Bytes zeros(512, 0);
    EXPECT_EQ(Crc16(zeros.data(), zeros.size()), 0xBB41);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);

    const Block random = RandomBlock(7);
    for (std::size_t length : {1U, 2U, 511U, 512U}) {
        std::uint16_t crc = 0xFFFF;
        for (std::size_t n = 0; n < length; ++n) {
            crc ^= random[n];
            for (int bit = 0; bit < 8; ++bit) {
                crc = static_cast<std::uint16_t>((crc & 1U) != 0 ? (crc >> 1) ^ 0xA001U : crc >> 1);
            }
        }
        EXPECT_EQ(Crc16(random.data(), length), crc) << length;
    }
}

TEST(FrameCodec, RequestsNibblesAndBlockNumbers) {
    // The other requests are checked as the bootloader sends them.
    EXPECT_EQ(Request(kReadBlockCommand, 0), Framed({0x06, 0x00, 0x00, 0x2C}));
    EXPECT_EQ(EncodeNibbles(0xA7), (Pair{0x07, 0x4A}));
    EXPECT_EQ(BlockNumberField(kMaxBlockNumberField), (Pair{0x7F, 0x7F}));

    // Block 0 of zeros, and block 367 holding 0x00 .. 0xFF twice.
    const Bytes first = Request(kWriteBlockCommand, 0);
    Bytes expected = Framed({0x03, 0x00, 0x00});
    for (std::size_t n = 0; n < kBlockSize; ++n) expected.insert(expected.end(), {0x00, 0x40});
    expected.insert(expected.end(), {0x01, 0x44, 0x0B, 0x4B, 0x2C});
    EXPECT_EQ(first, expected);
    Block ramp{};
    std::iota(ramp.begin(), ramp.begin() + 256, std::uint8_t{0});
    std::iota(ramp.begin() + 256, ramp.end(), std::uint8_t{0});
    const Bytes last = Request(kWriteBlockCommand, 367, ramp.data());
    ASSERT_EQ(last.size(), 1037U);
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 12), Framed({0x03, 0x6F, 0x02, 0x00, 0x40, 0x01, 0x40}));
    EXPECT_EQ(Bytes(last.end() - 7, last.end()), (Bytes{0x0F, 0x4F, 0x00, 0x47, 0x0D, 0x4F, 0x41}));
}

TEST(BlockDecoding, RoundTripAndEveryWayToFail) {
    Block data = RandomBlock(11);
    data[0] = 0x55;
    const Bytes reply = ReadReply(data);
    const Bytes good(reply.begin() + 6, reply.end());

    std::array<std::uint8_t, kBlockWithCrcSize> dest{};
    ASSERT_TRUE(DecodeBlock(std::span<const std::uint8_t, kEncodedBlockSize>(good), dest));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), dest.begin()));
    const std::uint16_t crc = Crc16(data.data(), data.size());
    EXPECT_EQ((Pair{dest[512], dest[513]}), (Pair{static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)}));

    // A malformed pair stops the decoding there: earlier bytes stored, later ones untouched.
    for (const Pair pair : {Pair{0x10, 0x40}, Pair{0x05, 0x50}, Pair{0x05, 0x3F}}) {
        SCOPED_TRACE(testing::Message() << int{pair[0]} << ' ' << int{pair[1]});
        Bytes received = good;
        std::copy(pair.begin(), pair.end(), received.begin() + 2 * 100);
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
}  // namespace bramis::test
