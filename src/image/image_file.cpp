#include "image_file.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <system_error>

#include "native_file.h"
#include "utf8_path.h"

namespace bramis {

namespace fs = std::filesystem;
using detail::NativeFile;

ImageFileStatus ReadImageFile(std::string_view path, std::span<std::uint8_t, kImageSize> image) {
    NativeFile file = NativeFile::OpenForReading(PathFromUtf8(path));
    if (!file.IsOpen()) {
        return ImageFileStatus::CannotOpen;
    }
    // The whole 64-bit size counts: 4 GiB + kImageSize is not an image.
    const std::optional<std::uint64_t> size = file.Size();
    if (!size || *size != kImageSize) {
        return ImageFileStatus::WrongLength;
    }
    // Read aside first, so a failed read leaves the caller's image as it was.
    const auto staging = std::make_unique<std::array<std::uint8_t, kImageSize>>();
    if (!file.ReadExact(staging->data(), staging->size())) {
        return ImageFileStatus::ReadFailed;
    }
    std::copy(staging->begin(), staging->end(), image.begin());
    return ImageFileStatus::Ok;
}

namespace {

// How many names are tried for a new file before giving up; a clash means
// a leftover of another save, so a handful of random names is plenty.
constexpr int kUniqueNameAttempts = 16;

// Creates a new file `folder`/`prefix`XXXXXXXX`suffix` whose name no other
// file has; `created` is its path.
NativeFile CreateUniqueFile(const fs::path& folder, const fs::path& prefix, std::string_view suffix,
                            fs::path& created) {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<unsigned> digit(0, 35);
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        std::string random;
        for (int i = 0; i < 8; ++i) {
            random += kDigits[digit(generator)];
        }
        fs::path name = prefix;
        name += PathFromUtf8(random + std::string(suffix));
        created = folder / name;
        NativeFile::CreateStatus status{};
        NativeFile file = NativeFile::CreateNew(created, status);
        if (status != NativeFile::CreateStatus::AlreadyExists) {
            return file;
        }
    }
    return NativeFile();
}

// Creates the hidden new file that is renamed over `target` once written.
NativeFile CreateTemporaryBeside(const fs::path& target, fs::path& temporary) {
    fs::path prefix = PathFromUtf8(".");
    prefix += target.filename();
    prefix += PathFromUtf8(".");
    return CreateUniqueFile(target.parent_path(), prefix, ".tmp", temporary);
}

// Refuses a target that a new file must never replace.
ImageFileStatus ReplaceableStatus(const fs::path& target) {
    if (!target.has_filename()) {
        return ImageFileStatus::CannotCreate;
    }
    switch (detail::InspectTarget(target)) {
        case detail::TargetKind::Other: return ImageFileStatus::NotAFile;
        case detail::TargetKind::ReadOnly: return ImageFileStatus::ReadOnly;
        case detail::TargetKind::Missing:
        case detail::TargetKind::Regular: break;
    }
    return ImageFileStatus::Ok;
}

// The temporary file beside `target` that a save writes first, once
// `target` may be replaced; closed, with `status` saying why, otherwise.
NativeFile OpenTemporaryFor(const fs::path& target, fs::path& temporary, ImageFileStatus& status) {
    status = ReplaceableStatus(target);
    if (status != ImageFileStatus::Ok) {
        return NativeFile();
    }
    NativeFile file = CreateTemporaryBeside(target, temporary);
    if (!file.IsOpen()) {
        status = ImageFileStatus::CannotCreate;
    }
    return file;
}

// Writes all of `data` to the new `file` and closes it; false on any failure.
bool WriteAndClose(NativeFile& file, std::span<const std::uint8_t> data) {
    const bool written = file.WriteAll(data.data(), data.size()) && file.Sync();
    const bool closed = file.Close();
    return written && closed;
}

}  // namespace

ImageFileStatus CheckSaveTarget(std::string_view path) {
    fs::path temporary;
    ImageFileStatus status{};
    NativeFile file = OpenTemporaryFor(PathFromUtf8(path), temporary, status);
    if (!file.IsOpen()) {
        return status;
    }
    file.Close();
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return ImageFileStatus::Ok;
}

ImageFileStatus SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data,
                                   const std::function<bool()>& stopRequested) {
    const fs::path target = PathFromUtf8(path);
    fs::path temporary;
    ImageFileStatus status{};
    NativeFile file = OpenTemporaryFor(target, temporary, status);
    if (!file.IsOpen()) {
        return status;
    }
    file.CopyPermissionsFrom(target);
    if (!WriteAndClose(file, data)) {
        status = ImageFileStatus::WriteFailed;
    } else if (stopRequested && stopRequested()) {
        status = ImageFileStatus::Stopped;
    } else if (!detail::RenameOver(temporary, target)) {
        status = ImageFileStatus::CannotCreate;
    }
    if (status != ImageFileStatus::Ok) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return status;
    }
    detail::SyncFolder(target.parent_path());
    return ImageFileStatus::Ok;
}

ImageFileStatus SaveAsNewFile(std::string_view folder, std::span<const std::uint8_t> data, std::string& savedPath) {
    std::error_code error;
    const fs::path where = folder.empty() ? fs::temp_directory_path(error) : PathFromUtf8(folder);
    if (error) {
        return ImageFileStatus::CannotCreate;
    }
    fs::path created;
    NativeFile file = CreateUniqueFile(where, PathFromUtf8("bramis-read-"), ".dat", created);
    if (!file.IsOpen()) {
        return ImageFileStatus::CannotCreate;
    }
    if (!WriteAndClose(file, data)) {
        fs::remove(created, error);
        return ImageFileStatus::WriteFailed;
    }
    savedPath = Utf8FromPath(created);
    return ImageFileStatus::Ok;
}

}  // namespace bramis
