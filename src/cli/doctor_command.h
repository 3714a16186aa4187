// bramis-flash doctor: everything around a port that may stand between the
// programmer and the device, each finding with what to do (port_doctor.h).
#pragma once

#include <QString>

#include <ostream>
#include <vector>

#include "cli/port_choice.h"
#include "link/port_backend.h"

namespace bramis::cli {

// Checks each of `ports` (CheckPortHealth), the devices all at once, and
// prints their findings port by port in their order. `opener`: as FlashEnvironment's
// (empty: the system's ports); a port named by its device path opens that
// path. `journalPath`: the journal whose retries are looked at. Returns
// kExitOk when nothing stands in the way, else kExitFailed. Main thread.
int RunDoctor(const std::vector<PortChoice>& ports, const PortOpener& opener, const QString& journalPath,
              std::ostream& out);

}  // namespace bramis::cli
