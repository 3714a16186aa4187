// Keeps the computer from falling asleep while a job runs: a write takes
// eight minutes, and a PC that sleeps half way leaves the device erased.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace bramis {

// Holds the system awake until destroyed.
class SleepBlocker {
public:
    virtual ~SleepBlocker() = default;
};

// Asks the system to stay awake for `reason` (shown by the system's power
// tools). On Windows through SetThreadExecutionState; on Linux through an
// inhibitor lock of logind on the system bus ("sleep:idle"), else the
// session's screensaver interface. Where neither answers within a second,
// returns a blocker that holds nothing: a job never waits for it. Any thread.
std::unique_ptr<SleepBlocker> BlockSystemSleep(const std::string& reason);

// How a job blocks sleep (BlockSystemSleep unless tests replace it).
using SleepBlockerFactory = std::function<std::unique_ptr<SleepBlocker>(const std::string& reason)>;

}  // namespace bramis
