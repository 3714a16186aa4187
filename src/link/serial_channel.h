// The one serial port through which the programmer talks to the device's
// bootloader: 9600 baud, 8 data bits, even parity, 1 stop bit, no flow
// control, DTR and RTS off. Module-level state; at most one port is open.
// Called only from the transfer worker thread, except the Set* functions,
// which are called before a job starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "port_backend.h"

namespace bramis {

// Opens COM `portNumber` (0 and numbers above 255 open COM1) with the
// device's line settings. Returns 0 (LINK_OK) when open, 1 (LINK_FAILED)
// on any failure; the channel then stays closed.
int OpenPort(unsigned portNumber);

// Closes the port that the last successful OpenPort opened.
void ClosePort();

// Sends `length` bytes, discards all input received so far, pauses
// length * 12 / 10 ms and waits until the bytes have left the driver.
// Nothing at all when no port is open or it has vanished.
void WritePort(const std::uint8_t* buffer, std::uint32_t length);

// Pauses `preDelayMs`, then reads in chunks of at most 16 bytes until
// `capacity` bytes have come or a chunk read receives nothing.
// Returns the count received, also stored in `bytesRead`; 0 at once when no
// port is open or it has vanished.
std::uint32_t ReadPort(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                       std::uint32_t preDelayMs);

// Replaces the function that opens a port (the OS serial port by default).
// Passing an empty function restores the default.
void SetPortOpener(PortOpener opener);

// The OS opener: COM n maps to a device by the fixed ranges of the platform,
// unless `overrides` names a device path for n.
PortOpener SystemPortOpener();

// Per-user overrides of the COM number to device mapping ("Ports" in the
// settings store), used by the default opener.
void SetPortOverrides(std::map<int, std::string> overrides);

// An opener that ignores the number and opens `devicePath` itself.
PortOpener DevicePathOpener(std::string devicePath);

// True when the open port has gone from the system (a USB adapter
// unplugged); reads and writes then return at once. Worker thread.
bool PortVanished();

// The system's reason for the last failed OpenPort ("" after a success), in
// Russian, with the device's path.
std::string LastOpenError();

// Protocol trace: every request written and every reply read, with the line's
// clock. The channel never prints; an empty handler turns tracing off.
enum class TraceDirection { Sent, Received };
using TraceHandler =
    std::function<void(TraceDirection, const std::uint8_t* data, std::size_t length, double atMs)>;
void SetTraceHandler(TraceHandler handler);

}  // namespace bramis
