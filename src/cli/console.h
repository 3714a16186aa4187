// What bramis-flash needs of the console and the process around it: whether
// standard output is a terminal, Ctrl+C and termination requests as cancel
// requests, and a hint when a serial device may not be opened. Implemented
// once per system: console_posix.cpp and console_win32.cpp.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace bramis::cli {

// Makes the console show UTF-8 text and take VT cursor moves (the Windows
// console; elsewhere nothing to do). Main thread, at start.
void UseUtf8Console();

// The program's arguments after its name, in UTF-8 (on Windows taken from the
// wide-character command line rather than the ANSI `argv`). Main thread.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Keeps the process alive when its output goes to a pipe whose reader has
// gone (`bramis-flash write f.dat | head`): writes then fail instead of ending
// the process in the middle of a job. Main thread, at start.
void KeepRunningWhenOutputCloses();

// True when standard output is a terminal (a live progress line makes
// sense). Any thread.
bool StandardOutputIsTerminal();

// While an object lives, the requests to stop the process no longer end it;
// they are only counted, as cancel requests. On POSIX systems these are
// SIGINT (Ctrl+C), SIGTERM, SIGHUP (the terminal or the remote session
// closed) and SIGQUIT. On Windows they are Ctrl+C, Ctrl+Break and
// closing the console (or logging off, or shutting down); as the system ends
// the process once such a close has been handled, its handling waits, a few
// seconds at most, until the object goes, so that the job can return the
// device to its working mode first. The previous handling comes back when the
// object goes, which should be once the job has ended. One object at a time;
// main thread.
class CancelSignals {
public:
    CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;
    ~CancelSignals();

    // How many of those signals arrived since the object was made. Any thread.
    int Count() const;
};

// Starts `body` on a new thread that does not take the cancel signals, so
// that they reach the thread that watches for them. Main thread.
std::thread StartThreadWithoutCancelSignals(std::function<void()> body);

}  // namespace bramis::cli
