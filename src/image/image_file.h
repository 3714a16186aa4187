// Firmware image files: the raw image bytes and nothing else, exactly
// kImageSize bytes long. Reading checks the size before anything is taken;
// saving replaces the target in one step, so that a failed save leaves no
// truncated file and keeps the file it was to replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    NotAFile,      // the target is a folder, a device or a pipe: never replaced by a file
    ReadOnly,      // the target is a file protected from writing
    Stopped,       // the save was stopped on request before it replaced anything
};

// Reads the image file `path` (UTF-8) into `image`. The file must be a regular
// file of exactly kImageSize bytes. `image` changes only when the result is
// Ok; on any failure it keeps its previous bytes. Any thread.
ImageFileStatus ReadImageFile(std::string_view path, std::span<std::uint8_t, kImageSize> image);

// Whether SaveFileAtomically could save as `path` (UTF-8), checked without
// changing anything there: the target is missing or a file this user may
// replace (NotAFile, ReadOnly), and the new file that the save writes first
// can be made beside it (CannotCreate: a folder that is missing or may not be
// written, a name too long). Ok when it could. Any thread.
ImageFileStatus CheckSaveTarget(std::string_view path);

// Writes `data` as the whole content of `path` (UTF-8): a new file in the same
// folder is written, flushed to disk and then renamed over the target, so the
// target is either fully replaced or left as it was; the new file is removed
// when anything fails. A target that is not a file, or is protected from
// writing, is refused first (NotAFile, ReadOnly). When `stopRequested` says
// so just before the rename, the new file is removed and the result is
// Stopped. Otherwise Ok, CannotCreate or WriteFailed. Any thread.
ImageFileStatus SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data,
                                   const std::function<bool()>& stopRequested = {});

// Saves `data` as a new file with a name no other file has in `folder`
// (UTF-8; the system's temporary folder when empty), for data that could not
// be saved where the user wanted. Sets `savedPath` (UTF-8) and returns Ok, or
// CannotCreate or WriteFailed with nothing left behind. Any thread.
ImageFileStatus SaveAsNewFile(std::string_view folder, std::span<const std::uint8_t> data, std::string& savedPath);

}  // namespace bramis
