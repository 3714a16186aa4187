// Port details on Linux, from sysfs: /sys/class/tty/NAME/device leads into the
// device tree; the USB device that the adapter is lies a level or two above
// (above the interface a usb-serial or cdc-acm driver binds to) and holds the
// descriptors' strings in files of their own.
#include <fstream>
#include <system_error>

#include "port_details.h"

namespace bramis {

namespace fs = std::filesystem;

namespace {

// How far above the tty's device node the USB device may lie: the tty itself
// (cdc-acm), its interface, and the USB device.
constexpr int kLevelsToUsbDevice = 4;

// The first line of a sysfs attribute file, "" when there is none.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

// The nearest folder at or above `folder` that describes a USB device, or
// "" when there is none before the tree's root.
fs::path UsbDeviceAbove(fs::path folder, const fs::path& devicesRoot) {
    std::error_code error;
    for (int level = 0; level < kLevelsToUsbDevice && folder != devicesRoot && folder.has_relative_path();
         ++level, folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error)) {
            return folder;
        }
    }
    return {};
}

// The link in `folder` that names the same device as `node`: `given` when it
// is one of them (a socket may have a link of each naming scheme).
std::string StablePathFor(const fs::path& node, const fs::path& given, const fs::path& folder) {
    std::error_code error;
    const fs::path target = fs::canonical(node, error);
    if (error || folder.empty()) {
        return {};
    }
    if (given.parent_path() == folder) {
        return given.string();
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code linkError;
        if (fs::canonical(entry.path(), linkError) == target && !linkError) {
            return entry.path().string();
        }
    }
    return {};
}

}  // namespace

PortDetails ReadSysfsPortDetails(const std::string& device, const fs::path& sysRoot, const fs::path& byIdFolder,
                                 const fs::path& byPathFolder) {
    PortDetails details;
    std::error_code error;
    // A by-id link or an override may name the device: its node's name is what sysfs knows.
    const fs::path node = fs::canonical(device, error);
    if (error || !node.has_filename()) {
        return details;
    }
    details.stablePath = StablePathFor(node, device, byIdFolder);
    details.socketPath = StablePathFor(node, device, byPathFolder);
    const fs::path deviceFolder = fs::canonical(sysRoot / "class" / "tty" / node.filename() / "device", error);
    if (error) {
        return details;
    }
    const fs::path usb = UsbDeviceAbove(deviceFolder, fs::weakly_canonical(sysRoot / "devices", error));
    if (!usb.empty()) {
        details.manufacturer = ReadAttribute(usb / "manufacturer");
        details.product = ReadAttribute(usb / "product");
        details.serial = ReadAttribute(usb / "serial");
        details.vendorId = ReadAttribute(usb / "idVendor");
        details.productId = ReadAttribute(usb / "idProduct");
    }
    return details;
}

void AddPortDetails(std::vector<FoundPort>& ports) {
    for (FoundPort& port : ports) {
        const PortDetails details = ReadSysfsPortDetails(port.device, "/sys", "/dev/serial/by-id", "/dev/serial/by-path");
        port.description = DescribeAdapter(details);
        port.stablePath = details.stablePath;
        port.socketPath = details.socketPath;
    }
}

}  // namespace bramis
