// The probing rule on Windows.
#include <windows.h>

#include "port_discovery.h"

namespace bramis {

bool ProbeSerialDevice(const std::string& device) {
    const HANDLE handle =
        CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE;
}

}  // namespace bramis
