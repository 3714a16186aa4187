// The Russian texts of bramis-flash's job lines, built on the words both
// programs share (report/words.h). Any thread.
#pragma once

#include <string>
#include <vector>

#include "image/image_file.h"

#include "job/transfer_context.h"
#include "report/port_doctor.h"

namespace bramis::cli::texts {

// Outcomes.
std::string WriteSucceeded();
std::string WriteVerified();
std::string WriteNotVerified();
std::string ReadSucceeded();
std::string DeviceMatchesFile();
std::string DeviceDiffersFromFile();
// ": первый отличающийся блок 3, всего ...", blocks counted from 1.
std::string Differences(int firstBlock, int count);
std::string SavedTo(const std::string& path);
std::string FileLine(const std::string& path);
// The lines under a file's message: why, then the file unless the cause
// already names it.
std::vector<std::string> FileDetails(const FileOutcome& outcome, const std::string& path);

// What went wrong, for the lines under a failure and the summary.
std::string WorkerNotStarted();
std::string RunProgramNotConfirmed();
std::string EntryTimedOut(double seconds);
std::string JobCancelled();
std::string SaveCancelled();
std::string JobSaveCancelled();
std::string BlockCause(int block, const std::string& cause);
std::string Cause(const std::string& cause);
std::string ProgramErased();
std::string ProgramKept();
std::string StoredPortHint(const std::string& portName);
std::string PortOutOfRange(int stored);
// The device has not answered the enter requests for a while.
std::string NoAnswerYet(const std::string& port);
std::string Warning(const std::string& text);

// The summary of several devices.
std::string SummaryHeading();
std::string SummaryLine(const std::string& port, const std::string& result, double seconds);
std::string SummarySucceeded();
std::string SummaryCancelled();
std::string SummaryDiffers();

// Ctrl+C while the jobs run.
std::string CancelRequested();
std::string CancelAlreadyRequested();

// Refusals before a port is touched.
std::string SameDeviceTwice(const std::string& first, const std::string& second);
std::string ReadNeedsPortPlaceholder();
std::string SameReadTarget(const std::string& path);
std::string MoreHelp();

// The progress line: the whole job's share, the current step's blocks,
// the time since the job began and the time left ("--:--" before a block).
std::string ProgressCounts(int percent, int done, int total);
std::string ProgressTimes(double elapsed, const std::string& left);

// bramis-flash doctor: the heading of a port's findings.
std::string DoctorPort(const std::string& port);
// One finding: a problem with what to do, or what was found.
std::string DoctorLine(const DoctorEntry& entry);

// --trace lines.
std::string TraceHead(double ms, bool sent);
std::string TraceNoReply();

}  // namespace bramis::cli::texts
