#include "cli/doctor_command.h"

#include <atomic>

#include "cli/flash_app.h"
#include "cli/flash_texts.h"
#include "job/device_finder.h"
#include "journal/journal.h"
#include "link/serial_channel.h"
#include "report/job_report.h"

namespace bramis::cli {
namespace {

// The retries of the last jobs on `device`, and how many jobs that was.
std::pair<int, int> RecentRetries(const QString& journalPath, const std::string& device) {
    QString warning;
    const std::vector<JournalRecord> journal = ReadJournal(journalPath, warning);
    const QString name = QString::fromStdString(device);
    int jobs = 0;
    int retries = 0;
    for (auto record = journal.rbegin(); record != journal.rend() && jobs < kCableJobs; ++record) {
        if (record->device != name) continue;
        ++jobs;
        retries += record->retries;
    }
    return {jobs, retries};
}

}  // namespace

int RunDoctor(const std::vector<PortChoice>& ports, const PortOpener& opener, const QString& journalPath,
              std::ostream& out) {
    int problems = 0;
    for (const PortChoice& port : ports) {
        out << texts::DoctorPort(port.Name()) << '\n';
        if (port.device.empty()) {
            out << "  " << texts::DoctorNoDevice() << '\n';
            ++problems;
            continue;
        }
        std::vector<std::string> lines;
        problems += SystemChecks(port.device, lines);
        for (const std::string& line : lines) out << "  " << line << '\n';
        out << std::flush;

        const std::atomic<bool> cancel{false};
        const FoundPort found{port.number, port.device, {}, {}};
        const auto openerFor = [&](const FoundPort&) -> PortOpener {
            return opener && !port.byPath ? opener : DevicePathOpener(port.device);
        };
        const bool answered = FindDevice({found}, cancel, {}, openerFor).found.has_value();
        out << "  " << (answered ? texts::DoctorAnswered() : texts::DoctorNoAnswer()) << '\n';
        problems += answered ? 0 : 1;

        const auto [jobs, retries] = RecentRetries(journalPath, port.device);
        if (jobs > 0) out << "  " << texts::DoctorJournal(jobs, retries, retries > kCableRetries) << '\n';
        problems += jobs == kCableJobs && retries > kCableRetries ? 1 : 0;
    }
    out << (problems == 0 ? texts::DoctorAllClear() : texts::DoctorProblems(problems)) << '\n' << std::flush;
    return problems == 0 ? kExitOk : kExitFailed;
}

}  // namespace bramis::cli
