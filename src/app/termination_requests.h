// Requests from outside to end the programmer while it runs: on Linux and
// other POSIX systems the signals of a logout or a closed terminal (SIGTERM,
// SIGHUP, SIGINT); on Windows the end of the session (WM_QUERYENDSESSION,
// WM_ENDSESSION). Either would otherwise end the process in the middle of a
// job, leaving the device in programming mode. Implemented once per system:
// termination_requests_posix.cpp and termination_requests_win32.cpp.
#pragma once

#include <functional>
#include <memory>

namespace bramis {

class TerminationRequests {
public:
    // While the object lives, every request calls `onRequest` on the GUI
    // thread, from the event loop: it starts an orderly end (cancel the job,
    // end once it is over). Where the system ends the process right after
    // telling it so (the Windows session ending), `finishNow` is called
    // instead and must return only once the job has ended. Made and destroyed
    // on the GUI thread once the application object exists; one at a time.
    TerminationRequests(std::function<void()> onRequest, std::function<void()> finishNow);
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;
    // Gives the requests their previous handling back.
    ~TerminationRequests();

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace bramis
