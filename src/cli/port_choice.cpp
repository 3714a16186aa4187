#include "cli/port_choice.h"

#include <filesystem>

#include "link/port_discovery.h"
#include "report/job_report.h"

namespace bramis::cli {

std::string PortChoice::Label() const { return byPath ? device : "COM" + std::to_string(number); }

std::string PortChoice::Name() const { return byPath || device.empty() ? Label() : Label() + " (" + device + ")"; }

std::string PortChoice::Identity() const {
    if (device.empty()) {
        return Label();
    }
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(device, error);
    return error ? device : real.string();
}

std::map<int, std::string> StoredPortOverrides(const ProfileStore* settings) {
    return settings != nullptr ? ReadPortOverrides(*settings) : std::map<int, std::string>();
}

std::vector<PortChoice> ChoosePorts(const CliOptions& options, const ProfileStore* settings) {
    const std::map<int, std::string> overrides = StoredPortOverrides(settings);
    std::vector<PortChoice> ports;
    for (const int number : options.portNumbers) {
        ports.push_back({.number = number, .device = DeviceForPort(number, overrides), .given = true, .outOfRange = {}});
    }
    for (const std::string& device : options.devices) {
        ports.push_back({.number = 0, .device = device, .byPath = true, .given = true, .outOfRange = {}});
    }
    if (ports.empty()) {
        const int stored = settings != nullptr
                               ? settings->GetInt(kSectionSettings, kValuePortNumber, kDefaultPortNumber)
                               : kDefaultPortNumber;
        // The channel opens COM1 for such a number: the lines say so.
        const int number = EffectivePortNumber(stored);
        ports.push_back({.number = number,
                         .device = DeviceForPort(number, overrides),
                         .outOfRange = number != stored ? std::optional(stored) : std::nullopt});
    }
    return ports;
}

std::string ReadTarget(const std::string& pattern, const PortChoice& port) {
    std::string target = pattern;
    const std::string label = port.byPath ? std::filesystem::path(port.device).filename().string() : port.Label();
    for (auto at = target.find(kPortPlaceholder); at != std::string::npos; at = target.find(kPortPlaceholder, at)) {
        target.replace(at, kPortPlaceholder.size(), label);
        at += label.size();
    }
    return target;
}

}  // namespace bramis::cli
