// Firmware image files: the raw image bytes and nothing else, exactly
// kImageSize bytes long. Reading checks the size before anything is taken;
// saving replaces the target in one step, so that a failed save leaves no
// truncated file and keeps the file it was to replace. Paths are UTF-8 where
// they are text; on POSIX systems any bytes a file name may hold pass through.
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

// Why the system refused, in terms that read the same on every system.
enum class FileCause {
    None,
    Missing,             // no such file or folder
    NoPermission,
    ReadOnlyFileSystem,
    NoSpace,             // the disk, or the user's quota, is full
    TooLarge,            // over the file size the system allows this program
    NameTooLong,
    BadName,             // a name the file system does not take
    LinkLoop,            // symbolic links that lead round in a circle
    NotAFolder,          // a part of the path that should be a folder is a file
    Folder,              // a folder where a file is wanted
    Pipe,
    Device,
    Busy,                // held by another program
    InputOutput,         // the disk itself failed
    Other,               // see the system's code
};

// What a load or save came to: the status and the values a message about it
// needs.
struct FileOutcome {
    ImageFileStatus status = ImageFileStatus::Ok;
    FileCause cause = FileCause::None;
    int systemError = 0;        // the errno or GetLastError code behind `cause`; 0 when none
    std::string where;          // the file or, when `whereIsFolder`, the folder `cause` concerns
    bool whereIsFolder = false;
    std::uint64_t size = 0;     // WrongLength: the file's size in bytes
    std::uint64_t sizeWanted = 0;
    std::string copy;           // where SaveCopyElsewhere put the data; "" when nowhere

    bool done() const { return status == ImageFileStatus::Ok; }
};

// Reads the image file `path` into `image`. The file must be a regular file
// of exactly kImageSize bytes. `image` changes only when the result is done;
// on any failure it keeps its previous bytes. Any thread.
FileOutcome ReadImageFile(std::string_view path, std::span<std::uint8_t, kImageSize> image);

// Whether SaveFileAtomically could save as `path`, checked without changing
// anything there: the file it would replace (the end of any symbolic links
// `path` names) is missing or a file this user may replace (NotAFile,
// ReadOnly), and the new file that the save writes first can be made beside
// it (CannotCreate: a folder that is missing or may not be written, a name
// too long, links in a circle). Done when it could. Any thread.
FileOutcome CheckSaveTarget(std::string_view path);

// Writes `data` as the whole content of `path`: a new file of a short name of
// its own in the same folder is written, flushed to disk and then renamed
// over the target, so the target is either fully replaced or left as it was;
// the new file is removed when anything fails. A symbolic link stays: the
// file at its end is replaced, in that file's folder. A hard link is split
// from the file's other names, as any replacement in one step splits it.
// A target that is not a file, or is protected from writing, is refused
// first (NotAFile, ReadOnly). Such new files that a killed save left in that
// folder more than a day ago go first. When `stopRequested` says so just
// before the rename, the new file is removed and the result is Stopped.
// Otherwise done, CannotCreate or WriteFailed. Any thread.
FileOutcome SaveFileAtomically(std::string_view path, std::span<const std::uint8_t> data,
                               const std::function<bool()>& stopRequested = {});

// For data that could not be saved as `path`: saves it as a new file of a
// name no other file has, in the first folder that takes it of `path`'s
// folder, the system's temporary folder and the user's home folder, and sets
// `outcome.copy` to that file. Leaves `outcome` as it was when none took it.
// Any thread.
void SaveCopyElsewhere(std::string_view path, std::span<const std::uint8_t> data, FileOutcome& outcome);

}  // namespace bramis
