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

const char* ImageFileMessage(ImageFileStatus status) {
    switch (status) {
        case ImageFileStatus::Ok: return "";
        case ImageFileStatus::CannotOpen: return "Не могу открыть файл";
        case ImageFileStatus::WrongLength: return "Не верная длина файла";
        case ImageFileStatus::ReadFailed: return "Ошибка при чтении файла";
        case ImageFileStatus::CannotCreate: return "Не могу создать файл";
        case ImageFileStatus::WriteFailed: return "Ошибка при записи файла";
    }
    return "";
}

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

// How many names are tried for the new file before giving up; a clash means
// a leftover of another save, so a handful of random names is plenty.
constexpr int kTemporaryNameAttempts = 16;

// Creates a hidden new file beside `target` whose name no other file has.
NativeFile CreateTemporaryBeside(const fs::path& target, fs::path& temporary) {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<unsigned> digit(0, 35);
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        std::string suffix = ".";
        for (int i = 0; i < 8; ++i) {
            suffix += kDigits[digit(generator)];
        }
        fs::path name = PathFromUtf8(".");
        name += target.filename();
        name += PathFromUtf8(suffix + ".tmp");
        temporary = target.parent_path() / name;
        NativeFile::CreateStatus status{};
        NativeFile file = NativeFile::CreateNew(temporary, status);
        if (status != NativeFile::CreateStatus::AlreadyExists) {
            return file;
        }
    }
    return NativeFile();
}

}  // namespace

ImageFileStatus SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data) {
    const fs::path target = PathFromUtf8(path);
    if (!target.has_filename()) {
        return ImageFileStatus::CannotCreate;
    }
    fs::path temporary;
    NativeFile file = CreateTemporaryBeside(target, temporary);
    if (!file.IsOpen()) {
        return ImageFileStatus::CannotCreate;
    }
    file.CopyPermissionsFrom(target);
    const bool written = file.WriteAll(data.data(), data.size()) && file.Sync();
    const bool closed = file.Close();
    ImageFileStatus status = ImageFileStatus::Ok;
    if (!written || !closed) {
        status = ImageFileStatus::WriteFailed;
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

}  // namespace bramis
