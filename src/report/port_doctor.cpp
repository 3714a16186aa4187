#include "report/port_doctor.h"

#include <algorithm>

#include "job/device_finder.h"
#include "journal/journal.h"
#include "link/serial_channel.h"
#include "report/job_report.h"
#include "report/words.h"

namespace bramis {

std::vector<DoctorEntry> CheckPortHealth(const DoctorPort& port, const PortOpener& opener,
                                         const QString& journalPath, const std::atomic<bool>& cancel) {
    if (port.device.empty()) return {words::DoctorNoDevice()};
    std::vector<DoctorEntry> entries = SystemEntries(port);

    const FoundPort asked{port.number, port.device};
    const FindResult result = FindDevice({asked}, cancel, {}, [&](const FoundPort&) {
        return opener ? opener : DevicePathOpener(port.device);
    });
    if (result.cancelled) return entries;
    if (result.found) {
        entries.push_back(words::DoctorAnswered());
    } else if (result.openError) {
        entries.push_back(words::DoctorNotOpened(*result.openError, port.number, BusyRemedy()));
    } else {
        entries.push_back(words::DoctorNoAnswer());
    }

    QString warning;
    const RecentRetries recent = RetriesOnPort(ReadJournal(journalPath, warning), QString::fromStdString(port.device));
    if (recent.jobs > 0) {
        const bool tooMany = recent.retries > kCableRetries;
        entries.push_back(words::DoctorJournal(recent.jobs, recent.retries, tooMany, tooMany && recent.jobs == kCableJobs));
    }
    return entries;
}

int ProblemCount(const std::vector<DoctorEntry>& entries) {
    return static_cast<int>(std::count_if(entries.begin(), entries.end(), [](const DoctorEntry& entry) {
        return entry.problem;
    }));
}

std::vector<DoctorEntry> ComPortNodeEntries(const ComPortNode& node) {
    if (!node.listed) return {words::DoctorNotListed()};
    std::vector<DoctorEntry> entries;
    if (!node.friendlyName.empty()) entries.push_back(words::DoctorDeviceName(node.friendlyName));
    if (!node.location.empty() || !node.locationPaths.empty()) {
        entries.push_back(words::DoctorPlace(node.location, node.locationPaths));
    }
    if (node.problemCode) entries.push_back(words::DoctorDeviceProblem(*node.problemCode));
    return entries;
}

}  // namespace bramis
