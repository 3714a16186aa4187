// The emulated device's flash in a file: the 188416 bytes raw, as an image
// file holds them. Any thread may call these; they share no state.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "link/device_memory.h"

namespace bramis::devsim {

// Fills `flash` from the file at `path`, which must hold exactly 188416 bytes.
// Returns false with `error` set (and `flash` untouched) otherwise.
bool LoadFlashFile(const std::string& path, std::span<std::uint8_t, kImageSize> flash, std::string& error);

// Writes `flash` to `path` through a temporary file beside it that is renamed
// over the target, so a failed save leaves any earlier file whole.
// Returns false with `error` set on failure.
bool SaveFlashFile(const std::string& path, std::span<const std::uint8_t, kImageSize> flash, std::string& error);

}  // namespace bramis::devsim
