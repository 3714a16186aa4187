#include "port_discovery.h"

#include "serial_os.h"

namespace bramis {

std::string DeviceForPort(int portNumber, const std::map<int, std::string>& overrides) {
    if (const auto found = overrides.find(portNumber); found != overrides.end()) {
        return found->second;
    }
    return portNumber >= kLowestPortNumber && portNumber <= kHighestPortNumber ? OsDeviceForPort(static_cast<unsigned>(portNumber))
                                                         : std::string();
}

std::vector<FoundPort> DiscoverPorts(const std::map<int, std::string>& overrides) {
    std::vector<FoundPort> found;
    for (int number = kLowestPortNumber; number <= kHighestPortNumber; ++number) {
        std::string device = DeviceForPort(number, overrides);
        if (!device.empty() && ProbeSerialDevice(device)) {
            found.push_back({.number = number, .device = std::move(device)});
        }
    }
    return found;
}

}  // namespace bramis
