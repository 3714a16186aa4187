// What the transfer worker shows while a job runs. The worker never touches a
// widget or a terminal itself: the progress window, the command-line front end
// and the tests each implement this interface, and each puts the stages and
// failures it is handed into its own words.
#pragma once

#include "job/transfer_context.h"

namespace bramis {

// Every call comes from the worker thread. The display calls and ShowFailure
// return only once the view has taken the update (the worker goes on right
// after them); PostOutcome is the worker's last call and must not wait for
// the worker thread.
class TransferView {
public:
    virtual ~TransferView() = default;

    // The job has entered `stage`.
    virtual void SetStage(TransferStage stage) = 0;

    // The bootloader's version has been read.
    virtual void SetLoaderVersion(LoaderVersion version) = 0;

    // Moves the progress bar to `position` (blocks done).
    virtual void SetBarPosition(int position) = 0;

    // Sets the progress bar's range to `minimum`..`maximum`.
    virtual void SetBarRange(int minimum, int maximum) = 0;

    // Reports a failure the user must hear of at once (every kind but
    // Cancelled and EntryTimedOut, which end a job the user or the caller
    // chose to end) and returns once the user has seen it (a modal box is
    // closed). The job still sends the device back afterwards.
    virtual void ShowFailure(const TransferFailure& failure) = 0;

    // Hands the job's outcome (ID_JOB_SUCCEEDED or ID_JOB_FAILED) to the thread
    // that started the job; queued, returns at once.
    virtual void PostOutcome(int commandId) = 0;
};

}  // namespace bramis
