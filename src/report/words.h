// The Russian words that both front ends, the window and bramis-flash, give
// to the kinds and values the layers below hand up: the same fact is said the
// same way in both. Each front end builds its own lines and captions on them.
// Every function: any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "job/transfer_context.h"
#include "link/port_backend.h"
#include "report/job_report.h"
#include "report/port_doctor.h"

namespace bramis::words {

// The program's name, as the system's power tools show who keeps the PC awake.
std::string ProgramName();
// Why a job of `mode` keeps the PC awake.
std::string SleepReason(TransferMode mode);

// The stage line of `stage` ("" for NotStarted).
std::string StageText(TransferStage stage);

// "MM.mm": each number in decimal, at least two digits.
std::string VersionNumber(LoaderVersion version);
// "Версия загрузчика MM.mm".
std::string VersionLine(LoaderVersion version);

// A time span: "mm:ss", or "h:mm:ss" from one hour on; negative values
// count as 0.
std::string Duration(double seconds);

// The first line of a failure's message: what failed; "" for Cancelled and
// EntryTimedOut, which nothing failed in.
std::string FailureMessage(const TransferFailure& failure);
// Why the failed step failed, as far as the reply tells ("прибор не
// ответил"); "" for the kinds whose message says it all.
std::string FailureCause(FailureKind kind);
// The line under a reply interrupted by a pause: the adapter holds received
// bytes back (its latency timer) and what to do; with the timer's value and
// how to set it when `slow` (SlowAdapterOf the failure's device) names them.
std::string ReplyPauseHint(const std::optional<SlowAdapter>& slow);
// An FTDI adapter's latency timer above its default, and how to set it:
// "задержка переходника FTDI 32 мс (ответы приходят с опозданием)",
// "echo 1 | sudo tee /sys/class/tty/ttyUSB0/device/latency_timer (или ...)".
std::string AdapterLatency(int latencyMs);
std::string AdapterLatencyRemedy(const std::string& attributePath);
// "блок 6 из 368", the block counted from 1.
std::string BlockOf(int block);

// Why port `portNumber` did not open, with the device path it tried:
// "/dev/ttyS4: порт занят другой программой", "COM200: в этой системе нет
// такого порта".
std::string OpenFailureReason(const PortOpenError& error, int portNumber);
// The program that keeps a busy port, "Порт открыт программой «minicom»
// (PID 1234)."; "" when none is known.
std::string PortHolderLine(const PortOpenError& error);
// "COM5 — `reason`", or `reason` alone when it begins with the port's name.
std::string PortNotOpened(int portNumber, const std::string& reason);
// What gives the user access to `device`: joining `group`, then logging in
// again.
std::string AccessHint(const std::string& device, const std::string& group);

// Many retried attempts in the last jobs on `port` ("COM5", or a device path).
std::string CableWarning(const std::string& port);

// The message for an image file's `status` ("" for Ok).
std::string ImageFileMessage(ImageFileStatus status);

}  // namespace bramis::words

namespace bramis::words {

// Why a file could not be used, as the system said it ("нет места на диске");
// `systemError` is shown only when the cause is none of the known ones.
// Any thread.
std::string FileCauseText(FileCause cause, int systemError);

// The line under ImageFileMessage that says why: the folder or the file and
// the system's reason, or the file's size and the size wanted; "" when
// there is nothing to add. Any thread.
std::string ImageFileCauseLine(const FileOutcome& outcome);

// What became of a program read from the device that could not be saved
// where the user wanted: where SaveCopyElsewhere put it, or that it is not
// saved yet, why and what to do. Any thread.
std::string UnsavedReadLine(const FileOutcome& outcome);

}  // namespace bramis::words

// The port doctor's findings (port_doctor.h): what was found and what to do.
// Any thread.
namespace bramis::words {

DoctorEntry DoctorNoDevice();
// The USB adapter: its description (DescribeAdapter), "0403:6001" and its
// driver ("" when unknown).
DoctorEntry DoctorAdapter(const std::string& description, const std::string& usbId, const std::string& driver);
DoctorEntry DoctorStableName(const std::string& path);
DoctorEntry DoctorSocketName(const std::string& path);
DoctorEntry DoctorNodeMissing(const std::string& device);
// `group` "": joining the node's group is no answer.
DoctorEntry DoctorNotPermitted(const std::string& device, const std::string& group);
DoctorEntry DoctorHeld(const std::string& program, long pid);
DoctorEntry DoctorLatency(int latencyMs, const std::string& attributePath);
DoctorEntry DoctorBrltty(const std::string& rulesFile, bool running);
DoctorEntry DoctorModemManager();
DoctorEntry DoctorNotChecked(const std::string& path);
// The port did not open for the device question; `busyRemedy` says what to
// do when another program holds it.
DoctorEntry DoctorNotOpened(const PortOpenError& error, int portNumber, const std::string& busyRemedy);
DoctorEntry DoctorAnswered();
DoctorEntry DoctorNoAnswer();
// The retries of the last `jobs` jobs on the port; `tooMany`: more than the
// cable rule allows; `problem`: and the rule holds (all of its jobs seen).
DoctorEntry DoctorJournal(int jobs, int retries, bool tooMany, bool problem);
// Windows: the port's device as the system names it, where it is plugged in,
// that the system lists no device for it, and a device with problem code
// `code` (CM_PROB_*).
DoctorEntry DoctorDeviceName(const std::string& friendlyName);
DoctorEntry DoctorPlace(const std::string& location, const std::vector<std::string>& locationPaths);
DoctorEntry DoctorNotListed();
DoctorEntry DoctorDeviceProblem(unsigned code);
// A USB place as the system names it ("Port_#0002.Hub_#0001"): "гнездо 2,
// концентратор 1"; other places as they are.
std::string UsbPlace(const std::string& location);
// The last line: nothing stands in the way, or how many problems.
std::string DoctorVerdict(int problems);

}  // namespace bramis::words
