// Reading the system's device list into COM numbers, on every platform.
#include "link/port_discovery_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace bramis {
namespace {

using Ports = std::vector<int>;

// Names one after another, each NUL-terminated, then the empty name.
std::string DeviceList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    list += '\0';
    return list;
}

Ports Parse(const std::string& list) {
    return ParseComDeviceList(list.data(), list.size());
}

TEST(ParseComDeviceList, TakesComNamesInListOrderWithTheNumberAsAtoiReadsIt) {
    EXPECT_EQ(Parse(DeviceList({"COM1", "COM10", "LPT1", "com3", "COMX", "COM"})), (Ports{1, 10, 3, 0}));
    EXPECT_EQ(Parse(DeviceList({"COM-5"})), (Ports{-5}));
    EXPECT_EQ(Parse(DeviceList({"cOm4", "Com7", "COM 12", "COM\t+8", "COM12abc", "COM007"})),
              (Ports{4, 7, 12, 8, 12, 7}));
    // Nothing is sorted, range-tested or removed as a duplicate.
    EXPECT_EQ(Parse(DeviceList({"COM300", "COM2", "COM300", "COM0"})), (Ports{300, 2, 300, 0}));
    // Only the first three bytes decide, and look-alikes do not match.
    EXPECT_EQ(Parse(DeviceList({"XCOM1", "CO M1", "CON", "AUX", "\xD1\xCE\xCC" "1", "COMMAND"})), (Ports{0}));
    // Numbers beyond int saturate instead of wrapping.
    EXPECT_EQ(Parse(DeviceList({"COM99999999999", "COM-99999999999", "COM2147483647"})),
              (Ports{INT_MAX, INT_MIN, INT_MAX}));
}

TEST(ParseComDeviceList, StopsAtTheEmptyNameAndNeverReadsPastTheGivenSize) {
    EXPECT_EQ(Parse(DeviceList({"COM1"}) + DeviceList({"COM2"})), (Ports{1}));
    EXPECT_EQ(Parse(std::string(1, '\0')), Ports{});
    EXPECT_EQ(ParseComDeviceList(nullptr, 0), Ports{});

    // A list cut short by the size given: the last name ends there. The bytes
    // beyond `size` live in a separate allocation so a sanitizer sees any overread.
    const std::string cut("COM4\0COM56", 10);
    std::vector<char> exact(cut.begin(), cut.end());
    EXPECT_EQ(ParseComDeviceList(exact.data(), exact.size()), (Ports{4, 56}));
    EXPECT_EQ(ParseComDeviceList(exact.data(), 9), (Ports{4, 5}));
    EXPECT_EQ(ParseComDeviceList(exact.data(), 8), (Ports{4}));  // "COM" alone is too short
}

// A system whose device list is `list`: it fills a buffer that is big enough
// and otherwise fails, recording each offered capacity.
struct FakeSystem {
    explicit FakeSystem(std::string deviceList) : list(std::move(deviceList)) {}

    std::string list;
    std::vector<std::size_t> capacities;
    bool fail = false;

    DeviceListQuery Query() {
        return [this](char* buffer, std::size_t capacity) -> std::size_t {
            capacities.push_back(capacity);
            if (fail || list.size() > capacity) {
                return 0;
            }
            std::memcpy(buffer, list.data(), list.size());
            buffer[capacity] = '\x7F';  // the buffer really holds one byte more
            return list.size();
        };
    }
};

TEST(ComPortsFromDeviceList, OneQueryOfSixtyFourKibAndNoPortsWhenItFails) {
    FakeSystem small{DeviceList({"COM3", "NUL", "COM1"})};
    EXPECT_EQ(ComPortsFromDeviceList(small.Query()), (Ports{3, 1}));
    EXPECT_EQ(small.capacities, (std::vector<std::size_t>{0xFFFF}));

    // A list that fills the offer to the last character is read whole.
    FakeSystem exact{std::string(0xFFFF - 7, 'X') + DeviceList({"COM6"}).insert(0, 1, '\0')};
    ASSERT_EQ(exact.list.size(), 0xFFFFU);
    EXPECT_EQ(ComPortsFromDeviceList(exact.Query()), (Ports{6}));

    // One character more does not fit: no ports, and no second query in a
    // bigger buffer, even with COM names at the front of the list.
    FakeSystem longer{DeviceList({"COM2", "COM5"}) + std::string(0xFFFF, 'X')};
    EXPECT_EQ(ComPortsFromDeviceList(longer.Query()), Ports{});
    EXPECT_EQ(longer.capacities, (std::vector<std::size_t>{0xFFFF}));

    FakeSystem failing{DeviceList({"COM1"})};
    failing.fail = true;
    EXPECT_EQ(ComPortsFromDeviceList(failing.Query()), Ports{});
    EXPECT_EQ(failing.capacities.size(), 1U);
}

}  // namespace
}  // namespace bramis
