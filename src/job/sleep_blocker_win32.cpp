// SetThreadExecutionState marks the calling thread; its continuous state lasts
// until that thread changes it again. Jobs may overlap (several devices at
// once), so the first blocker sets it and the last one clears it, always from
// one thread of its own that lives as long as the program.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "sleep_blocker.h"

namespace bramis {
namespace {

class AwakeKeeper {
public:
    void Hold() { Change(+1); }
    void Release() { Change(-1); }

private:
    void Change(int delta) {
        std::unique_lock lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        holders_ += delta;
        changed_.notify_all();
    }
    // Follows the count of holders: awake while there is one.
    void Run() {
        std::unique_lock lock(mutex_);
        bool awake = false;
        for (;;) {
            changed_.wait(lock, [&] { return (holders_ > 0) != awake; });
            awake = holders_ > 0;
            SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    int holders_ = 0;
    std::thread thread_;
};

AwakeKeeper& Keeper() {
    // Never destroyed: its thread waits for the program's end.
    static AwakeKeeper* keeper = new AwakeKeeper;
    return *keeper;
}

class ExecutionStateHold : public SleepBlocker {
public:
    ExecutionStateHold() { Keeper().Hold(); }
    ~ExecutionStateHold() override { Keeper().Release(); }
};

}  // namespace

std::unique_ptr<SleepBlocker> BlockSystemSleep(const std::string&, const std::string&) { return std::make_unique<ExecutionStateHold>(); }

}  // namespace bramis
