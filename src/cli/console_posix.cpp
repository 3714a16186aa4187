// The console and the process around bramis-flash on Linux and other POSIX
// systems: SIGINT, SIGTERM, SIGHUP and SIGQUIT as cancel requests, SIGPIPE
// ignored, and a hint when the serial device belongs to a group.
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iterator>

#include "cli/console.h"

namespace bramis::cli {

namespace {

std::atomic<int> g_cancelSignals{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

extern "C" void CountCancelSignal(int) { g_cancelSignals.fetch_add(1); }

constexpr int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t CancelSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : kCancelSignals) {
        sigaddset(&set, number);
    }
    return set;
}

// The handling each of kCancelSignals had before, in the same order.
struct sigaction g_previous[std::size(kCancelSignals)];

}  // namespace

void UseUtf8Console() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void KeepRunningWhenOutputCloses() { signal(SIGPIPE, SIG_IGN); }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

CancelSignals::CancelSignals() {
    g_cancelSignals = 0;
    struct sigaction action {};
    action.sa_handler = CountCancelSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kCancelSignals); ++i) {
        sigaction(kCancelSignals[i], &action, &g_previous[i]);
    }
}

CancelSignals::~CancelSignals() {
    for (std::size_t i = 0; i < std::size(kCancelSignals); ++i) {
        sigaction(kCancelSignals[i], &g_previous[i], nullptr);
    }
}

int CancelSignals::Count() const { return g_cancelSignals.load(); }

std::thread StartThreadWithoutCancelSignals(std::function<void()> body) {
    // The new thread inherits the mask that is in force while it is created.
    const sigset_t blocked = CancelSignalSet();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    std::thread thread(std::move(body));
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return thread;
}

}  // namespace bramis::cli
