#include "job/transfer_worker.h"

#include <chrono>
#include <cstdio>

#include "link/bootloader.h"
#include "link/device_memory.h"
#include "link/serial_channel.h"

namespace bramis {

std::string LoaderVersionNumber(int major, int minor) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d", major, minor);
    return text;
}

std::string FormatLoaderVersion(int major, int minor) {
    return "Версия загрузчика " + LoaderVersionNumber(major, minor);
}

std::string FormatDuration(double seconds) {
    const long total = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
    }
    return text;
}

std::string StageText(TransferStage stage) {
    switch (stage) {
        case TransferStage::NotStarted:
            return "";
        case TransferStage::OpeningPort:
            return kStageOpeningPort;
        case TransferStage::EnteringProgramming:
            return kStageEnteringProgramming;
        case TransferStage::ReadingVersion:
            return kStageReadingVersion;
        case TransferStage::Erasing:
            return kStageErasing;
        case TransferStage::Writing:
            return kStageWriting;
        case TransferStage::Reading:
            return kStageReading;
        case TransferStage::Verifying:
            return kStageVerifying;
    }
    return "";
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

// Shows the stage line of `stage` and notes it as the stage the job is in.
void EnterStage(TransferContext& context, TransferStage stage) {
    context.outcome.stage = stage;
    context.view->SetStageText(StageText(stage));
}

// Reports a failed step: the step's own `message` (none: silently), or that
// the port has gone when that is why it failed. Returns the job result, which
// the outcome holds already while the error is shown.
int StepFailed(TransferContext& context, int result, const char* message) {
    context.outcome.replyMissing = context.channel->LastReadCount() == 0;
    if (context.channel->PortVanished()) {
        context.outcome.result = JOB_PORT_LOST;
        context.view->ShowError(kMsgPortLost, kCaptionError);
        return JOB_PORT_LOST;
    }
    context.outcome.result = result;
    if (message != nullptr) {
        context.view->ShowError(message, kCaptionError);
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
            context.outcome.enterProgrammingTimedOut = true;
            return true;
        }
        return false;
    };
    while (!shouldStop()) {
        const int result = EnterProgramming(*context.channel);
        if (result == LINK_OK) {
            return LINK_OK;
        }
        if (context.channel->PortVanished()) {
            return StepFailed(context, result, nullptr);
        }
    }
    return JOB_ABORTED;
}

// Writes or reads blocks 0..367 straight from or into the context's buffer,
// stopping at the first failure or at a cancel seen after a block.
int TransferBlocks(TransferContext& context) {
    SerialChannel& channel = *context.channel;
    const bool writing = context.mode == TransferMode::Write;
    EnterStage(context, writing                                   ? TransferStage::Writing
                        : context.mode == TransferMode::Verify ? TransferStage::Verifying
                                                                : TransferStage::Reading);
    for (std::size_t block = 0; block < kBlockCount; ++block) {
        std::uint8_t* data = context.imageBuffer + block * kBlockSize;
        const int blockNumber = static_cast<int>(block);
        const int result =
            writing ? WriteBlock(channel, blockNumber, data) : ReadBlock(channel, blockNumber, data);
        if (result != LINK_OK) {
            context.outcome.block = blockNumber;
            return StepFailed(context, result, writing ? kMsgWriteError : kMsgReadError);
        }
        if (StepProgress(context)) {
            return JOB_ABORTED;
        }
    }
    return LINK_OK;
}

// Everything between opening and closing the port. Notes in the outcome when
// the device is in programming mode, and in `retriedBefore` the channel's
// retried attempts by then; returns the job result.
int RunOpenJob(TransferContext& context, int& retriedBefore) {
    TransferView& view = *context.view;
    SerialChannel& channel = *context.channel;
    EnterStage(context, TransferStage::EnteringProgramming);
    int result = EnterProgrammingMode(context);
    if (result != LINK_OK) {
        return result;
    }
    context.outcome.programmingEntered = true;
    retriedBefore = channel.RetriedAttempts();

    EnterStage(context, TransferStage::ReadingVersion);
    int major = 0;
    int minor = 0;
    result = GetLoaderVersion(channel, major, minor);
    if (result != LINK_OK) {
        return StepFailed(context, result, kMsgVersionError);  // the version line stays empty
    }
    context.outcome.loaderVersion = LoaderVersionNumber(major, minor);
    view.SetVersionText(FormatLoaderVersion(major, minor));

    if (context.mode == TransferMode::Identify) {
        return LINK_OK;
    }
    if (context.mode == TransferMode::Write) {
        EnterStage(context, TransferStage::Erasing);
        result = EraseProgram(channel);
        if (result != LINK_OK) {
            return StepFailed(context, result, kMsgEraseError);
        }
    }
    return TransferBlocks(context);
}

}  // namespace

void TransferThreadProc(TransferContext* context) {
    TransferContext& job = *context;
    TransferView& view = *job.view;
    SerialChannel& channel = *job.channel;
    TransferOutcome& outcome = job.outcome;

    if (job.abortRequested) {
        outcome.cancelled = true;
        view.PostOutcome(ID_JOB_FAILED);
        return;
    }

    EnterStage(job, TransferStage::OpeningPort);
    // Negative numbers wrap to values above 255, which the channel opens as COM1.
    if (channel.OpenPort(static_cast<unsigned>(job.portNumber)) != LINK_OK) {
        outcome.result = LINK_FAILED;
        outcome.openError = channel.LastOpenError();
        view.ShowError(kMsgCannotOpenPort, "");
        view.PostOutcome(ID_JOB_FAILED);
        return;
    }

    int retriedBefore = 0;
    outcome.result = RunOpenJob(job, retriedBefore);
    // A vanished port cannot carry the request.
    if (outcome.programmingEntered && !channel.PortVanished()) {
        view.SetStageText(kStageReturning);
        // Its result never changes the job's; the front end may warn of it.
        outcome.runProgramConfirmed = RunProgram(channel) == LINK_OK;
    }
    if (outcome.programmingEntered) {
        outcome.retries = channel.RetriedAttempts() - retriedBefore;
    }
    channel.ClosePort();
    outcome.cancelled = outcome.result == JOB_ABORTED && !outcome.enterProgrammingTimedOut;
    // The last action: after it neither the view nor the context is touched.
    view.PostOutcome(outcome.succeeded() ? ID_JOB_SUCCEEDED : ID_JOB_FAILED);
}

}  // namespace bramis
