// The transfer worker: carries out one job (read, write or identify) on a
// thread of its own, driving the device link through one fixed sequence and
// reporting to the context's view.
#pragma once

#include <string>

#include "job/transfer_context.h"

namespace bramis {

// Stage texts, in the order they can appear.
inline constexpr const char* kStageOpeningPort = "Открытие порта";
inline constexpr const char* kStageEnteringProgramming = "Переход в режим программирования";
inline constexpr const char* kStageReadingVersion = "Определение версии загрузчика";
inline constexpr const char* kStageErasing = "Стирание программы";
inline constexpr const char* kStageWriting = "Запись программы";
inline constexpr const char* kStageReading = "Чтение программы";
inline constexpr const char* kStageVerifying = "Проверка записи";
inline constexpr const char* kStageReturning = "Переход в рабочий режим";

// Error messages and their caption; an empty caption means the application
// title.
inline constexpr const char* kMsgCannotOpenPort = "Не могу открыть порт";
inline constexpr const char* kMsgEraseError = "Ошибка стирания";
inline constexpr const char* kMsgWriteError = "Ошибка записи";
inline constexpr const char* kMsgReadError = "Ошибка чтения";
// A failed version request used to end the job without a word.
inline constexpr const char* kMsgVersionError = "Ошибка чтения версии загрузчика";
inline constexpr const char* kCaptionError = "Ошибка";
// Shown instead of the step's own message when the port has gone from the
// system (a USB adapter or its cable unplugged).
inline constexpr const char* kMsgPortLost = "Порт пропал: кабель или USB-адаптер отключён?";

// "MM.mm": each number in decimal, at least two digits. Any thread.
std::string LoaderVersionNumber(int major, int minor);

// "Версия загрузчика MM.mm". Any thread.
std::string FormatLoaderVersion(int major, int minor);

// A time span for the front ends' time lines: "mm:ss", or "h:mm:ss" from one
// hour on; negative values count as 0. Any thread.
std::string FormatDuration(double seconds);

// The stage text of `stage` ("" for NotStarted). Any thread.
std::string StageText(TransferStage stage);

// Worker thread entry: runs the job described by `context` (nothing at all
// when it was cancelled before), leaves its outcome in context->outcome and,
// as its very last action, posts ID_JOB_SUCCEEDED or ID_JOB_FAILED to the
// context's view. One call per job (TransferJob makes it), on a thread created
// once every field is set.
void TransferThreadProc(TransferContext* context);

// Called by the worker after each block transferred without error. Returns
// true when cancel was requested (the counter and the bar then stay);
// otherwise counts the block, moves the bar to the new count, sets its range
// to 0..368 and returns false. Worker thread only.
bool StepProgress(TransferContext& context);

}  // namespace bramis
