// What the transfer worker shows while a job runs. The worker never touches a
// widget or a terminal itself: the progress window, the command-line front end
// and the tests each implement this interface.
#pragma once

#include <string>

namespace bramis {

// Every call comes from the worker thread. The four display calls and
// ShowError return only once the view has taken the update (the worker goes on
// right after them); PostOutcome is the worker's last call and must not wait for
// the worker thread.
class TransferView {
public:
    virtual ~TransferView() = default;

    // Replaces the stage line.
    virtual void SetStageText(const std::string& text) = 0;

    // Replaces the bootloader version line.
    virtual void SetVersionText(const std::string& text) = 0;

    // Moves the progress bar to `position` (blocks done).
    virtual void SetBarPosition(int position) = 0;

    // Sets the progress bar's range to `minimum`..`maximum`.
    virtual void SetBarRange(int minimum, int maximum) = 0;

    // Reports an error and returns once the user has seen it (a modal box is
    // closed). An empty `caption` stands for the application title.
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;

    // Hands the job's outcome (ID_JOB_SUCCEEDED or ID_JOB_FAILED) to the thread
    // that started the job; queued, returns at once.
    virtual void PostOutcome(int commandId) = 0;
};

}  // namespace bramis
