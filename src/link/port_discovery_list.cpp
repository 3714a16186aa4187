// The platform-free half of port discovery: reading the system's device list.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "port_details.h"
#include "port_discovery_list.h"

namespace bramis {
namespace {

// The one query: a 64 KiB buffer of which 0xFFFF characters may be filled.
constexpr std::size_t kListBytes = 65536;
constexpr std::size_t kListChars = 0xFFFF;

// "COM" compared byte by byte with ASCII case folding only: in a multibyte or
// Cyrillic code page no other byte folds to these three letters.
bool StartsWithCom(const char* name) {
    constexpr char kUpper[] = "COM";
    for (int i = 0; i < 3; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != kUpper[i]) {
            return false;
        }
    }
    return true;
}

// atoi as the C runtime of the system does it, without its undefined
// behaviour: white space, a sign, decimal digits up to the first non-digit;
// 0 without digits; saturated at the int range.
int AsciiToInt(const char* text, const char* end) {
    while (text != end && (*text == ' ' || (*text >= '\t' && *text <= '\r'))) {
        ++text;
    }
    bool negative = false;
    if (text != end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        ++text;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
    for (; text != end && *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        return static_cast<int>(-value);
    }
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

}  // namespace

std::vector<int> ParseComDeviceList(const char* buffer, std::size_t size) {
    std::vector<int> ports;
    std::size_t at = 0;
    while (at < size && buffer[at] != '\0') {
        std::size_t end = at;
        while (end < size && buffer[end] != '\0') {
            ++end;
        }
        if (end - at > 3 && StartsWithCom(buffer + at)) {
            ports.push_back(AsciiToInt(buffer + at + 3, buffer + end));
        }
        at = end + 1;
    }
    return ports;
}

std::vector<int> ComPortsFromDeviceList(const DeviceListQuery& query) {
    std::vector<char> list(kListBytes);
    const std::size_t stored = std::min(query(list.data(), kListChars), kListChars);
    return ParseComDeviceList(list.data(), stored);
}

std::vector<FoundPort> EnumerateComPortDevices(const std::map<int, std::string>& overrides) {
    std::vector<FoundPort> found;
    for (const int number : EnumerateComPorts(overrides)) {
        found.push_back({.number = number, .device = DeviceForPort(number, overrides)});
    }
    AddPortDetails(found);
    return found;
}

std::vector<int> PortNumbers(const std::vector<FoundPort>& found) {
    std::vector<int> numbers;
    numbers.reserve(found.size());
    for (const FoundPort& port : found) {
        numbers.push_back(port.number);
    }
    return numbers;
}

}  // namespace bramis
