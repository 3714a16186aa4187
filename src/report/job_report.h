// What follows an ended job, decided once for the window, the station and
// bramis-flash: its journal record, the compare verdict, the access hint for
// a port that did not open, the cable rule and how the job keeps the PC awake.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "image/image_compare.h"
#include "job/sleep_blocker.h"
#include "job/transfer_context.h"
#include "journal/journal.h"

namespace bramis {

// One ended job as its front end ran it.
struct EndedJob {
    TransferMode mode = TransferMode::Read;
    QString program;        // "bramis-programmer" or "bramis-flash"
    int portNumber = 0;     // the COM number asked for; ignored when byPath
    bool byPath = false;    // the port was named by its device path
    QString device;         // the device path opened ("" when unknown)
    QString file;           // the image file written, read or compared
    // The job's buffer: the image written, or the program read.
    const std::uint8_t* buffer = nullptr;
    // Verify and Compare: the file's image the program read is compared with.
    const std::uint8_t* fileImage = nullptr;
    QDateTime started;
    qint64 durationMs = 0;
    int slot = 0;    // the station's slot; 0 outside the station
    QString serial;  // the unit's serial number; "" when none
};

struct JobReport {
    JournalRecord record;
    // A Verify or Compare that read the whole program: how it differs from
    // the file (count 0 when it agrees).
    std::optional<BlockDifferences> differences;
    // A port that did not open and whose device this user may not open: the
    // group that gives access; "" otherwise.
    std::string accessGroup;
};

// The report of `job`, which ended with `outcome`. Any thread.
JobReport ReportJob(const EndedJob& job, const TransferOutcome& outcome);

// The COM number a port number stands for: numbers outside 1 to 255 open
// COM1, as the channel does.
int EffectivePortNumber(int portNumber);

// The group whose members may open `device` when this user may not and the
// group can help (never root's); "" otherwise, and always on Windows. Any thread.
std::string AccessGroupToJoin(const std::string& device);

// An FTDI adapter whose latency timer holds received bytes longer than its
// default: the timer's value and the system's file that sets it.
struct SlowAdapter {
    int latencyMs = 0;
    std::string attributePath;
};
// The adapter behind `device` when its latency timer is above the default;
// nothing otherwise, and always on Windows. Any thread.
std::optional<SlowAdapter> SlowAdapterOf(const std::string& device);

// Keeps the PC awake for a job, with the system told who and why.
SleepBlockerFactory JobSleepBlocker();

// The cable rule: more than this many retries in this many jobs on a port.
inline constexpr int kCableJobs = 5;
inline constexpr int kCableRetries = 10;

// The retries of the last (at most kCableJobs) jobs on `device` in
// `journal`, and how many jobs that was. Any thread.
struct RecentRetries {
    int jobs = 0;
    int retries = 0;
};
RecentRetries RetriesOnPort(const std::vector<JournalRecord>& journal, const QString& device);

// The cable rule: the last five jobs on a port, all five in the journal,
// needed more than ten retried attempts together. Said once per program run
// and port. Any thread.
class CableRule {
public:
    // True when the rule holds for `device` in `journal` and has not been
    // said for it yet in this run.
    bool ShouldWarn(const std::vector<JournalRecord>& journal, const QString& device);

private:
    std::mutex mutex_;
    std::set<QString> warned_;
};

}  // namespace bramis
