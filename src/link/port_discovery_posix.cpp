// Port discovery on POSIX systems: there is no list of COM names, so every
// number that maps to a device is probed.
#include "port_discovery_list.h"

namespace bramis {

std::vector<int> EnumerateComPorts(const std::map<int, std::string>& overrides) {
    return PortNumbers(DiscoverPorts(overrides));
}

}  // namespace bramis
