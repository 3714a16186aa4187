#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "native_file.h"

namespace bramis::detail {

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

NativeFile NativeFile::OpenForReading(const std::filesystem::path& path) {
    // O_NONBLOCK keeps a named pipe from stalling the open; it has no effect
    // on reads from a regular file, the only kind accepted.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return NativeFile();
    }
    NativeFile file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return NativeFile();
    }
    return file;
}

NativeFile NativeFile::CreateNew(const std::filesystem::path& path, CreateStatus& status) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        status = errno == EEXIST ? CreateStatus::AlreadyExists : CreateStatus::Failed;
        return NativeFile();
    }
    status = CreateStatus::Created;
    return NativeFile(fd);
}

std::optional<std::uint64_t> NativeFile::Size() const {
    struct stat status {};
    if (::fstat(Fd(handle_), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

bool NativeFile::ReadExact(std::uint8_t* buffer, std::size_t length) {
    while (length > 0) {
        const ssize_t got = ::read(Fd(handle_), buffer, length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        buffer += got;
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

bool NativeFile::WriteAll(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t put = ::write(Fd(handle_), data, length);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return true;
}

bool NativeFile::Sync() { return ::fsync(Fd(handle_)) == 0; }

void NativeFile::CopyPermissionsFrom(const std::filesystem::path& model) {
    struct stat status {};
    if (::stat(model.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        ::fchmod(Fd(handle_), status.st_mode & 07777);
    }
}

bool NativeFile::Close() {
    if (!IsOpen()) {
        return true;
    }
    // The descriptor is gone after close() whatever it returns; retrying on
    // EINTR could close a descriptor another thread has just been given.
    return ::close(Fd(std::exchange(handle_, kInvalid))) == 0;
}

TargetKind InspectTarget(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return TargetKind::Missing;  // or out of reach: creating the new file will tell
    }
    if (!S_ISREG(status.st_mode)) {
        return TargetKind::Other;
    }
    // A file without any write permission was protected on purpose, also
    // from root, who may write it all the same.
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0) {
        return TargetKind::ReadOnly;
    }
    return TargetKind::Regular;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool SamePathText(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.native() == b.native();
}

}  // namespace bramis::detail
