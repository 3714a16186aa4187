// Keeps the computer from falling asleep while a job runs: a write takes
// eight minutes, and a PC that sleeps half way leaves the device erased.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace bramis {

// Holds the system awake until destroyed.
class SleepBlocker {
public:
    virtual ~SleepBlocker() = default;
};

// Asks the system to stay awake for program `who`, for `why` (both shown by
// the system's power tools). On Windows through SetThreadExecutionState; on Linux through an
// inhibitor lock of logind on the system bus ("sleep:idle"), else the
// session's screensaver interface. Where neither answers within a second,
// returns a blocker that holds nothing: a job never waits for it. Any thread.
std::unique_ptr<SleepBlocker> BlockSystemSleep(const std::string& who, const std::string& why);

enum class TransferMode : std::int32_t;

// How a job of `mode` blocks sleep: the front end words who and why.
using SleepBlockerFactory = std::function<std::unique_ptr<SleepBlocker>(TransferMode mode)>;

}  // namespace bramis
