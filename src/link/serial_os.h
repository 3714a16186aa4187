// The two hooks each platform's serial file implements (serial_posix.cpp or
// serial_win32.cpp); the portable channel builds its openers on them.
#pragma once

#include <string>

#include "port_backend.h"

namespace bramis {

// The device path of COM `portNumber` by the platform's fixed mapping, or ""
// when the number has no device on this platform. Any thread may call it.
std::string OsDeviceForPort(unsigned portNumber);

// Opens `devicePath` exclusively with the device's line settings (9600 8E1,
// no flow control, DTR and RTS off, the 30 ms / 5 ms read rule). On failure
// the result has no port and `error` gives the system's reason.
// Called from the thread that will use the port.
PortOpenResult OpenOsPort(const std::string& devicePath);

}  // namespace bramis
