// The commands of bramis-flash that run no transfer job: ports, find and
// journal.
#pragma once

#include <QString>

#include <map>
#include <ostream>
#include <string>

#include "link/port_backend.h"

namespace bramis::cli {

// `ports`: the present COM ports with their devices and adapters. Returns
// the exit code. Main thread.
int ListPorts(const std::map<int, std::string>& overrides, std::ostream& out);

// `find`: the enter-programming request on each present port until a device
// answers (FindDevice), with a line per port tried; Ctrl+C cancels. `opener`
// opens the COM numbers (empty: each port's own device). Exit code 0 when
// found, 1 when not, 3 when cancelled. Main thread.
int FindPort(const std::map<int, std::string>& overrides, const PortOpener& opener, std::ostream& out,
             std::ostream& err);

// `journal N`: the last `count` records of the journal at `path`, one line
// each. Returns the exit code. Main thread.
int PrintJournal(const QString& path, int count, std::ostream& out, std::ostream& err);

}  // namespace bramis::cli
