#include "cli/verify.h"

#include <cstring>

#include "link/device_memory.h"

namespace bramis::cli {

BlockDifferences CompareImages(const std::uint8_t* device, const std::uint8_t* file) {
    BlockDifferences result;
    for (std::size_t block = 0; block < kBlockCount; ++block) {
        const std::size_t offset = block * kBlockSize;
        if (std::memcmp(device + offset, file + offset, kBlockSize) != 0) {
            if (result.count++ == 0) {
                result.firstBlock = static_cast<int>(block);
            }
        }
    }
    return result;
}

}  // namespace bramis::cli
