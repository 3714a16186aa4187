#include "cli/doctor_command.h"

#include <atomic>
#include <future>

#include "cli/flash_app.h"
#include "cli/flash_texts.h"
#include "report/port_doctor.h"
#include "report/words.h"

namespace bramis::cli {

int RunDoctor(const std::vector<PortChoice>& ports, const PortOpener& opener, const QString& journalPath,
              std::ostream& out) {
    // Each port waits mostly for its device: they are asked side by side.
    const std::atomic<bool> cancel{false};
    std::vector<std::future<std::vector<DoctorEntry>>> checks;
    for (const PortChoice& port : ports) {
        checks.push_back(std::async(std::launch::async, [&, port] {
            return CheckPortHealth({port.number, port.device}, port.byPath ? PortOpener{} : opener, journalPath,
                                   cancel);
        }));
    }
    int problems = 0;
    for (std::size_t index = 0; index < ports.size(); ++index) {
        out << texts::DoctorPort(ports[index].Name()) << '\n';
        const std::vector<DoctorEntry> entries = checks[index].get();
        for (const DoctorEntry& entry : entries) out << "  " << texts::DoctorLine(entry) << '\n';
        out << std::flush;
        problems += ProblemCount(entries);
    }
    out << words::DoctorVerdict(problems) << '\n' << std::flush;
    return problems == 0 ? kExitOk : kExitFailed;
}

}  // namespace bramis::cli
