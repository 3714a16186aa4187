#include "cli/doctor_command.h"

#include <atomic>
#include <future>
#include <map>
#include <string>

#include "cli/flash_app.h"
#include "cli/flash_texts.h"
#include "report/port_doctor.h"
#include "report/words.h"

namespace bramis::cli {

int RunDoctor(const std::vector<PortChoice>& ports, const PortOpener& opener, const QString& journalPath,
              std::ostream& out) {
    // Each port waits mostly for its device: the devices are asked side by
    // side, a device named twice twice in turn (it opens once at a time).
    std::map<std::string, std::vector<std::size_t>> byDevice;
    for (std::size_t index = 0; index < ports.size(); ++index) byDevice[ports[index].Identity()].push_back(index);
    const std::atomic<bool> cancel{false};
    std::vector<std::vector<DoctorEntry>> found(ports.size());
    {
        std::vector<std::future<void>> checks;
        for (const auto& [identity, indices] : byDevice) {
            checks.push_back(std::async(std::launch::async, [&, &indices = indices] {
                for (const std::size_t index : indices) {
                    const PortChoice& port = ports[index];
                    found[index] = CheckPortHealth({port.number, port.device}, port.byPath ? PortOpener{} : opener,
                                                   journalPath, cancel);
                }
            }));
        }
    }  // each future waits for its check
    int problems = 0;
    for (std::size_t index = 0; index < ports.size(); ++index) {
        out << texts::DoctorPort(ports[index].Name()) << '\n';
        for (const DoctorEntry& entry : found[index]) out << "  " << texts::DoctorLine(entry) << '\n';
        problems += ProblemCount(found[index]);
    }
    out << words::DoctorVerdict(problems) << '\n' << std::flush;
    return problems == 0 ? kExitOk : kExitFailed;
}

}  // namespace bramis::cli
