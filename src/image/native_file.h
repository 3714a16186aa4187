// The few operating-system file calls the image files need, behind one small
// class so that the shared code has no platform branches. Implemented in
// native_file_posix.cpp and native_file_win32.cpp; internal to this folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "image/image_file.h"

namespace bramis::detail {

// Why a system call failed: the system's own code (errno or GetLastError)
// and what it means.
struct SystemFailure {
    FileCause cause = FileCause::None;
    int code = 0;
};

// The failure of the system call that has just failed on this thread.
SystemFailure LastFailure();

// One open file; closed by the destructor when still open. Any thread, one
// thread per object.
class NativeFile {
public:
    enum class CreateStatus { Created, AlreadyExists, Failed };

    NativeFile() = default;
    NativeFile(NativeFile&& other) noexcept
        : handle_(std::exchange(other.handle_, kInvalid)), failure_(other.failure_) {}
    NativeFile& operator=(NativeFile&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, kInvalid);
            failure_ = other.failure_;
        }
        return *this;
    }
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;
    ~NativeFile() { Close(); }

    // Opens an existing regular file for reading, without letting other
    // programs write it meanwhile where the system allows that. Anything that
    // is not a regular file (a folder, a device, a pipe) is refused without
    // blocking. The result is closed on failure, with Failure() saying why
    // (Folder, Pipe or Device for what is not a regular file).
    static NativeFile OpenForReading(const std::filesystem::path& path);

    // Creates `path` for writing; never opens a file that already exists.
    // Closed on failure, with Failure() saying why.
    static NativeFile CreateNew(const std::filesystem::path& path, CreateStatus& status);

    bool IsOpen() const { return handle_ != kInvalid; }

    // Why the last operation that failed on this file did; also once closed.
    const SystemFailure& Failure() const { return failure_; }

    // The size in bytes of the open file, or nothing when it cannot be told.
    std::optional<std::uint64_t> Size() const;

    // Reads exactly `length` bytes; false on an error or an early end.
    bool ReadExact(std::uint8_t* buffer, std::size_t length);

    // Writes every byte; false when the system refuses part of them.
    bool WriteAll(const std::uint8_t* data, std::size_t length);

    // Forces written data to the disk.
    bool Sync();

    // Gives the new file the permissions of `model` where the system has them.
    void CopyPermissionsFrom(const std::filesystem::path& model);

    // Closes the file; false when the system reports a late write error.
    bool Close();

private:
    static constexpr std::intptr_t kInvalid = -1;
    explicit NativeFile(std::intptr_t handle) : handle_(handle) {}
    // A closed file that says why it is not open.
    static NativeFile Failed(SystemFailure failure) {
        NativeFile file;
        file.failure_ = failure;
        return file;
    }
    // Notes the failure of the system call that has just failed; false.
    bool Fail() {
        failure_ = LastFailure();
        return false;
    }

    std::intptr_t handle_ = kInvalid;  // a file descriptor or a Windows HANDLE
    SystemFailure failure_;
};

// What a path names, as far as replacing it with a new file goes.
enum class TargetKind {
    Missing,   // nothing, or nothing this user can see: a new file may be tried
    Regular,   // a regular file this user may replace
    ReadOnly,  // a regular file protected from writing
    Other,     // a folder, a device, a pipe: never replaced by a file
    Unusable,  // a name no file can have there (too long, ...): `failure` says why
};
TargetKind InspectTarget(const std::filesystem::path& path, SystemFailure& failure);

// Renames `from` to `to`, replacing a file that `to` names; false, with
// LastFailure() saying why, when it cannot.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes a finished rename in `folder` durable where the system needs that.
void SyncFolder(const std::filesystem::path& folder);

// The user's home folder; empty when the system does not tell.
std::filesystem::path HomeFolder();

// Whether two canonical paths are the same text for this system's file names
// (case-insensitive on Windows).
bool SamePathText(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace bramis::detail
