// How a window carries out a transfer worker's view calls: on the window's
// own thread, while the worker waits for each.
#pragma once

#include <QObject>

#include <functional>

#include "job/transfer_job.h"

namespace bramis {

// Runs `update` on `window`'s thread and returns once it is done; an update
// that arrives once `closing` is set is dropped. Worker thread.
void RunOnWindowThread(QObject* window, const bool& closing, const std::function<void()>& update);

// Waits for `job`'s worker thread to end, serving the calls it queued to
// `window` meanwhile: a worker waiting for one of them would never end.
// The window's thread.
void WaitServingCalls(QObject* window, TransferJob& job);

}  // namespace bramis
