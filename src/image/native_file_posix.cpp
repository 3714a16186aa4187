#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "native_file.h"

namespace bramis::detail {

namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

FileCause CauseOf(int code) {
    switch (code) {
        case ENOENT: return FileCause::Missing;
        case EACCES:
        case EPERM: return FileCause::NoPermission;
        case EROFS: return FileCause::ReadOnlyFileSystem;
        case ENOSPC:
        case EDQUOT: return FileCause::NoSpace;
        case EFBIG: return FileCause::TooLarge;
        case ENAMETOOLONG: return FileCause::NameTooLong;
        case EILSEQ:
        case EINVAL: return FileCause::BadName;
        case ELOOP: return FileCause::LinkLoop;
        case ENOTDIR: return FileCause::NotAFolder;
        case EISDIR: return FileCause::Folder;
        case ETXTBSY:
        case EBUSY: return FileCause::Busy;
        case EIO: return FileCause::InputOutput;
        default: return FileCause::Other;
    }
}

// What a file that is not a regular one is instead.
FileCause KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return FileCause::Folder;
    }
    return S_ISFIFO(mode) || S_ISSOCK(mode) ? FileCause::Pipe : FileCause::Device;
}

}  // namespace

SystemFailure LastFailure() { return {CauseOf(errno), errno}; }

NativeFile NativeFile::OpenForReading(const std::filesystem::path& path) {
    // O_NONBLOCK keeps a named pipe from stalling the open; it has no effect
    // on reads from a regular file, the only kind accepted.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return Failed(LastFailure());
    }
    NativeFile file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return Failed(LastFailure());
    }
    if (!S_ISREG(status.st_mode)) {
        return Failed({KindOf(status.st_mode), 0});
    }
    return file;
}

NativeFile NativeFile::CreateNew(const std::filesystem::path& path, CreateStatus& status) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        status = errno == EEXIST ? CreateStatus::AlreadyExists : CreateStatus::Failed;
        return Failed(LastFailure());
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
        if (got < 0) {
            return Fail();
        }
        if (got == 0) {
            failure_ = {FileCause::InputOutput, 0};  // shorter than its size said
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
        if (put < 0) {
            return Fail();
        }
        if (put == 0) {
            failure_ = {FileCause::NoSpace, ENOSPC};
            return false;
        }
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return true;
}

bool NativeFile::Sync() { return ::fsync(Fd(handle_)) == 0 || Fail(); }

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
    return ::close(Fd(std::exchange(handle_, kInvalid))) == 0 || Fail();
}

TargetKind InspectTarget(const std::filesystem::path& path, SystemFailure& failure) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENAMETOOLONG || errno == ELOOP) {
            failure = LastFailure();
            return TargetKind::Unusable;
        }
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

std::filesystem::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    // The reentrant lookup: several devices' saves may ask at once.
    passwd entry{};
    passwd* account = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &account) != 0 || account == nullptr ||
        account->pw_dir == nullptr) {
        return "";
    }
    return account->pw_dir;
}

bool SamePathText(const std::filesystem::path& a, const std::filesystem::path& b) {
    return a.native() == b.native();
}

}  // namespace bramis::detail
