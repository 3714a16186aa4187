// The device program as the bootloader sees it: 368 blocks of 512 bytes.
// An image file holds exactly these bytes; byte n is byte n % 512 of block n / 512.
#pragma once

#include <cstddef>

namespace bramis {

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kBlockCount = 368;
inline constexpr std::size_t kImageSize = kBlockSize * kBlockCount;  // 188416 (0x2E000)
// Every buffer that receives a read-back image: a block read stores the
// block's two CRC bytes behind its data, so the last block needs two more.
inline constexpr std::size_t kImageBufferSize = kImageSize + 2;      // 188418

static_assert(kImageSize == 188416);

}  // namespace bramis
