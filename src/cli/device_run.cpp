#include "cli/device_run.h"

#include <QDateTime>

#include "cli/flash_texts.h"
#include "cli/trace_printer.h"
#include "image/image_file.h"
#include "image/utf8_path.h"
#include "link/serial_channel.h"
#include "report/words.h"

namespace bramis::cli {
namespace {

// How often a device's thread looks at its job while it runs.
constexpr std::chrono::milliseconds kJobPoll(100);
// Enter requests go unanswered this long before the lines say what to check.
constexpr double kNoAnswerSeconds = 10.0;

}  // namespace

DeviceRun::DeviceRun(RunShared& shared, PortChoice port, std::unique_ptr<TerminalView> view, std::string readTarget)
    : shared_(shared), port_(std::move(port)), view_(std::move(view)), readTarget_(std::move(readTarget)) {
    view_->SetFailureHandler([this](const TransferFailure& failure) { ExplainFailure(failure); });
}

void DeviceRun::Run() {
    const auto started = std::chrono::steady_clock::now();
    if (port_.outOfRange) {
        Error(texts::PortOutOfRange(*port_.outOfRange));
    }
    exitCode_ = RunCommand();
    seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    WarnOfCable();
}

void DeviceRun::Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (job_ != nullptr) {
        job_->Cancel();
    }
}

std::string DeviceRun::Summary() const {
    return texts::SummaryLine(port_.Label(), exitCode_ == kExitOk ? texts::SummarySucceeded() : result_, seconds_);
}

int DeviceRun::RunCommand() {
    const CliOptions& options = shared_.options;
    const double wait = options.waitSeconds.value_or(0);
    JobReport report;
    switch (options.command) {
        case Command::Version:
            return Transfer(TransferMode::Identify, nullptr, options.waitSeconds.value_or(kVersionWaitSeconds), report);
        case Command::Write:
            if (const int code = Transfer(TransferMode::Write, shared_.fileImage.Buffer().data(), wait, report);
                code != kExitOk) {
                return code;
            }
            if (!options.verify) {
                view_->Note(texts::WriteSucceeded());
                return kExitOk;
            }
            if (const int code = Transfer(TransferMode::Verify, deviceImage_.Buffer().data(), wait, report);
                code != kExitOk) {
                return code;
            }
            return Compare(report, texts::WriteVerified(), texts::WriteNotVerified());
        case Command::Read:
            if (const int code = Transfer(TransferMode::Read, deviceImage_.Buffer().data(), wait, report);
                code != kExitOk) {
                return code;
            }
            return Save();
        case Command::Verify:
            if (const int code = Transfer(TransferMode::Compare, deviceImage_.Buffer().data(), wait, report);
                code != kExitOk) {
                return code;
            }
            return Compare(report, texts::DeviceMatchesFile(), texts::DeviceDiffersFromFile());
        default:
            return kExitBadUsage;
    }
}

int DeviceRun::Transfer(TransferMode mode, std::uint8_t* buffer, double limitSeconds, JobReport& report) {
    SerialChannel channel;
    if (port_.byPath) {
        channel.SetPortOpener(DevicePathOpener(port_.device));
    } else {
        channel.SetPortOverrides(shared_.portOverrides);
        channel.SetPortOpener(shared_.portOpener);
    }
    if (shared_.options.trace) {
        channel.SetTraceHandler(TracePrinter([this](const std::string& line) { view_->Note(line, true); }));
    }

    const QDateTime started = QDateTime::currentDateTime();
    TransferJob job(channel, *view_, port_.number, buffer, mode, WaitLimitMs(limitSeconds));
    job.SetSleepBlocker(JobSleepBlocker());
    if (!StartAndWait(job)) {
        result_ = texts::WorkerNotStarted();
        Error(result_);
        return kExitFailed;
    }
    const TransferOutcome& outcome = job.Outcome();
    stopsSeen_ = shared_.stopRequests.Count();
    const bool lost = outcome.failure && outcome.failure->kind == FailureKind::PortLost;
    // A port that has gone has its own message.
    if (outcome.programmingEntered && !outcome.runProgramConfirmed && !lost) {
        Error(texts::RunProgramNotConfirmed());
    }
    const int code = outcome.succeeded() ? kExitOk : Ended(outcome, mode, limitSeconds);
    EndedJob ended;
    ended.mode = mode;
    ended.program = QStringLiteral("bramis-flash");
    ended.portNumber = port_.number;
    ended.byPath = port_.byPath;
    ended.device = QString::fromStdString(port_.device);
    // Escaped: a line break in a name must not break the journal's lines.
    ended.file = QString::fromStdString(PrintablePath(mode == TransferMode::Read ? readTarget_ : shared_.options.file));
    ended.buffer = buffer;
    ended.fileImage = shared_.fileImage.Buffer().data();
    ended.started = started;
    ended.durationMs = started.msecsTo(QDateTime::currentDateTime());
    report = ReportJob(ended, outcome);
    Journal(report);
    return code;
}

bool DeviceRun::StartAndWait(TransferJob& job) {
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            job.Cancel();
        }
        if (!job.Start(StdThreadLauncher(StartThreadWithoutCancelSignals))) {
            return false;
        }
        job_ = &job;
    }
    bool told = false;
    while (!job.Wait(kJobPoll)) {
        if (!told && view_->stage() == TransferStage::EnteringProgramming && view_->SecondsInStage() >= kNoAnswerSeconds) {
            told = true;
            Error(texts::NoAnswerYet(port_.Name()));
        }
    }
    std::lock_guard lock(mutex_);
    job_ = nullptr;
    return true;
}

void DeviceRun::ExplainFailure(const TransferFailure& failure) {
    result_ = words::FailureMessage(failure);
    Error(result_);
    switch (failure.kind) {
        case FailureKind::PortNotOpened: {
            const std::string reason = words::OpenFailureReason(failure.openError, port_.number);
            Detail(port_.byPath || failure.openError.kind == OpenFailure::NoSuchPort
                       ? reason
                       : words::PortNotOpened(port_.number, reason));
            if (const std::string holder = words::PortHolderLine(failure.openError); !holder.empty()) {
                Detail(holder);
            }
            if (const std::string group = AccessGroupToJoin(failure.openError.device); !group.empty()) {
                Detail(words::AccessHint(failure.openError.device, group));
            }
            if (!port_.given) {
                Detail(texts::StoredPortHint(port_.Name()));
            }
            break;
        }
        case FailureKind::PortLost:
        case FailureKind::EntryTimedOut:
        case FailureKind::Cancelled: break;
        case FailureKind::NoReply:
        case FailureKind::DamagedReply:
        case FailureKind::ReplyInterrupted:
        case FailureKind::Refused5A:
        case FailureKind::Refused2A:
        case FailureKind::EraseNotConfirmed:
        case FailureKind::VersionNotRead: {
            const std::string cause = words::FailureCause(failure.kind);
            Detail(failure.block > 0 ? texts::BlockCause(failure.block, cause) : texts::Cause(cause));
            if (failure.kind == FailureKind::ReplyInterrupted) {
                Detail(words::ReplyPauseHint(SlowAdapterOf(failure.device)));
            }
            break;
        }
    }
    if (failure.programTouched) {
        Detail(texts::ProgramErased());
    }
}

int DeviceRun::Ended(const TransferOutcome& outcome, TransferMode mode, double limitSeconds) {
    const TransferFailure& failure = *outcome.failure;
    switch (failure.kind) {
        case FailureKind::EntryTimedOut:
            result_ = texts::EntryTimedOut(limitSeconds);
            Error(result_);
            return kExitFailed;
        case FailureKind::Cancelled:
            // Only a job that the cancel itself ended counts as cancelled: a
            // step that failed on its own while the cancel waited is a failure.
            result_ = texts::SummaryCancelled();
            Error(texts::JobCancelled());
            if (failure.programTouched) {
                Detail(texts::ProgramErased());
            } else if (mode == TransferMode::Write) {
                Detail(texts::ProgramKept());
            }
            return kExitCancelled;
        default:
            // The worker has shown it, with its lines (ExplainFailure).
            return kExitFailed;
    }
}

int DeviceRun::Save() {
    view_->Note(texts::ReadSucceeded());
    const auto stopRequested = [this] { return shared_.stopRequests.Count() > stopsSeen_; };
    FileOutcome saved = SaveFileAtomically(readTarget_, deviceImage_.Bytes(), stopRequested);
    if (saved.status == ImageFileStatus::Stopped) {
        result_ = texts::SaveCancelled();
        Error(texts::JobSaveCancelled());
        return kExitCancelled;
    }
    if (!saved.done()) {
        result_ = words::ImageFileMessage(saved.status);
        Error(result_);
        for (const std::string& line : texts::FileDetails(saved, readTarget_)) {
            Detail(line);
        }
        // Minutes of reading are not thrown away for a file that would not save.
        SaveCopyElsewhere(readTarget_, deviceImage_.Bytes(), saved);
        Detail(words::UnsavedReadLine(saved));
        return kExitFailed;
    }
    view_->Note(texts::SavedTo(PrintablePath(readTarget_)));
    return kExitOk;
}

int DeviceRun::Compare(const JobReport& report, const std::string& same, const std::string& different) {
    if (!report.differences || report.differences->count == 0) {
        view_->Note(same);
        return kExitOk;
    }
    result_ = texts::SummaryDiffers();
    view_->Note(different + texts::Differences(report.differences->firstBlock + 1, report.differences->count));
    return kExitFailed;
}

void DeviceRun::Journal(const JobReport& report) {
    // A journal that cannot be written only warns.
    if (const QString warning = AppendJournalRecord(shared_.journalPath, report.record); !warning.isEmpty()) {
        Error(texts::Warning(warning.toStdString()));
    }
}

void DeviceRun::WarnOfCable() {
    QString warning;
    if (!port_.device.empty() && shared_.cableRule.ShouldWarn(ReadJournal(shared_.journalPath, warning),
                                                              QString::fromStdString(port_.device))) {
        Error(texts::Warning(words::CableWarning(port_.Label())));
    }
}

void DeviceRun::Error(const std::string& message) { view_->Note(std::string(kApplicationTitle) + ": " + message, true); }

void DeviceRun::Detail(const std::string& line) { view_->Note("  " + line, true); }

}  // namespace bramis::cli
