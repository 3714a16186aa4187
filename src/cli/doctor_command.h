// bramis-flash doctor: everything around a port that may stand between the
// programmer and the device, each finding with what to do.
#pragma once

#include <QString>

#include <ostream>
#include <vector>

#include "cli/port_choice.h"
#include "link/port_backend.h"

namespace bramis::cli {

// Checks each of `ports`: on Linux who may open it, other programs holding
// it, the adapter (its identity, stable names and latency timer), brltty and
// ModemManager; everywhere the device answering (asked as find asks, and
// sent straight back) and the retries of its last jobs in the journal at
// `journalPath`. `opener`: as FlashEnvironment's (empty: the system's
// ports). Returns kExitOk when nothing stands in the way, else kExitFailed.
// Main thread.
int RunDoctor(const std::vector<PortChoice>& ports, const PortOpener& opener, const QString& journalPath,
              std::ostream& out);

// The lines of what the system around `device` shows: the adapter, and one
// problem and its remedy per finding. Returns how many problems. Any thread.
int SystemChecks(const std::string& device, std::vector<std::string>& lines);

}  // namespace bramis::cli
