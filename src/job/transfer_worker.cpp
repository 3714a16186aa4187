#include "job/transfer_worker.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/bootloader.h"
#include "link/device_memory.h"
#include "link/serial_channel.h"

namespace bramis {

TransferContext g_transferContext;

void PrepareTransferContext(TransferContext& context, TransferView* view, std::int32_t portNumber,
                            std::uint8_t* imageBuffer, TransferMode mode) {
    context.blockCounter = 0;
    context.abortRequested = false;
    context.workerStarted = false;
    context.view = view;
    context.portNumber = portNumber;
    context.imageBuffer = imageBuffer;
    context.mode = mode;
    context.enterProgrammingLimitMs = 0;
    context.enterProgrammingTimedOut = false;
    context.result = LINK_OK;
    context.returnUnconfirmed = false;
}

std::string FormatLoaderVersion(int major, int minor) {
    char text[64];
    std::snprintf(text, sizeof text, "Версия загрузчика %02d.%02d", major, minor);
    return text;
}

bool StepProgress(TransferContext& context) {
    if (context.abortRequested) {
        return true;
    }
    ++context.blockCounter;
    context.view->SetBarPosition(context.blockCounter);
    context.view->SetBarRange(0, static_cast<int>(kBlockCount));
    return false;
}

namespace {

// The starting thread sets workerStarted right after creating the thread, so
// the wait is short; yielding keeps it from starving that thread on a busy
// machine, and the sleeps bound the cost should a caller be slow.
void WaitForStart(const TransferContext& context) {
    constexpr int kYieldsBeforeSleeping = 1000;
    for (int polls = 0; !context.workerStarted && !context.abortRequested; ++polls) {
        if (polls < kYieldsBeforeSleeping) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

// Reports a failed step: the step's own `message` (none: silently), or that
// the port has gone when that is why it failed. Returns the job result.
int StepFailed(TransferView& view, int result, const char* message) {
    if (PortVanished()) {
        view.ShowError(kMsgPortLost, kCaptionError);
        return JOB_PORT_LOST;
    }
    if (message != nullptr) {
        view.ShowError(message, kCaptionError);
    }
    return result;
}

// Repeats the enter-programming request until the device answers (LINK_OK),
// cancel is seen, before the first attempt or after a failed one (JOB_ABORTED),
// or the port goes (JOB_PORT_LOST).
int EnterProgrammingMode(TransferContext& context) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto shouldStop = [&] {
        if (context.abortRequested) {
            return true;
        }
        if (context.enterProgrammingLimitMs > 0 &&
            Clock::now() - start >= std::chrono::milliseconds(context.enterProgrammingLimitMs)) {
            context.enterProgrammingTimedOut = true;
            return true;
        }
        return false;
    };
    while (!shouldStop()) {
        const int result = EnterProgramming();
        if (result == LINK_OK) {
            return LINK_OK;
        }
        if (PortVanished()) {
            return StepFailed(*context.view, result, nullptr);
        }
    }
    return JOB_ABORTED;
}

// Writes or reads blocks 0..367 straight from or into the context's buffer,
// stopping at the first failure or at a cancel seen after a block.
int TransferBlocks(TransferContext& context) {
    TransferView& view = *context.view;
    const bool writing = context.mode == TransferMode::Write;
    view.SetStageText(writing ? kStageWriting : kStageReading);
    for (std::size_t block = 0; block < kBlockCount; ++block) {
        std::uint8_t* data = context.imageBuffer + block * kBlockSize;
        const int blockNumber = static_cast<int>(block);
        const int result = writing ? WriteBlock(blockNumber, data) : ReadBlock(blockNumber, data);
        if (result != LINK_OK) {
            return StepFailed(view, result, writing ? kMsgWriteError : kMsgReadError);
        }
        if (StepProgress(context)) {
            return JOB_ABORTED;
        }
    }
    return LINK_OK;
}

// Everything between opening and closing the port. Sets `programmingEntered`
// once the device is in programming mode; returns the job result.
int RunOpenJob(TransferContext& context, bool& programmingEntered) {
    TransferView& view = *context.view;
    view.SetStageText(kStageEnteringProgramming);
    int result = EnterProgrammingMode(context);
    if (result != LINK_OK) {
        return result;
    }
    programmingEntered = true;

    view.SetStageText(kStageReadingVersion);
    int major = 0;
    int minor = 0;
    result = GetLoaderVersion(major, minor);
    if (result != LINK_OK) {
        return StepFailed(view, result, nullptr);  // the version line stays empty
    }
    view.SetVersionText(FormatLoaderVersion(major, minor));

    if (context.mode == TransferMode::Identify) {
        return LINK_OK;
    }
    if (context.mode == TransferMode::Write) {
        view.SetStageText(kStageErasing);
        result = EraseProgram();
        if (result != LINK_OK) {
            return StepFailed(view, result, kMsgEraseError);
        }
    }
    return TransferBlocks(context);
}

}  // namespace

void TransferThreadProc(TransferContext* context) {
    TransferContext& job = *context;
    TransferView& view = *job.view;

    WaitForStart(job);
    if (job.abortRequested) {
        job.result = JOB_ABORTED;
        view.PostOutcome(ID_JOB_FAILED);
        return;
    }

    view.SetStageText(kStageOpeningPort);
    // Negative numbers wrap to values above 255, which the channel opens as COM1.
    if (OpenPort(static_cast<unsigned>(job.portNumber)) != LINK_OK) {
        job.result = LINK_FAILED;
        view.ShowError(kMsgCannotOpenPort, "");
        view.PostOutcome(ID_JOB_FAILED);
        return;
    }

    bool programmingEntered = false;
    job.result = RunOpenJob(job, programmingEntered);
    const int result = job.result;
    // A vanished port cannot carry the request.
    if (programmingEntered && !PortVanished()) {
        view.SetStageText(kStageReturning);
        // Its result never changes the job's; the front end may warn of it.
        job.returnUnconfirmed = RunProgram() != LINK_OK;
    }
    ClosePort();
    // The last action: after it neither the view nor the context is touched.
    view.PostOutcome(result == LINK_OK ? ID_JOB_SUCCEEDED : ID_JOB_FAILED);
}

}  // namespace bramis
