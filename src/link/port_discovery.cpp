#include "port_discovery.h"

#include "serial_os.h"

namespace bramis {

namespace {
constexpr int kHighestPort = 255;
}  // namespace

std::string DeviceForPort(int portNumber, const std::map<int, std::string>& overrides) {
    if (const auto found = overrides.find(portNumber); found != overrides.end()) {
        return found->second;
    }
    return portNumber >= 1 && portNumber <= kHighestPort ? OsDeviceForPort(static_cast<unsigned>(portNumber))
                                                         : std::string();
}

std::vector<FoundPort> DiscoverPorts(const std::map<int, std::string>& overrides) {
    std::vector<FoundPort> found;
    for (int number = 1; number <= kHighestPort; ++number) {
        std::string device = DeviceForPort(number, overrides);
        if (!device.empty() && ProbeSerialDevice(device)) {
            found.push_back({.number = number, .device = std::move(device)});
        }
    }
    return found;
}

}  // namespace bramis
