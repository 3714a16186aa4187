// Comparison of the program read from the device with an image file.
#pragma once

#include <cstdint>
#include <span>

#include "link/device_memory.h"

namespace bramis {

struct BlockDifferences {
    int count = 0;        // blocks whose 512 bytes differ
    int firstBlock = -1;  // lowest such block, -1 when the images agree
};

// Compares two images block by block. Any thread.
BlockDifferences CompareImages(std::span<const std::uint8_t, kImageSize> device,
                               std::span<const std::uint8_t, kImageSize> file);

}  // namespace bramis
