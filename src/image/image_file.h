// Firmware image files: the raw image bytes and nothing else, exactly
// kImageSize bytes long. Reading checks the size before anything is taken;
// saving replaces the target in one step, so that a failed save leaves no
// truncated file and keeps the file it was to replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/device_memory.h"

namespace bramis {

enum class ImageFileStatus {
    Ok,
    CannotOpen,    // missing, not a regular file, or not readable
    WrongLength,   // not exactly kImageSize bytes
    ReadFailed,
    CannotCreate,  // no file can be made in the target folder, or the target cannot be replaced
    WriteFailed,
};

// The message the user sees for `status` ("" for Ok). Any thread.
const char* ImageFileMessage(ImageFileStatus status);

// Reads the image file `path` (UTF-8) into `image`. The file must be a regular
// file of exactly kImageSize bytes. `image` changes only when the result is
// Ok; on any failure it keeps its previous bytes. Any thread.
ImageFileStatus ReadImageFile(std::string_view path, std::span<std::uint8_t, kImageSize> image);

// Writes `data` as the whole content of `path` (UTF-8): a new file in the same
// folder is written, flushed to disk and then renamed over the target, so the
// target is either fully replaced or left as it was; the new file is removed
// when anything fails. Returns Ok, CannotCreate or WriteFailed. Any thread.
ImageFileStatus SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data);

}  // namespace bramis
