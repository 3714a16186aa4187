// The transfer worker: carries out one job (read, write, verify or identify)
// on a thread of its own, driving the device link through one fixed sequence
// and reporting to the context's view.
#pragma once

#include "job/transfer_context.h"

namespace bramis {

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
