// The commands of bramis-flash: write, read, verify and version over transfer
// jobs, on one device or several at once; ports, find and journal.
// main() only gathers the environment and calls RunFlashCommandLine.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "image/profile_store.h"
#include "link/port_backend.h"

namespace bramis::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // the job failed, or verify found differences
inline constexpr int kExitBadUsage = 2;   // bad command line or bad image file
inline constexpr int kExitCancelled = 3;  // Ctrl+C or another request to stop (CancelSignals)

// Stands in for an empty message caption.
inline constexpr const char* kApplicationTitle = "bramis-flash";

// Seconds `version` waits for programming mode unless --wait says otherwise.
inline constexpr double kVersionWaitSeconds = 5.0;

// The worker's limit for entering programming mode, in milliseconds (0: none)
// for a wait of `seconds` (0: none). A positive wait never comes to 0 ms, which
// would mean no limit; a wait beyond what the clock's nanoseconds can count
// (about 31 years on) means no limit, which it is in practice. Any thread.
std::int64_t WaitLimitMs(double seconds);

struct FlashEnvironment {
    // The programmer window's stored settings: "Settings"/"PortNumber" when
    // neither --port nor --device is given, the "Ports" overrides and
    // "Settings"/"JournalFile".
    const ProfileStore* settings = nullptr;
    // Opens the COM numbers of --port; empty in the program: the system's
    // ports, with the "Ports" overrides.
    PortOpener portOpener;
    // Standard output is a terminal: progress lines redrawn in place (one
    // per device), and the bell when the jobs have ended.
    bool liveProgress = false;
};

// Carries out one parsed command line and returns the exit code (of several
// devices the worst: 1 over 3 over 0). Progress goes to `out`, messages to
// `err`, each line of several devices after its port's name. Ctrl+C and the
// other requests to stop that CancelSignals counts cancel every running job.
// Every transfer job is appended to the journal of jobs. Main thread.
int RunFlash(const CliOptions& options, const FlashEnvironment& environment, std::ostream& out,
             std::ostream& err);

// Parses `args` (without the program name) and runs them: --help prints the
// usage, a bad command line is reported with a pointer to --help. Returns the
// exit code. Main thread.
int RunFlashCommandLine(const std::vector<std::string>& args, const FlashEnvironment& environment,
                        std::ostream& out, std::ostream& err);

}  // namespace bramis::cli
