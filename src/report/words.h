// The Russian words that both front ends, the window and bramis-flash, give
// to the kinds and values the layers below hand up: the same fact is said the
// same way in both. Each front end builds its own lines and captions on them.
// Every function: any thread.
#pragma once

#include <optional>
#include <string>

#include "image/image_file.h"
#include "job/transfer_context.h"
#include "link/port_backend.h"
#include "report/job_report.h"

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
