// Port details on Windows, from SetupAPI: every present device with the COM
// port interface names its port in its "PortName" value and has a friendly
// name; the USB device behind it (itself, or its parent below a vendor's bus
// driver) carries the adapter's serial number as the last part of its
// instance id, and its place on the hub. The configuration manager tells
// whether the device works.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: these need its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "port_details.h"

namespace bramis {
namespace {

// The COM port device interface class {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
// The setup class of ports {4D36E978-E325-11CE-BFC1-08002BE10318}: it holds a
// port whose driver does not work, which then offers no interface.
constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
}

// "COM5" -> 5; 0 for anything else.
int ComNumber(const std::wstring& name) {
    if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) {
        return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9' || number > 255) {
            return 0;
        }
        number = number * 10 + (name[i] - L'0');
    }
    return number;
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& info) {
    const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t name[64] = {};
    DWORD size = sizeof name - sizeof name[0];  // room for the terminator RegQueryValueExW may leave out
    DWORD type = 0;
    const LONG status = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(name) : std::wstring();
}

// The friendly name without the " (COM5)" that Windows appends to it.
std::wstring FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& info, const std::wstring& portName) {
    wchar_t name[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                           sizeof name - sizeof name[0], nullptr)) {
        return {};
    }
    std::wstring text = name;
    const std::wstring suffix = L" (" + portName + L")";
    if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
        text.resize(text.size() - suffix.size());
    }
    return text;
}

// The serial number in a USB instance id "USB\VID_0403&PID_6001\A50285BI";
// "" for other ids and for the ids Windows makes up when a device has no
// serial number (they contain '&').
std::wstring UsbSerial(DEVINST device) {
    wchar_t id[MAX_DEVICE_ID_LEN] = {};
    if (CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS || _wcsnicmp(id, L"USB\\", 4) != 0) {
        return {};
    }
    const wchar_t* last = std::wcsrchr(id, L'\\');
    return last != nullptr && std::wcschr(last, L'&') == nullptr ? std::wstring(last + 1) : std::wstring();
}

std::wstring AdapterSerial(DEVINST device) {
    std::wstring serial = UsbSerial(device);
    DEVINST parent = 0;
    if (serial.empty() && CM_Get_Parent(&parent, device, 0) == CR_SUCCESS) {
        serial = UsbSerial(parent);
    }
    return serial;
}

// The strings of a REG_SZ or REG_MULTI_SZ property in `buffer`, as the
// system returned it.
std::vector<std::wstring> Strings(const wchar_t* buffer, std::size_t count) {
    std::vector<std::wstring> strings;
    for (std::size_t at = 0; at < count && buffer[at] != L'\0';) {
        const std::wstring one(buffer + at);
        strings.push_back(one);
        at += one.size() + 1;
    }
    return strings;
}

// A string property of the device node `device` (CM_DRP_*); none when it has no such property.
std::vector<std::wstring> NodeProperty(DEVINST device, ULONG property) {
    wchar_t buffer[1024] = {};
    ULONG size = sizeof buffer - 2 * sizeof buffer[0];  // room for the terminators
    if (CM_Get_DevNode_Registry_PropertyW(device, property, nullptr, buffer, &size, 0) != CR_SUCCESS) {
        return {};
    }
    return Strings(buffer, size / sizeof buffer[0]);
}

// Where the USB device of a port is plugged in: the port's own node, or its
// parent's where the port is a function of a vendor's bus driver below it.
std::wstring HubLocation(DEVINST device) {
    const auto onHub = [](const std::vector<std::wstring>& location) {
        return !location.empty() && location.front().rfind(L"Port_#", 0) == 0;
    };
    std::vector<std::wstring> location = NodeProperty(device, CM_DRP_LOCATION_INFORMATION);
    DEVINST parent = 0;
    if (!onHub(location) && CM_Get_Parent(&parent, device, 0) == CR_SUCCESS) {
        if (std::vector<std::wstring> parents = NodeProperty(parent, CM_DRP_LOCATION_INFORMATION); onHub(parents)) {
            location = std::move(parents);
        }
    }
    return location.empty() ? std::wstring() : location.front();
}

std::vector<std::string> LocationPaths(DEVINST device) {
    std::vector<std::wstring> paths = NodeProperty(device, CM_DRP_LOCATION_PATHS);
    DEVINST parent = 0;
    if (paths.empty() && CM_Get_Parent(&parent, device, 0) == CR_SUCCESS) {
        paths = NodeProperty(parent, CM_DRP_LOCATION_PATHS);
    }
    std::vector<std::string> utf8;
    for (const std::wstring& path : paths) utf8.push_back(Utf8(path));
    return utf8;
}

// Calls `each` with every present device of `setOf` (an interface or a setup
// class) that names a COM port, and its number, until `each` returns false.
void ForEachComPort(const GUID& setOf, DWORD flags,
                    const std::function<bool(HDEVINFO, SP_DEVINFO_DATA&, const std::wstring&, int)>& each) {
    const HDEVINFO set = SetupDiGetClassDevsW(&setOf, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        const std::wstring portName = PortName(set, info);
        const int number = ComNumber(portName);
        if (number != 0 && !each(set, info, portName, number)) {
            break;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

void AddPortDetails(std::vector<FoundPort>& ports) {
    ForEachComPort(kComPortInterface, DIGCF_DEVICEINTERFACE,
                   [&ports](HDEVINFO set, SP_DEVINFO_DATA& info, const std::wstring& portName, int number) {
                       for (FoundPort& port : ports) {
                           if (port.number == number) {
                               PortDetails details;
                               details.product = Utf8(FriendlyName(set, info, portName));
                               details.serial = Utf8(AdapterSerial(info.DevInst));
                               port.description = DescribeAdapter(details);
                               port.location = Utf8(HubLocation(info.DevInst));
                           }
                       }
                       return true;
                   });
}

ComPortNode ReadComPortNode(int number) {
    ComPortNode node;
    const auto read = [&node, number](HDEVINFO set, SP_DEVINFO_DATA& info, const std::wstring&, int found) {
        if (found != number) {
            return true;
        }
        node.listed = true;
        wchar_t name[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                              sizeof name - sizeof name[0], nullptr)) {
            node.friendlyName = Utf8(name);
        }
        node.location = Utf8(HubLocation(info.DevInst));
        node.locationPaths = LocationPaths(info.DevInst);
        ULONG status = 0;
        ULONG problem = 0;
        if (CM_Get_DevNode_Status(&status, &problem, info.DevInst, 0) == CR_SUCCESS && (status & DN_HAS_PROBLEM) != 0) {
            node.problemCode = static_cast<unsigned>(problem);
        }
        return false;
    };
    ForEachComPort(kComPortInterface, DIGCF_DEVICEINTERFACE, read);
    if (!node.listed) {
        ForEachComPort(kPortsClass, 0, read);  // a port whose driver fails offers no interface
    }
    return node;
}

}  // namespace bramis
