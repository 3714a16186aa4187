// One device's part of a bramis-flash run, on a thread of its own: its jobs
// (a write and its verify, a read and its save, ...), its lines, its journal
// records.
#pragma once

#include <QString>

#include <memory>
#include <mutex>
#include <string>

#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/flash_app.h"
#include "cli/port_choice.h"
#include "cli/terminal_view.h"
#include "image/firmware_image.h"
#include "job/transfer_job.h"
#include "link/port_backend.h"
#include "report/job_report.h"

namespace bramis::cli {

// What the run shares with every device's thread.
struct RunShared {
    const CliOptions& options;
    const PortOpener& portOpener;  // FlashEnvironment::portOpener
    FirmwareImage& fileImage;      // write and verify: only read while the jobs run
    // Read on the main thread, as the settings store wants.
    std::map<int, std::string> portOverrides;
    QString journalPath;
    // Counts Ctrl+C and the other requests to stop as they arrive.
    const CancelSignals& stopRequests;
    CableRule cableRule;
};

class DeviceRun {
public:
    DeviceRun(RunShared& shared, PortChoice port, std::unique_ptr<TerminalView> view, std::string readTarget);

    // Carries out the command on this device. The device's thread.
    void Run();

    // Cancels the running job and any after it. Any thread.
    void Cancel();

    TerminalView& view() { return *view_; }
    int exitCode() const { return exitCode_; }
    // "COM5: успешно (08:03)". Once Run has returned.
    std::string Summary() const;

private:
    int RunCommand();
    // One job on this device, with its lines and its journal record;
    // returns its exit code and leaves its report in `report`.
    int Transfer(TransferMode mode, std::uint8_t* buffer, double limitSeconds, JobReport& report);
    // Starts `job` unless the run is cancelled already and waits for its
    // end, saying once when the device does not answer for long.
    bool StartAndWait(TransferJob& job);
    // The lines under a failure the worker shows.
    void ExplainFailure(const TransferFailure& failure);
    // What a job that did not succeed leaves to say; returns the exit code.
    int Ended(const TransferOutcome& outcome, TransferMode mode, double limitSeconds);
    int Save();
    int Compare(const JobReport& report, const std::string& same, const std::string& different);
    void Journal(const JobReport& report);
    void WarnOfCable();

    // "bramis-flash: message" on standard error.
    void Error(const std::string& message);
    // An indented line under the message before it.
    void Detail(const std::string& line);

    RunShared& shared_;
    const PortChoice port_;
    const std::unique_ptr<TerminalView> view_;
    const std::string readTarget_;
    FirmwareImage deviceImage_;
    std::mutex mutex_;
    TransferJob* job_ = nullptr;  // the running job, under mutex_
    bool cancelled_ = false;      // under mutex_
    int stopsSeen_ = 0;           // requests to stop counted when the last job ended
    int exitCode_ = kExitFailed;
    std::string result_;  // the failure, for the summary
    double seconds_ = 0;
};

}  // namespace bramis::cli
