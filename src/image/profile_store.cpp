#include "profile_store.h"

#include <cctype>
#include <charconv>
#include <utility>

namespace bramis {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 255;

// "COM", in any case, followed by at least one more character.
bool HasComPrefix(std::string_view name) {
    constexpr std::string_view kCom = "com";
    if (name.size() <= kCom.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kCom.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != kCom[i]) {
            return false;
        }
    }
    return true;
}

// The COM number an override named `name` stands for; nothing when the name
// is none of "COM<n>" (any case, n in plain digits, 1 to 255).
std::optional<int> OverriddenPort(std::string_view name) {
    if (!HasComPrefix(name)) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(3);
    // Plain digits only: "COM05" or "COM+5" would be a second name for COM5.
    if (digits.front() == '0' || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> number = ParseProfileInt(digits);
    if (!number || *number < kLowestPort || *number > kHighestPort) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

std::optional<int> ParseProfileInt(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    // from_chars takes '-' but not '+'; the '+' must not let a '-' follow.
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::map<int, std::string> ReadPortOverrides(const ProfileStore& store) {
    std::map<int, std::string> overrides;
    for (const std::string& name : store.ValueNames(kSectionPorts)) {
        const std::optional<int> number = OverriddenPort(name);
        if (!number) {
            continue;
        }
        std::string device = store.GetString(kSectionPorts, name, "");
        if (!device.empty()) {
            overrides[*number] = std::move(device);
        }
    }
    return overrides;
}

void WritePortOverride(ProfileStore& store, int portNumber, std::string_view device) {
    // Every spelling of the name goes, so that no other one can win when read back.
    for (const std::string& name : store.ValueNames(kSectionPorts)) {
        if (OverriddenPort(name) == portNumber) {
            store.Remove(kSectionPorts, name);
        }
    }
    if (!device.empty()) {
        store.WriteString(kSectionPorts, "COM" + std::to_string(portNumber), device);
    }
}

}  // namespace bramis
