// The seam between the serial channel and whatever carries its bytes: an OS
// serial port (POSIX or Win32) or the in-process line to the device emulator.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace bramis {

// The read-return rule of one chunk read (ReadChunk): at most this long in
// all, and no longer than this without a byte once one has come.
inline constexpr std::uint32_t kChunkTotalMs = 30;
inline constexpr std::uint32_t kByteIntervalMs = 5;

// When a chunk read that began at `startMs` ends if no byte comes first,
// with `got` bytes received so far, the last at `lastByteMs`. Any thread.
inline double ChunkDeadlineMs(double startMs, double lastByteMs, std::size_t got) {
    const double totalMs = startMs + kChunkTotalMs;
    return got == 0 ? totalMs : std::min(totalMs, lastByteMs + kByteIntervalMs);
}

// One open port. All calls block the calling thread (the transfer worker).
class PortBackend {
public:
    virtual ~PortBackend() = default;

    // Writes every byte; returns when the OS has taken them all (no time-out)
    // or the port has vanished.
    virtual void WriteAll(const std::uint8_t* data, std::size_t length) = 0;

    // Discards every byte received and not yet read.
    virtual void PurgeInput() = 0;

    // Returns when every written byte has left the driver.
    virtual void Drain() = 0;

    // One chunk read of at most `want` bytes (want <= 16). Returns as soon as
    // `want` bytes are there, or at ChunkDeadlineMs: 30 ms after the call
    // began or, once a byte has arrived in this call, when more than 5 ms
    // pass without another one.
    // Returns the count delivered (0 on a silent line or an error).
    virtual std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) = 0;

    // True once the port has gone from the system (a USB adapter unplugged):
    // no call can reach the device any more. Stays true until the port is
    // closed.
    virtual bool Vanished() const = 0;

    // Pauses the caller; the virtual line only advances its clock.
    virtual void SleepMs(std::uint32_t ms) = 0;

    // The device this port is, as the system names it; "" for a line
    // without one (the emulator's).
    virtual std::string Device() const { return {}; }

    // Milliseconds on this line's clock (monotonic; virtual for the emulator
    // line), for timestamps in protocol traces.
    virtual double NowMs() const = 0;
};

// Why a port did not open, as far as a user can act on it.
enum class OpenFailure {
    NoSuchPort,      // the COM number maps to no device on this system
    NoSuchDevice,
    NoAccess,
    Busy,            // another program holds it
    NotASerialPort,
    Gone,            // the device does not answer or has been unplugged
    Other,
};

// A process that has a port open.
struct PortHolder {
    long pid = 0;      // 0 when not known
    std::string name;  // its command name

    bool operator==(const PortHolder&) const = default;
};

// A failed open: its kind and the values that explain it.
struct PortOpenError {
    OpenFailure kind = OpenFailure::Other;
    std::string device;      // the device path tried; "" for NoSuchPort
    int systemCode = 0;      // errno or GetLastError; 0 when the system gave none
    std::string systemText;  // the system's own text for systemCode, in its language
    PortHolder holder;       // Busy: the other program that has the port open, when known

    bool operator==(const PortOpenError&) const = default;
};

// Result of trying to open a port: the backend, or why there is none.
struct PortOpenResult {
    std::unique_ptr<PortBackend> port;  // null when the open failed
    PortOpenError error;                // why, when it failed
};

// Opens COM port `portNumber` (already brought into 1..255 by OpenPort).
using PortOpener = std::function<PortOpenResult(unsigned portNumber)>;

}  // namespace bramis
