// The serial port on Windows: the Win32 communications calls, with the read
// time-outs doing the read-return rule in the driver.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <chrono>
#include <memory>

#include "serial_os.h"

namespace bramis {
namespace {

std::string SystemReason(const std::string& devicePath, DWORD error) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) {
        reason.pop_back();
    }
    if (reason.empty()) {
        reason = "system error " + std::to_string(error);
    }
    return devicePath + ": " + reason;
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
        WriteFile(handle_, data, static_cast<DWORD>(length), &written, nullptr);
    }

    void PurgeInput() override { PurgeComm(handle_, PURGE_RXCLEAR); }

    void Drain() override { FlushFileBuffers(handle_); }

    // The time-outs set at open make one ReadFile follow the read-return rule.
    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(want), &got, nullptr)) {
            return 0;
        }
        return got;
    }

    void SleepMs(std::uint32_t ms) override { Sleep(ms); }

    double NowMs() const override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration<double, std::milli>(now).count();
    }

private:
    HANDLE handle_;
};

// The device's line: 9600 baud, 8 data bits, even parity, one stop bit.
// In the flag word this keeps bits 15-31 and sets bits 0, 1 and 7 alone:
// flags = (flags AND 0xFFFF8083) OR 0x83.
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

}  // namespace

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
