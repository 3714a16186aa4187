// Console control events on Windows as cancel requests. No documented call
// raises a close event, so the events go to the process's handlers through
// the system's own dispatcher, CtrlRoutine (which the system starts on a new
// thread for each event): only under Wine, where it leaves ending the
// process to the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/console.h"

namespace bramis::cli {
namespace {

using std::chrono::milliseconds;

TEST(CancelSignals, ConsoleEventsAreCountedAndACloseWaitsForTheEndOfTheJob) {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
        GTEST_SKIP() << "the event dispatcher is called directly only under Wine";
    }
    const auto dispatcher = reinterpret_cast<DWORD(WINAPI*)(void*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
    ASSERT_NE(dispatcher, nullptr);
    const auto send = [dispatcher](DWORD event) { dispatcher(reinterpret_cast<void*>(DWORD_PTR{event})); };

    std::atomic<bool> closeHandled{false};
    std::thread closing;
    {
        const CancelSignals signals;  // a job runs
        send(CTRL_C_EVENT);
        send(CTRL_BREAK_EVENT);
        EXPECT_EQ(signals.Count(), 2);
        closing = std::thread([&] {
            send(CTRL_CLOSE_EVENT);
            closeHandled = true;  // from here on the system would end the process
        });
        for (int waited = 0; signals.Count() < 3 && waited < 10000; waited += 10) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        EXPECT_EQ(signals.Count(), 3);
        std::this_thread::sleep_for(milliseconds(300));  // the job takes a while to end
        EXPECT_FALSE(closeHandled);
    }
    closing.join();
    EXPECT_TRUE(closeHandled);

    // A job that does not end holds a close only a few seconds.
    const CancelSignals signals;
    const auto start = std::chrono::steady_clock::now();
    send(CTRL_CLOSE_EVENT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace bramis::cli
