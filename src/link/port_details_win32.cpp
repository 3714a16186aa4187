// Port details on Windows, from SetupAPI: every present device with the COM
// port interface names its port in its "PortName" value and has a friendly
// name; the USB device behind it (itself, or its parent below a vendor's bus
// driver) carries the adapter's serial number as the last part of its
// instance id.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// windows.h first: these need its types.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <cwchar>
#include <string>

#include "port_details.h"

namespace bramis {
namespace {

// The COM port device interface class {86E0D1E0-8089-11D0-9CE4-08003E301F73}.
constexpr GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

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

}  // namespace

void AddPortDetails(std::vector<FoundPort>& ports) {
    const HDEVINFO set = SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        const std::wstring portName = PortName(set, info);
        const int number = ComNumber(portName);
        for (FoundPort& port : ports) {
            if (number != 0 && port.number == number) {
                PortDetails details;
                details.product = Utf8(FriendlyName(set, info, portName));
                details.serial = Utf8(AdapterSerial(info.DevInst));
                port.description = DescribeAdapter(details);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

}  // namespace bramis
