// Port discovery on Windows: the system's list of device names on Windows NT,
// the probing rule where the version query fails or names another platform.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "port_discovery_list.h"

namespace bramis {
namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version query's size field is 148");

bool IsWindowsNt() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)  // declared deprecated, still what tells the platform
#endif
    const BOOL known = GetVersionExA(&info);
    return known && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

std::vector<int> EnumerateComPorts(const std::map<int, std::string>& overrides) {
    if (!IsWindowsNt()) {
        return PortNumbers(DiscoverPorts(overrides));
    }
    return ComPortsFromDeviceList([](char* buffer, std::size_t capacity) -> std::size_t {
        return QueryDosDeviceA(nullptr, buffer, static_cast<DWORD>(capacity));
    });
}

}  // namespace bramis
