// "Find the device": tries the enter-programming request on each port in turn
// and names the first whose device answers. Whatever answers is sent back to
// its working mode at once, so no device is ever left in programming mode.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "link/port_backend.h"
#include "link/port_discovery.h"

namespace bramis {

// Enter-programming requests tried on each port (each is up to two attempts).
inline constexpr int kFindEnterTries = 3;

struct FindResult {
    std::optional<FoundPort> found;  // the port whose device answered
    bool cancelled = false;
    std::optional<PortOpenError> openError;  // why the last port that did not open did not
};

// Tries `ports` in their order: opens each (through `openerFor`, by default
// the port's own device path), asks kFindEnterTries times for programming
// mode and then always asks the device to return to its working mode, also
// when no acknowledgement came (a device may have heard a request whose
// answer was lost). A port that does not open is skipped. `progress` is told
// the index of each port before it is tried; `cancel` is looked at between
// requests. Stops at the first device that answers. Blocks its caller for up
// to about a quarter of a second a port; any thread but the GUI's.
FindResult FindDevice(const std::vector<FoundPort>& ports, const std::atomic<bool>& cancel,
                      const std::function<void(std::size_t index)>& progress = {},
                      const std::function<PortOpener(const FoundPort&)>& openerFor = {});

}  // namespace bramis
