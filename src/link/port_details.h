// What the system knows about the adapter behind a serial port: the maker's
// names and serial number of a USB adapter, and on Linux the adapter's stable
// name under /dev/serial/by-id. For port lists that tell the adapters apart.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "port_discovery.h"

namespace bramis {

struct PortDetails {
    std::string product;       // "FT232R USB UART"; on Windows the device's friendly name
    std::string manufacturer;  // "FTDI"
    std::string serial;        // the adapter's serial number
    std::string stablePath;    // Linux: /dev/serial/by-id/... naming the same device
    std::string socketPath;    // Linux: /dev/serial/by-path/... naming the USB socket it is plugged into
    std::string vendorId;      // Linux: the USB ids, "0403" and "6001"
    std::string productId;
};

// Windows: the device node of a COM port as the system's device list and its
// configuration manager tell it.
struct ComPortNode {
    bool listed = false;        // the device list has a present device for the port
    std::string friendlyName;   // "USB Serial Port (COM5)"
    // Where the adapter is plugged in: the socket and hub
    // ("Port_#0002.Hub_#0001"), and the path through the machine's buses
    // ("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"); the USB device's own where
    // the port is a function below it. Empty when the system gives none.
    std::string location;
    std::vector<std::string> locationPaths;
    // The configuration manager's problem code (CM_PROB_*), when the device
    // has one: it is not working.
    std::optional<unsigned> problemCode;
};

// One line for a port list: the product (or the maker when the product is
// unknown) and the serial number in brackets: "FT232R USB UART (A50285BI)";
// "" when nothing is known. Any thread.
std::string DescribeAdapter(const PortDetails& details);

// Fills each port's description, stable and socket path from what the system knows;
// ports it knows nothing of keep them empty. Reads only the system's device
// information (sysfs on Linux, SetupAPI on Windows); opens no port. Any thread.
void AddPortDetails(std::vector<FoundPort>& ports);

// Windows builds: the device node of COM `number`; not listed when the
// device list has none (or the system gives no device list at all, as Wine
// may). Reads only the system's device information; opens no port. Any thread.
ComPortNode ReadComPortNode(int number);

// Linux builds: the details of `device` (a tty path or a link to one) read
// from a sysfs tree at `sysRoot` and the links in `byIdFolder` and
// `byPathFolder` (none when empty), as AddPortDetails reads /sys,
// /dev/serial/by-id and /dev/serial/by-path. A link in either folder that
// `device` itself is wins over the folder's other links to the same node.
// Any thread.
PortDetails ReadSysfsPortDetails(const std::string& device, const std::filesystem::path& sysRoot,
                                 const std::filesystem::path& byIdFolder,
                                 const std::filesystem::path& byPathFolder = {});

}  // namespace bramis
