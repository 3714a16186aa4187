// The console and the process around bramis-flash on Windows: console control
// events as cancel requests, and UTF-8 text and arguments.
#include <io.h>
#include <stdio.h>
#include <windows.h>
#include <shellapi.h>

#include <atomic>

#include "cli/console.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING  // older mingw-w64 headers
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace bramis::cli {

namespace {

std::atomic<int> g_cancelRequests{0};

// Signalled whenever no job runs: a CancelSignals object resets it while it
// lives. Made once and never closed, so that a handler still running can
// always wait on it.
const HANDLE g_noJob = CreateEventW(nullptr, TRUE, TRUE, nullptr);

// How long closing the console, logging off or shutting down waits for the
// job to end: about what the system grants a console program before it ends
// the process anyway.
constexpr DWORD kCloseWaitMs = 5000;

// Runs on a thread the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event) {
    g_cancelRequests.fetch_add(1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends as soon as this returns: let the job send the
        // device back to its working mode first.
        WaitForSingleObject(g_noJob, kCloseWaitMs);
    }
    return TRUE;
}

}  // namespace

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
    // The progress rows of several devices are redrawn with VT cursor moves.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

std::vector<std::string> CommandLineArguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}

// A closed pipe only makes writes fail here; no signal ends the process.
void KeepRunningWhenOutputCloses() {}

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

CancelSignals::CancelSignals() {
    g_cancelRequests = 0;
    ResetEvent(g_noJob);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CancelSignals::~CancelSignals() {
    // Release a handler that waits for the job before taking it away: the
    // system may hold the handler list while a handler runs.
    SetEvent(g_noJob);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

int CancelSignals::Count() const { return g_cancelRequests.load(); }

std::thread StartThreadWithoutCancelSignals(std::function<void()> body) {
    // Console control events come on a thread of their own anyway.
    return std::thread(std::move(body));
}

}  // namespace bramis::cli
