// Reading the system's device list into COM numbers, on every platform.
#include "link/port_discovery_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>

namespace bramis {
namespace {

using Ports = std::vector<int>;

// Names one after another, each NUL-terminated, then the empty name.
std::string DeviceList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    return list + '\0';
}

Ports Parse(const std::string& list) {
    return ParseComDeviceList(list.data(), list.size());
}

TEST(ParseComDeviceList, ComNamesInListOrderAsAtoiReadsThemWithinTheGivenSize) {
    EXPECT_EQ(Parse(DeviceList({"COM1", "COM10", "LPT1", "com3", "COMX", "COM", "COM-5"})), (Ports{1, 10, 3, 0, -5}));
    EXPECT_EQ(Parse(DeviceList({"cOm4", "Com7", "COM 12", "COM\t+8", "COM12abc", "COM007"})),
              (Ports{4, 7, 12, 8, 12, 7}));
    // Nothing is sorted, range-tested or removed as a duplicate.
    EXPECT_EQ(Parse(DeviceList({"COM300", "COM2", "COM300", "COM0"})), (Ports{300, 2, 300, 0}));
    // Only the first three bytes decide, and look-alikes do not match.
    EXPECT_EQ(Parse(DeviceList({"XCOM1", "CO M1", "CON", "AUX", "\xD1\xCE\xCC" "1", "COMMAND"})), (Ports{0}));
    // Numbers beyond int saturate instead of wrapping.
    EXPECT_EQ(Parse(DeviceList({"COM99999999999", "COM-99999999999", "COM2147483647"})),
              (Ports{INT_MAX, INT_MIN, INT_MAX}));

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

TEST(ComPortsFromDeviceList, OneQueryOfSixtyFourKibAndNoPortsWhenItFails) {
    // A system whose device list is `list` (none: the query fails): it fills a
    // buffer that is big enough and otherwise fails, recording each offered capacity.
    std::vector<std::size_t> capacities;
    const auto ports = [&](const std::optional<std::string>& list) {
        capacities.clear();
        return ComPortsFromDeviceList([&](char* buffer, std::size_t capacity) -> std::size_t {
            capacities.push_back(capacity);
            if (!list || list->size() > capacity) return 0;
            std::memcpy(buffer, list->data(), list->size());
            buffer[capacity] = '\x7F';  // the buffer really holds one byte more
            return list->size();
        });
    };
    EXPECT_EQ(ports(DeviceList({"COM3", "NUL", "COM1"})), (Ports{3, 1}));
    EXPECT_EQ(capacities, (std::vector<std::size_t>{0xFFFF}));
    // A list that fills the offer to the last character is read whole.
    const std::string exact = std::string(0xFFFF - 7, 'X') + '\0' + DeviceList({"COM6"});
    ASSERT_EQ(exact.size(), 0xFFFFU);
    EXPECT_EQ(ports(exact), (Ports{6}));
    // One character more does not fit: no ports, and no second query in a
    // bigger buffer, even with COM names at the front of the list.
    EXPECT_EQ(ports(DeviceList({"COM2", "COM5"}) + std::string(0xFFFF, 'X')), Ports{});
    EXPECT_EQ(capacities, (std::vector<std::size_t>{0xFFFF}));
    EXPECT_EQ(ports(std::nullopt), Ports{});
    EXPECT_EQ(capacities.size(), 1U);
}

}  // namespace
}  // namespace bramis
