#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "native_file.h"

namespace bramis::detail {

namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Largest piece handed to one ReadFile or WriteFile, whose counts are 32-bit.
constexpr std::size_t kMaxTransfer = 1u << 30;

FileCause CauseOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return FileCause::Missing;
        case ERROR_ACCESS_DENIED: return FileCause::NoPermission;
        case ERROR_WRITE_PROTECT: return FileCause::ReadOnlyFileSystem;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return FileCause::NoSpace;
        case ERROR_FILE_TOO_LARGE: return FileCause::TooLarge;
        case ERROR_FILENAME_EXCED_RANGE: return FileCause::NameTooLong;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return FileCause::BadName;
        case ERROR_DIRECTORY: return FileCause::NotAFolder;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FileCause::Busy;
        case ERROR_CRC:
        case ERROR_IO_DEVICE: return FileCause::InputOutput;
        default: return FileCause::Other;
    }
}

}  // namespace

SystemFailure LastFailure() {
    const DWORD code = ::GetLastError();
    return {CauseOf(code), static_cast<int>(code)};
}

NativeFile NativeFile::OpenForReading(const std::filesystem::path& path) {
    // No sharing: a file another program holds open is refused, and nobody
    // can change it while it is read. A folder fails to open here by itself.
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder is refused as access denied: say it is a folder.
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return Failed({FileCause::Folder, 0});
        }
        return Failed({CauseOf(error), static_cast<int>(error)});
    }
    NativeFile file(reinterpret_cast<std::intptr_t>(handle));
    if (const DWORD type = ::GetFileType(handle); type != FILE_TYPE_DISK) {
        return Failed({type == FILE_TYPE_PIPE ? FileCause::Pipe : FileCause::Device, 0});
    }
    return file;
}

NativeFile NativeFile::CreateNew(const std::filesystem::path& path, CreateStatus& status) {
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const SystemFailure failure = LastFailure();
        status = failure.code == ERROR_FILE_EXISTS || failure.code == ERROR_ALREADY_EXISTS
                     ? CreateStatus::AlreadyExists
                     : CreateStatus::Failed;
        return Failed(failure);
    }
    status = CreateStatus::Created;
    return NativeFile(reinterpret_cast<std::intptr_t>(handle));
}

std::optional<std::uint64_t> NativeFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(Handle(handle_), &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool NativeFile::ReadExact(std::uint8_t* buffer, std::size_t length) {
    while (length > 0) {
        const DWORD want = static_cast<DWORD>(std::min(length, kMaxTransfer));
        DWORD got = 0;
        if (!::ReadFile(Handle(handle_), buffer, want, &got, nullptr)) {
            return Fail();
        }
        if (got == 0) {
            failure_ = {FileCause::InputOutput, 0};  // shorter than its size said
            return false;
        }
        buffer += got;
        length -= got;
    }
    return true;
}

bool NativeFile::WriteAll(const std::uint8_t* data, std::size_t length) {
    while (length > 0) {
        const DWORD want = static_cast<DWORD>(std::min(length, kMaxTransfer));
        DWORD put = 0;
        if (!::WriteFile(Handle(handle_), data, want, &put, nullptr)) {
            return Fail();
        }
        if (put == 0) {
            failure_ = {FileCause::NoSpace, ERROR_DISK_FULL};
            return false;
        }
        data += put;
        length -= put;
    }
    return true;
}

bool NativeFile::Sync() { return ::FlushFileBuffers(Handle(handle_)) != 0 || Fail(); }

void NativeFile::CopyPermissionsFrom(const std::filesystem::path&) {
    // A new file on Windows inherits the folder's access rules, as the
    // replaced file did; there are no mode bits to carry over.
}

bool NativeFile::Close() {
    if (!IsOpen()) {
        return true;
    }
    return ::CloseHandle(Handle(std::exchange(handle_, kInvalid))) != 0 || Fail();
}

TargetKind InspectTarget(const std::filesystem::path& path, SystemFailure& failure) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        failure = LastFailure();
        const bool badName = failure.cause == FileCause::NameTooLong || failure.cause == FileCause::BadName;
        return badName ? TargetKind::Unusable : TargetKind::Missing;  // missing or out of reach: creating tells
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return TargetKind::Other;
    }
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? TargetKind::ReadOnly : TargetKind::Regular;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SyncFolder(const std::filesystem::path&) {
    // MOVEFILE_WRITE_THROUGH has already made the rename durable.
}

std::filesystem::path HomeFolder() {
    const wchar_t* home = ::_wgetenv(L"USERPROFILE");
    return home != nullptr ? home : L"";
}

bool SamePathText(const std::filesystem::path& a, const std::filesystem::path& b) {
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace bramis::detail
