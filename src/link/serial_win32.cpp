// The serial port on Windows: the Win32 communications calls, with the read
// time-outs doing the read-return rule in the driver.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <chrono>
#include <memory>

#include "serial_os.h"
#include "serial_win32_line.h"

namespace bramis {
namespace {

// The system's own text for `error` in UTF-8 (in the system's language), or "".
std::string SystemText(DWORD error) {
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        0, text, sizeof text / sizeof text[0], nullptr);
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    while (!utf8.empty() && (utf8.back() == '\r' || utf8.back() == '\n' || utf8.back() == ' ' || utf8.back() == '.')) {
        utf8.pop_back();
    }
    return utf8;
}

PortOpenError SystemReason(const std::string& devicePath, DWORD error) {
    OpenFailure failure = OpenFailure::Other;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: failure = OpenFailure::NoSuchDevice; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: failure = OpenFailure::Busy; break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED: failure = OpenFailure::NotASerialPort; break;
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND: failure = OpenFailure::Gone; break;
        default: break;
    }
    return PortOpenError{failure, devicePath, static_cast<int>(error), SystemText(error), {}};
}

// Errors a USB serial driver gives once its adapter has been unplugged.
bool MeansVanished(DWORD error) {
    return error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_REMOVED || error == ERROR_ACCESS_DENIED ||
           error == ERROR_OPERATION_ABORTED;
}

class Win32Port final : public PortBackend {
public:
    explicit Win32Port(HANDLE handle) : handle_(handle) {}
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;
    ~Win32Port() override { CloseHandle(handle_); }

    // Synchronous, no write time-out; a failed write shows up as a missing reply.
    void WriteAll(const std::uint8_t* data, std::size_t length) override {
        DWORD written = 0;
        if (!WriteFile(handle_, data, static_cast<DWORD>(length), &written, nullptr)) {
            NoteFailure();
        }
    }

    void PurgeInput() override {
        if (!PurgeComm(handle_, PURGE_RXCLEAR)) {
            NoteFailure();
        }
    }

    void Drain() override {
        if (!FlushFileBuffers(handle_)) {
            NoteFailure();
        }
    }

    // The time-outs set at open make one ReadFile follow the read-return rule.
    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(want), &got, nullptr)) {
            NoteFailure();
            return 0;
        }
        if (got == 0) {
            // A silent line, or an adapter that has gone: only the driver's
            // error state tells them apart.
            DWORD errors = 0;
            if (!ClearCommError(handle_, &errors, nullptr)) {
                NoteFailure();
            }
        }
        return got;
    }

    bool Vanished() const override { return vanished_; }

    void SleepMs(std::uint32_t ms) override { Sleep(ms); }

    double NowMs() const override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration<double, std::milli>(now).count();
    }

private:
    void NoteFailure() {
        if (MeansVanished(GetLastError())) {
            vanished_ = true;
        }
    }

    HANDLE handle_;
    bool vanished_ = false;
};

}  // namespace

void SetLine(DCB& dcb) {
    dcb.BaudRate = CBR_9600;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;  // a byte with a parity error arrives as received
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.wReserved = 0;
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
}

std::string OsDeviceForPort(unsigned portNumber) {
    // The \\.\ prefix for every number, so COM10 and above open as well.
    return "\\\\.\\COM" + std::to_string(portNumber);
}

PortOpenResult OpenOsPort(const std::string& devicePath) {
    const HANDLE handle = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {nullptr, SystemReason(devicePath, GetLastError())};
    }
    const auto fail = [&] {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return PortOpenResult{nullptr, SystemReason(devicePath, error)};
    };
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        return fail();
    }
    SetLine(dcb);
    if (!SetCommState(handle, &dcb)) {
        return fail();
    }
    // A read returns on its count, 30 ms after it began, or 5 ms after a byte with no other.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kByteIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kChunkTotalMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    if (!SetCommTimeouts(handle, &timeouts)) {
        return fail();
    }
    return {std::make_unique<Win32Port>(handle), {}};
}

}  // namespace bramis
