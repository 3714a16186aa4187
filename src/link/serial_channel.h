// A serial port through which the programmer talks to the device's
// bootloader: 9600 baud, 8 data bits, even parity, 1 stop bit, no flow
// control, DTR and RTS off. Each channel holds at most one open port; several
// channels may talk to several devices at once, each from its own thread.
// A channel is used by one thread at a time: the Set* calls between jobs, the
// port operations by the job's worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "port_backend.h"

namespace bramis {

// Protocol trace: every request written and every reply read, with the line's
// clock. The channel never prints; an empty handler turns tracing off.
enum class TraceDirection { Sent, Received };
using TraceHandler =
    std::function<void(TraceDirection, const std::uint8_t* data, std::size_t length, double atMs)>;

class SerialChannel {
public:
    SerialChannel() = default;
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    // Opens COM `portNumber` (0 and numbers above 255 open COM1) with the
    // device's line settings. Returns 0 (LINK_OK) when open, 1 (LINK_FAILED)
    // on any failure; the channel then stays closed.
    int OpenPort(unsigned portNumber);

    // Closes the port that the last successful OpenPort opened.
    void ClosePort();

    // Sends `length` bytes, discards all input received so far, pauses
    // length * 12 / 10 ms and waits until the bytes have left the driver.
    void WritePort(const std::uint8_t* buffer, std::uint32_t length);

    // Pauses `preDelayMs`, then reads in chunks of at most 16 bytes until
    // `capacity` bytes have come or a chunk read receives nothing.
    // Returns the count received, also stored in `bytesRead`.
    std::uint32_t ReadPort(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                           std::uint32_t preDelayMs);

    // Replaces the function that opens a port (the OS serial port, through the
    // overrides, by default). Passing an empty function restores the default.
    void SetPortOpener(PortOpener opener);
    // The opener SetPortOpener gave; empty when the channel opens the system's ports.
    const PortOpener& Opener() const { return opener_; }

    // Per-user overrides of the COM number to device mapping ("Ports" in the
    // settings store), used by the default opener.
    void SetPortOverrides(std::map<int, std::string> overrides);

    // Bytes the last ReadPort received; 0 when the device did not answer.
    std::uint32_t LastReadCount() const { return lastReadCount_; }

    // Bytes all ReadPort calls received since the port was opened: whether
    // anything on the line has answered at all.
    std::uint64_t ReceivedSinceOpen() const { return receivedSinceOpen_; }

    // True when the open port has gone from the system (a USB adapter
    // unplugged); reads and writes then return at once.
    bool PortVanished() const;

    // Why the last OpenPort failed; meaningless after a success.
    const PortOpenError& LastOpenError() const;

    void SetTraceHandler(TraceHandler handler);

    // Whether the last bootloader command failed on a reply interrupted by a
    // pause longer than a chunk read waits: one attempt's reply stopped
    // part-way, and the next attempt's read began with its late rest. Each
    // command sets it (bootloader.h).
    bool ReplyInterrupted() const { return replyInterrupted_; }
    void NoteReplyInterrupted(bool interrupted) { replyInterrupted_ = interrupted; }

    // The device the open port is, as the system names it; "" when none is
    // open or the line has no device (the emulator's).
    std::string PortDevice() const { return port_ ? port_->Device() : std::string(); }

    // Attempts of bootloader commands that repeated a failed one, since the
    // channel was made; the commands count them (bootloader.h).
    int RetriedAttempts() const { return retriedAttempts_; }
    void CountRetriedAttempt() { ++retriedAttempts_; }

private:
    // The open port, or null when none is open or it has vanished.
    PortBackend* LivePort() const;
    void Trace(TraceDirection direction, const std::uint8_t* data, std::size_t length);

    std::unique_ptr<PortBackend> port_;
    PortOpener opener_;
    std::map<int, std::string> overrides_;
    PortOpenError lastOpenError_;
    TraceHandler trace_;
    int retriedAttempts_ = 0;
    bool replyInterrupted_ = false;
    std::uint32_t lastReadCount_ = 0;
    std::uint64_t receivedSinceOpen_ = 0;
};

// The OS opener: COM n maps to a device by the fixed ranges of the platform,
// unless `overrides` names a device path for n.
PortOpener SystemPortOpener(std::map<int, std::string> overrides);

// An opener that ignores the number and opens `devicePath` itself.
PortOpener DevicePathOpener(std::string devicePath);

}  // namespace bramis
