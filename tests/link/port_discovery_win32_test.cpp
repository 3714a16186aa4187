// Port discovery on Windows, under Wine with the ports that
// scripts/wine-tests.sh maps to the echo peer: COM BRAMIS_ECHO_PORT, COM1 and
// COM255, entered in Wine's port list so that the system's device list names
// them. COM254 is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "link/port_discovery_list.h"

namespace bramis {
namespace {

bool Has(const std::vector<int>& ports, int number) {
    return std::find(ports.begin(), ports.end(), number) != ports.end();
}

TEST(PortDiscoveryOnWindows, DeviceListAndProbingFindTheMappedPortsOnly) {
    const char* echo = std::getenv("BRAMIS_ECHO_PORT");
    if (echo == nullptr) {
        GTEST_SKIP() << "no mapped ports: run scripts/wine-tests.sh";
    }
    const int echoPort = std::atoi(echo);

    const std::vector<int> listed = EnumerateComPorts({});
    for (const int number : {echoPort, 1, 255}) {
        EXPECT_TRUE(Has(listed, number)) << "COM" << number << " not in the device list";
    }
    EXPECT_FALSE(Has(listed, 254));

    const std::vector<int> probed = PortNumbers(DiscoverPorts({}));
    for (const int number : {echoPort, 1, 255}) {
        EXPECT_TRUE(Has(probed, number)) << "COM" << number << " not found by probing";
    }
    EXPECT_FALSE(Has(probed, 254));
    EXPECT_TRUE(std::is_sorted(probed.begin(), probed.end()));
}

}  // namespace
}  // namespace bramis
