// The settings window's port discovery: the COM numbers present on this
// machine as the operating system names them, and the reading of a device
// list that underlies it on Windows.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "port_discovery.h"

namespace bramis {

// The COM numbers present, for the settings window's list. On Windows NT: the
// COM names of the system's device list (QueryDosDeviceA), in the system's
// order, duplicates kept, nothing range-tested. Elsewhere, and on Windows
// when the version query fails or names another platform: the probing rule
// of DiscoverPorts, ascending. `overrides` matter only to the probing.
// May block for a while (up to 255 open attempts). Any thread, between jobs.
std::vector<int> EnumerateComPorts(const std::map<int, std::string>& overrides);

// The ports of EnumerateComPorts, in its order, each with the device that
// opening it opens (DeviceForPort; "" for numbers outside 1..255), so that a
// port list can tell which adapter COM n is. Any thread, between jobs.
std::vector<FoundPort> EnumerateComPortDevices(const std::map<int, std::string>& overrides);

// The port numbers of a NUL-separated list of device names ended by an empty
// name, in list order: for each name longer than 3 bytes whose first 3 bytes
// are "COM" in any letter case, atoi of the rest (white space and a sign
// allowed, 0 without digits). Never reads past `size` bytes. Any thread.
std::vector<int> ParseComDeviceList(const char* buffer, std::size_t size);

// One query of the system's device list into `buffer`, which may take
// `capacity` characters: the count stored, or 0 on any failure, a list too
// long for the buffer included.
using DeviceListQuery = std::function<std::size_t(char* buffer, std::size_t capacity)>;

// The device-list method over `query`: one query into a 64 KiB buffer offered
// as 0xFFFF characters. A failed query, a list too long for that buffer
// included, gives no ports: no second query, no probing. Any thread.
std::vector<int> ComPortsFromDeviceList(const DeviceListQuery& query);

// The numbers of `found`, in its order. Any thread.
std::vector<int> PortNumbers(const std::vector<FoundPort>& found);

}  // namespace bramis
