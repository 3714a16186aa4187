// The command line of bramis-devsim. Pure parsing; any thread may call it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/adapter_model.h"
#include "devsim/device.h"
#include "devsim/fault_plan.h"

namespace bramis::devsim {

struct DevsimOptions {
    std::string linkPath;   // a symlink to make to the pseudo-terminal
    std::string imagePath;  // the flash to start with (erased when empty)
    std::string savePath;   // where to save the flash on each return to working mode
    bool events = false;    // one line on stdout per request
    bool help = false;
    int versionMajor = 1;
    int versionMinor = 0;
    DeviceTiming timing;
    AdapterModel adapter;   // the USB-serial adapter the replies go through
    std::vector<FaultRule> faults;
    std::optional<RandomFaults> random;
};

// Parses the arguments after the program name. Returns the options, or
// nothing with `error` saying what is wrong.
std::optional<DevsimOptions> ParseDevsimOptions(std::span<const std::string_view> args, std::string& error);

// The device the options describe (its flash still erased).
DeviceConfig MakeDeviceConfig(const DevsimOptions& options);

// The --help text.
std::string_view DevsimUsage();

}  // namespace bramis::devsim
