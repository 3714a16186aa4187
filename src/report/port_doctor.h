// The port doctor, for the settings window and `bramis-flash doctor`:
// everything around one port that may stand between the programmer and the
// device, each finding with what to do. The system's own checks are one file
// per platform (port_doctor_linux.cpp, port_doctor_win32.cpp); the device's
// answer and the journal are checked alike everywhere.
#pragma once

#include <QString>

#include <atomic>
#include <string>
#include <vector>

#include "link/port_backend.h"
#include "link/port_details.h"

namespace bramis {

// One finding, worded (words.h).
struct DoctorEntry {
    bool problem = false;  // it stands in the way
    std::string found;     // what was found
    std::string remedy;    // what to do; "" when nothing
};

// The port to check.
struct DoctorPort {
    int number = 0;       // its COM number, 1..255; 0 for a port named by its device path
    std::string device;   // what it opens, as the system names it; "" when the number maps to no device here
};

// Checks `port`, in this order: what the system shows around it (on Linux
// who may open it, other programs holding it, the adapter, brltty and
// ModemManager; on Windows the device's state, name and place), whether it
// opens, whether the device answers (asked as FindDevice asks, and sent
// straight back to its working mode) and the retries of its last jobs in the
// journal at `journalPath`. `opener` opens the port for the device question
// (empty: the device path itself). `cancel` stops the device question
// between requests; the entries then end where it stopped. Blocks for up to
// about a second: any thread but the GUI's.
std::vector<DoctorEntry> CheckPortHealth(const DoctorPort& port, const PortOpener& opener,
                                         const QString& journalPath, const std::atomic<bool>& cancel);

// How many of `entries` stand in the way. Any thread.
int ProblemCount(const std::vector<DoctorEntry>& entries);

// The platform's own part (port_doctor_linux.cpp, port_doctor_win32.cpp):
// what the system shows around `port`, whose device is not "". Any thread.
std::vector<DoctorEntry> SystemEntries(const DoctorPort& port);
// What to do about a port another program holds, as far as the system can
// name that program.
std::string BusyRemedy();

// The findings of the device node `node` of a Windows COM port. Any platform
// (the mapping is tested everywhere). Any thread.
std::vector<DoctorEntry> ComPortNodeEntries(const ComPortNode& node);

}  // namespace bramis
