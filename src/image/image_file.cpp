#include "image_file.h"

#include <algorithm>
#include <array>
#include <chrono>
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
using detail::SystemFailure;

namespace {

// `status` for `where` (a file, or a folder when `isFolder`), for the reason `failure`.
FileOutcome Failure(ImageFileStatus status, const fs::path& where, bool isFolder, SystemFailure failure) {
    std::error_code error;
    fs::path shown = where.empty() ? fs::current_path(error) : fs::absolute(where, error).lexically_normal();
    FileOutcome outcome;
    outcome.status = status;
    outcome.cause = failure.cause;
    outcome.systemError = failure.code;
    outcome.where = Utf8FromPath((error ? fs::path(where) : shown).make_preferred());
    outcome.whereIsFolder = isFolder;
    return outcome;
}

}  // namespace

FileOutcome ReadImageFile(std::string_view path, std::span<std::uint8_t, kImageSize> image) {
    NativeFile file = NativeFile::OpenForReading(PathFromUtf8(path));
    if (!file.IsOpen()) {
        return Failure(ImageFileStatus::CannotOpen, PathFromUtf8(path), false, file.Failure());
    }
    // The whole 64-bit size counts: 4 GiB + kImageSize is not an image.
    const std::optional<std::uint64_t> size = file.Size();
    if (!size || *size != kImageSize) {
        FileOutcome outcome = Failure(ImageFileStatus::WrongLength, PathFromUtf8(path), false, {});
        outcome.size = size.value_or(0);
        outcome.sizeWanted = kImageSize;
        return outcome;
    }
    // Read aside first, so a failed read leaves the caller's image as it was.
    const auto staging = std::make_unique<std::array<std::uint8_t, kImageSize>>();
    if (!file.ReadExact(staging->data(), staging->size())) {
        return Failure(ImageFileStatus::ReadFailed, PathFromUtf8(path), false, file.Failure());
    }
    std::copy(staging->begin(), staging->end(), image.begin());
    return {};
}

namespace {

// How many names are tried for a new file before giving up; a clash means
// a leftover of another save, so a handful of random names is plenty.
constexpr int kUniqueNameAttempts = 16;

// The new files that a save writes first are named kTemporaryPrefix,
// kRandomLength random letters and digits, kTemporarySuffix: short enough
// beside any name the file system takes. Earlier saves named them after the
// target (".NAME." instead of ".bramis."), which the clean-up knows too.
constexpr std::string_view kTemporaryPrefix = ".bramis.";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kRandomLength = 8;
constexpr std::string_view kRandomDigits = "0123456789abcdefghijklmnopqrstuvwxyz";

// A new file left by a save killed this long ago is no save in progress.
constexpr std::chrono::hours kStaleAfter(24);

// How many symbolic links a save follows before taking them for a circle, as
// the system does.
constexpr int kMaxLinks = 40;

// Creates a new file `folder`/`prefix`XXXXXXXX`suffix` whose name no other
// file has; `created` is its path. Closed, saying why, when none can be made.
NativeFile CreateUniqueFile(const fs::path& folder, std::string_view prefix, std::string_view suffix,
                            fs::path& created) {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::uniform_int_distribution<std::size_t> digit(0, kRandomDigits.size() - 1);
    NativeFile file;
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        std::string name(prefix);
        for (std::size_t i = 0; i < kRandomLength; ++i) {
            name += kRandomDigits[digit(generator)];
        }
        name += suffix;
        created = folder / PathFromUtf8(name);
        NativeFile::CreateStatus status{};
        file = NativeFile::CreateNew(created, status);
        if (status != NativeFile::CreateStatus::AlreadyExists) {
            break;
        }
    }
    return file;
}

// Whether `name` is that of a new file a save writes first, of now or earlier.
bool IsTemporaryName(const std::string& name) {
    const std::size_t tail = 1 + kRandomLength + kTemporarySuffix.size();  // ".XXXXXXXX.tmp"
    if (name.size() < 1 + tail || name[0] != '.' || !name.ends_with(kTemporarySuffix) ||
        name[name.size() - tail] != '.') {
        return false;
    }
    const std::string_view random = std::string_view(name).substr(name.size() - tail + 1, kRandomLength);
    return std::all_of(random.begin(), random.end(),
                       [](char c) { return kRandomDigits.find(c) != std::string_view::npos; });
}

// Removes from `folder` the new files of saves killed before they renamed
// them: no larger than an image, and untouched for a day.
void RemoveStaleTemporaries(const fs::path& folder) {
    std::error_code error;
    const auto staleBefore = fs::file_time_type::clock::now() - kStaleAfter;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (IsTemporaryName(Utf8FromPath(it->path().filename())) &&
            it->symlink_status(ignored).type() == fs::file_type::regular && it->file_size(ignored) <= kImageSize &&
            it->last_write_time(ignored) < staleBefore) {
            fs::remove(it->path(), ignored);
        }
    }
}

// The file that a save as `target` replaces: the end of the symbolic links
// `target` names, so that the links stay. Nothing, with `failure` saying
// why, when the links lead round in a circle.
std::optional<fs::path> FileAtEndOfLinks(const fs::path& target, FileOutcome& failure) {
    fs::path at = target;
    for (int links = 0; links <= kMaxLinks; ++links) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(at, error))) {
            return at;
        }
        const fs::path next = fs::read_symlink(at, error);
        if (error) {
            return at;  // the save's own calls will tell what is wrong
        }
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    failure = Failure(ImageFileStatus::CannotCreate, target, false, {FileCause::LinkLoop, 0});
    return std::nullopt;
}

// The file a save as `target` replaces, when it may be replaced; nothing,
// with `outcome` saying why, otherwise.
std::optional<fs::path> ReplaceableFile(const fs::path& target, FileOutcome& outcome) {
    if (!target.has_filename()) {
        outcome = Failure(ImageFileStatus::CannotCreate, target, false, {FileCause::Folder, 0});
        return std::nullopt;
    }
    const std::optional<fs::path> file = FileAtEndOfLinks(target, outcome);
    if (!file) {
        return std::nullopt;
    }
    SystemFailure failure;
    switch (detail::InspectTarget(*file, failure)) {
        case detail::TargetKind::Other:
            outcome = Failure(ImageFileStatus::NotAFile, *file, false, {});
            return std::nullopt;
        case detail::TargetKind::ReadOnly:
            outcome = Failure(ImageFileStatus::ReadOnly, *file, false, {});
            return std::nullopt;
        case detail::TargetKind::Unusable:
            outcome = Failure(ImageFileStatus::CannotCreate, *file, false, failure);
            return std::nullopt;
        case detail::TargetKind::Missing:
        case detail::TargetKind::Regular: break;
    }
    return file;
}

// Creates the new file that is renamed over `file` once written, beside it.
NativeFile CreateTemporaryBeside(const fs::path& file, fs::path& temporary, FileOutcome& outcome) {
    NativeFile created = CreateUniqueFile(file.parent_path(), kTemporaryPrefix, kTemporarySuffix, temporary);
    if (!created.IsOpen()) {
        outcome = Failure(ImageFileStatus::CannotCreate, file.parent_path(), true, created.Failure());
    }
    return created;
}

// Writes all of `data` to the new `file` and closes it; false, with the
// file's Failure() saying why, on any failure.
bool WriteAndClose(NativeFile& file, std::span<const std::uint8_t> data) {
    const bool written = file.WriteAll(data.data(), data.size()) && file.Sync();
    return file.Close() && written;
}

}  // namespace

FileOutcome CheckSaveTarget(std::string_view path) {
    FileOutcome outcome;
    const std::optional<fs::path> file = ReplaceableFile(PathFromUtf8(path), outcome);
    if (!file) {
        return outcome;
    }
    fs::path temporary;
    NativeFile created = CreateTemporaryBeside(*file, temporary, outcome);
    if (created.IsOpen()) {
        created.Close();
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return outcome;
}

FileOutcome SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data,
                               const std::function<bool()>& stopRequested) {
    FileOutcome outcome;
    const std::optional<fs::path> file = ReplaceableFile(PathFromUtf8(path), outcome);
    if (!file) {
        return outcome;
    }
    const fs::path folder = file->parent_path();
    // Before the new file, which they may leave no room for.
    RemoveStaleTemporaries(folder);
    fs::path temporary;
    NativeFile created = CreateTemporaryBeside(*file, temporary, outcome);
    if (!created.IsOpen()) {
        return outcome;
    }
    created.CopyPermissionsFrom(*file);
    if (!WriteAndClose(created, data)) {
        outcome = Failure(ImageFileStatus::WriteFailed, folder, true, created.Failure());
    } else if (stopRequested && stopRequested()) {
        outcome.status = ImageFileStatus::Stopped;
    } else if (!detail::RenameOver(temporary, *file)) {
        outcome = Failure(ImageFileStatus::CannotCreate, *file, false, detail::LastFailure());
    }
    if (!outcome.done()) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return outcome;
    }
    detail::SyncFolder(folder);
    return outcome;
}

namespace {

// Saves `data` as a new file of a name of its own in `folder`; its path, or
// nothing when that fails (with nothing left behind).
std::optional<fs::path> SaveAsNewFile(const fs::path& folder, std::span<const std::uint8_t> data) {
    fs::path created;
    NativeFile file = CreateUniqueFile(folder, "bramis-read-", ".dat", created);
    if (!file.IsOpen()) {
        return std::nullopt;
    }
    if (!WriteAndClose(file, data)) {
        std::error_code ignored;
        fs::remove(created, ignored);
        return std::nullopt;
    }
    return created;
}

}  // namespace

void SaveCopyElsewhere(std::string_view path, std::span<const std::uint8_t> data, FileOutcome& outcome) {
    const fs::path targetFolder = PathFromUtf8(path).parent_path();
    std::error_code error;
    const fs::path folders[] = {targetFolder.empty() ? fs::path(".") : targetFolder, fs::temp_directory_path(error),
                                detail::HomeFolder()};
    for (const fs::path& folder : folders) {
        if (folder.empty()) {
            continue;  // this system names no such folder
        }
        if (const std::optional<fs::path> copy = SaveAsNewFile(folder, data)) {
            outcome.copy = Utf8FromPath(fs::absolute(*copy, error).lexically_normal().make_preferred());
            return;
        }
    }
}

}  // namespace bramis
