#include "image/image_compare.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "link/device_memory.h"

namespace bramis {
namespace {

TEST(CompareImages, NamesTheFirstDifferingBlockAndCountsThem) {
    std::vector<std::uint8_t> device(kImageBufferSize);
    for (std::size_t i = 0; i < kImageSize; ++i) device[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    const std::vector<std::uint8_t> file = device;
    const auto found = [&] {
        const BlockDifferences differences = CompareImages(std::span(device).first<kImageSize>(), std::span(file).first<kImageSize>());
        return std::pair(differences.count, differences.firstBlock);
    };
    device[kImageSize + 1] ^= 1;  // the spare bytes behind the image (the last block's CRC) never count
    EXPECT_EQ(found(), std::pair(0, -1));
    device[367 * 512] ^= 1;           // first byte of the last block
    device[200 * 512 + 511] ^= 0x80;  // last byte of block 200
    device[200 * 512 + 3] ^= 0x80;    // a second byte of the same block counts once
    EXPECT_EQ(found(), std::pair(2, 200));
    device[511] ^= 0xFF;  // last byte of block 0
    EXPECT_EQ(found(), std::pair(3, 0));
}

}  // namespace
}  // namespace bramis
