#include "cli/verify.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/device_memory.h"

namespace bramis::cli {
namespace {

TEST(Verify, NamesTheFirstDifferingBlockAndCountsThem) {
    std::vector<std::uint8_t> device(kImageBufferSize);
    std::vector<std::uint8_t> file(kImageBufferSize);
    for (std::size_t i = 0; i < kImageSize; ++i) {
        device[i] = file[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    }
    // The spare bytes behind the image (the last block's CRC) never count.
    device[kImageSize] = 0x12;
    device[kImageSize + 1] = 0x34;
    BlockDifferences same = CompareImages(device.data(), file.data());
    EXPECT_EQ(same.count, 0);
    EXPECT_EQ(same.firstBlock, -1);

    device[367 * 512] ^= 1;        // first byte of the last block
    device[200 * 512 + 511] ^= 0x80;  // last byte of block 200
    device[200 * 512 + 3] ^= 0x80;    // a second byte of the same block counts once
    BlockDifferences two = CompareImages(device.data(), file.data());
    EXPECT_EQ(two.count, 2);
    EXPECT_EQ(two.firstBlock, 200);

    device[511] ^= 0xFF;  // last byte of block 0
    BlockDifferences three = CompareImages(device.data(), file.data());
    EXPECT_EQ(three.count, 3);
    EXPECT_EQ(three.firstBlock, 0);
}

}  // namespace
}  // namespace bramis::cli
