#include "report/job_report.h"

#include <QDir>

#include <span>

#include "link/device_memory.h"
#include "report/words.h"

namespace bramis {
namespace {

JournalJob JournalJobOf(TransferMode mode) {
    switch (mode) {
        case TransferMode::Write: return JournalJob::Write;
        case TransferMode::Read: return JournalJob::Read;
        case TransferMode::Verify:
        case TransferMode::Compare: return JournalJob::Verify;
        case TransferMode::Identify: return JournalJob::Version;
    }
    return JournalJob::Read;
}

}  // namespace

int EffectivePortNumber(int portNumber) { return portNumber < 1 || portNumber > 255 ? 1 : portNumber; }

JobReport ReportJob(const EndedJob& job, const TransferOutcome& outcome) {
    JobReport report;
    JournalRecord& record = report.record;
    record.started = job.started;
    record.durationMs = job.durationMs;
    record.program = job.program;
    record.user = CurrentUserName();
    record.job = JournalJobOf(job.mode);
    record.portNumber = job.byPath ? 0 : EffectivePortNumber(job.portNumber);
    record.device = job.device;
    record.file = job.file;
    record.slot = job.slot;
    record.serial = job.serial;
    // The image written is known whatever happened; a program read only once whole.
    const bool imageKnown = job.mode == TransferMode::Write || (outcome.succeeded() && job.mode != TransferMode::Identify);
    if (job.buffer != nullptr && imageKnown) record.imageSha256 = Sha256Hex(job.buffer, kImageSize);
    if (outcome.loaderVersion) record.loaderVersion = QString::fromStdString(words::VersionNumber(*outcome.loaderVersion));
    record.retries = outcome.retries;
    if (const auto& failure = outcome.failure) {
        record.result = failure->kind == FailureKind::Cancelled ? JournalResult::Cancelled : JournalResult::Failed;
        record.stage = QString::fromStdString(words::StageText(failure->stage));
        record.block = failure->block;
        if (failure->kind == FailureKind::PortNotOpened) {
            report.accessGroup = AccessGroupToJoin(failure->openError.device);
        }
    } else if (job.fileImage != nullptr && job.buffer != nullptr &&
               (job.mode == TransferMode::Verify || job.mode == TransferMode::Compare)) {
        report.differences = CompareImages(std::span<const std::uint8_t, kImageSize>(job.buffer, kImageSize),
                                           std::span<const std::uint8_t, kImageSize>(job.fileImage, kImageSize));
        // A program that differs from the file is no success to record.
        if (report.differences->count > 0) {
            record.result = JournalResult::Failed;
            record.stage = QString::fromStdString(words::StageText(
                job.mode == TransferMode::Verify ? TransferStage::Verifying : TransferStage::Comparing));
            record.block = report.differences->firstBlock + 1;
        }
    }
    return report;
}

SleepBlockerFactory JobSleepBlocker() {
    return [](TransferMode mode) { return BlockSystemSleep(words::ProgramName(), words::SleepReason(mode)); };
}

RecentRetries RetriesOnPort(const std::vector<JournalRecord>& journal, const QString& device) {
    const QString name = QDir::toNativeSeparators(device);
    RecentRetries recent;
    for (auto record = journal.rbegin(); record != journal.rend() && recent.jobs < kCableJobs; ++record) {
        if (QDir::toNativeSeparators(record->device) != name) continue;
        ++recent.jobs;
        recent.retries += record->retries;
    }
    return recent;
}

bool CableRule::ShouldWarn(const std::vector<JournalRecord>& journal, const QString& device) {
    const RecentRetries recent = RetriesOnPort(journal, device);
    if (recent.jobs < kCableJobs || recent.retries <= kCableRetries) return false;
    std::lock_guard lock(mutex_);
    return warned_.insert(QDir::toNativeSeparators(device)).second;
}

}  // namespace bramis
