// Comparison of the program read from the device with an image file.
#pragma once

#include <cstdint>

namespace bramis::cli {

struct BlockDifferences {
    int count = 0;        // blocks whose 512 bytes differ
    int firstBlock = -1;  // lowest such block, -1 when the images agree
};

// Compares two images of kImageSize bytes block by block. Any thread.
BlockDifferences CompareImages(const std::uint8_t* device, const std::uint8_t* file);

}  // namespace bramis::cli
