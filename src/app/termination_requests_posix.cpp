// Termination signals on POSIX systems: the handler only writes a byte to a
// socket pair (nothing else is safe in a signal handler); a socket notifier
// turns that byte into a call on the GUI thread.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <iterator>

#include "termination_requests.h"

namespace bramis {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The socket the handler writes to; -1 while no watch exists.
volatile sig_atomic_t g_wakeSocket = -1;

extern "C" void NoteTerminationSignal(int) {
    const int savedErrno = errno;
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = write(g_wakeSocket, &wake, 1);
    errno = savedErrno;
}

}  // namespace

struct TerminationRequests::Watch {
    int sockets[2] = {-1, -1};  // [0] read by the notifier, [1] written by the handler
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction previous[std::size(kSignals)] = {};
};

TerminationRequests::TerminationRequests(std::function<void()> onRequest, std::function<void()>)
    : watch_(std::make_unique<Watch>()) {
    Watch& watch = *watch_;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, watch.sockets) != 0) {
        return;  // the signals keep their default: ending the process
    }
    watch.notifier = std::make_unique<QSocketNotifier>(watch.sockets[0], QSocketNotifier::Read);
    QObject::connect(watch.notifier.get(), &QSocketNotifier::activated,
                     [readEnd = watch.sockets[0], onRequest = std::move(onRequest)] {
                         char drained[64];
                         while (read(readEnd, drained, sizeof drained) > 0) {
                         }
                         onRequest();
                     });
    g_wakeSocket = watch.sockets[1];
    struct sigaction action {};
    action.sa_handler = NoteTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &action, &watch.previous[i]);
    }
}

TerminationRequests::~TerminationRequests() {
    Watch& watch = *watch_;
    if (!watch.notifier) {
        return;
    }
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], &watch.previous[i], nullptr);
    }
    g_wakeSocket = -1;
    watch.notifier.reset();
    close(watch.sockets[0]);
    close(watch.sockets[1]);
}

}  // namespace bramis
