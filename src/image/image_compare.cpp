#include "image/image_compare.h"

#include <cstring>

namespace bramis {

BlockDifferences CompareImages(std::span<const std::uint8_t, kImageSize> device,
                               std::span<const std::uint8_t, kImageSize> file) {
    BlockDifferences result;
    for (std::size_t block = 0; block < kBlockCount; ++block) {
        const std::size_t offset = block * kBlockSize;
        if (std::memcmp(device.data() + offset, file.data() + offset, kBlockSize) != 0) {
            if (result.count++ == 0) {
                result.firstBlock = static_cast<int>(block);
            }
        }
    }
    return result;
}

}  // namespace bramis
