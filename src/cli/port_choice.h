// Which devices a bramis-flash run talks to, how each is named in its lines,
// and the file a read from each saves ({port} in the name).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "image/profile_store.h"

namespace bramis::cli {

// What a file-name pattern of `read` with several devices must hold.
inline constexpr std::string_view kPortPlaceholder = "{port}";

// Which port a device's jobs open, and how to name it in messages.
struct PortChoice {
    int number = kDefaultPortNumber;
    std::string device;    // "" when the number maps to no device here
    bool byPath = false;   // named by --device rather than a COM number
    bool given = false;    // named on the command line rather than in the stored settings
    // A stored number outside 1 to 255, for which COM1 opens; else nullopt.
    std::optional<int> outOfRange;

    // "COM5", or the device path of --device.
    std::string Label() const;
    // "COM5 (/dev/ttyS4)", or "COM5" when it maps to no device.
    std::string Name() const;
    // What tells two devices apart: the device file behind any links, else the number.
    std::string Identity() const;
};

// The "Ports" overrides of `settings` (none without a store). The store's thread.
std::map<int, std::string> StoredPortOverrides(const ProfileStore* settings);

// The devices the options name, in their order; the stored port without any.
std::vector<PortChoice> ChoosePorts(const CliOptions& options, const ProfileStore* settings);

// The file a read from `port` saves: `pattern` with {port} replaced by the
// port's label (the last part of a device path).
std::string ReadTarget(const std::string& pattern, const PortChoice& port);

}  // namespace bramis::cli
