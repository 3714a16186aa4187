#include "job/transfer_worker.h"

#include <chrono>

#include "job/transfer_view.h"
#include "link/bootloader.h"
#include "link/device_memory.h"
#include "link/serial_channel.h"

namespace bramis {
namespace {

void CountBlock(TransferContext& context) {
    ++context.blockCounter;
    context.view->SetBarPosition(context.blockCounter);
    context.view->SetBarRange(0, static_cast<int>(kBlockCount));
}

// One job's run: the sequence of steps, and the failure when one fails.
class Worker {
public:
    explicit Worker(TransferContext& context)
        : context_(context), view_(*context.view), channel_(*context.channel), outcome_(context.outcome) {}

    void Run() {
        EnterStage(TransferStage::OpeningPort);
        // Negative numbers wrap to values above 255, which the channel opens as COM1.
        if (channel_.OpenPort(static_cast<unsigned>(context_.portNumber)) != LINK_OK) {
            Fail(FailureKind::PortNotOpened);
            return;
        }
        int retriedBefore = 0;
        RunOpenJob(retriedBefore);
        // A device that answered anything may be in programming mode (an
        // acknowledgement can be lost on the way back); a vanished port
        // cannot carry the request.
        if ((outcome_.programmingEntered || channel_.ReceivedSinceOpen() > 0) && !channel_.PortVanished()) {
            EnterStage(TransferStage::Returning);
            // Its result never changes the job's; the front end may warn of it.
            outcome_.runProgramConfirmed = RunProgram(channel_) == LINK_OK;
        }
        if (outcome_.programmingEntered) {
            outcome_.retries = channel_.RetriedAttempts() - retriedBefore;
        }
        channel_.ClosePort();
    }

private:
    void EnterStage(TransferStage stage) {
        stage_ = stage;
        view_.SetStage(stage);
    }

    // Notes the failure of the current stage and shows it, unless it is one
    // the user or the caller chose. Returns false, for the step to return.
    bool Fail(FailureKind kind, int block = 0) {
        TransferFailure& failure = outcome_.failure.emplace();
        failure.kind = kind;
        failure.stage = stage_;
        failure.block = block;
        failure.programTouched = context_.mode == TransferMode::Write &&
                                 (stage_ == TransferStage::Erasing || stage_ == TransferStage::Writing);
        if (kind == FailureKind::PortNotOpened) {
            failure.openError = channel_.LastOpenError();
            failure.device = failure.openError.device;
        } else {
            failure.device = channel_.PortDevice();
        }
        if (kind != FailureKind::Cancelled && kind != FailureKind::EntryTimedOut) {
            view_.ShowFailure(failure);
        }
        return false;
    }

    // A step that returned the link result `result` failed: why, as far as
    // the port and the last reply tell.
    bool StepFailed(int result, int block = 0) {
        if (channel_.PortVanished()) return Fail(FailureKind::PortLost, block);
        if (result == LINK_WRITE_STATUS_5A) return Fail(FailureKind::Refused5A, block);
        if (result == LINK_WRITE_STATUS_2A) return Fail(FailureKind::Refused2A, block);
        if (channel_.ReplyInterrupted()) return Fail(FailureKind::ReplyInterrupted, block);
        if (channel_.LastReadCount() == 0) return Fail(FailureKind::NoReply, block);
        switch (stage_) {
            case TransferStage::Erasing: return Fail(FailureKind::EraseNotConfirmed, block);
            case TransferStage::ReadingVersion: return Fail(FailureKind::VersionNotRead, block);
            default: return Fail(FailureKind::DamagedReply, block);
        }
    }

    // Repeats the enter-programming request until the device answers, cancel
    // or the time limit is seen before the first attempt or after a failed
    // one, or the port goes.
    bool EnterProgrammingMode() {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point start = Clock::now();
        const auto timedOut = [&] {
            return context_.enterProgrammingLimitMs > 0 &&
                   Clock::now() - start >= std::chrono::milliseconds(context_.enterProgrammingLimitMs);
        };
        while (true) {
            if (context_.abortRequested) return Fail(FailureKind::Cancelled);
            if (timedOut()) return Fail(FailureKind::EntryTimedOut);
            const int result = EnterProgramming(channel_);
            if (result == LINK_OK) return true;
            if (channel_.PortVanished()) return StepFailed(result);
        }
    }

    // Writes or reads blocks 0..367 straight from or into the context's
    // buffer, stopping at the first failure or at a cancel seen after a
    // block. A cancel once the last block is in changes nothing: the job is
    // complete.
    bool TransferBlocks() {
        const bool writing = context_.mode == TransferMode::Write;
        switch (context_.mode) {
            case TransferMode::Write: EnterStage(TransferStage::Writing); break;
            case TransferMode::Verify: EnterStage(TransferStage::Verifying); break;
            case TransferMode::Compare: EnterStage(TransferStage::Comparing); break;
            case TransferMode::Read:
            case TransferMode::Identify: EnterStage(TransferStage::Reading); break;
        }
        for (std::size_t block = 0; block < kBlockCount; ++block) {
            std::uint8_t* data = context_.imageBuffer + block * kBlockSize;
            const int blockNumber = static_cast<int>(block);
            const int result =
                writing ? WriteBlock(channel_, blockNumber, data) : ReadBlock(channel_, blockNumber, data);
            if (result != LINK_OK) return StepFailed(result, blockNumber + 1);
            if (block + 1 == kBlockCount) {
                CountBlock(context_);
            } else if (StepProgress(context_)) {
                return Fail(FailureKind::Cancelled);
            }
        }
        return true;
    }

    // Everything between opening and closing the port. Notes in
    // `retriedBefore` the channel's retried attempts when programming mode
    // was entered.
    bool RunOpenJob(int& retriedBefore) {
        EnterStage(TransferStage::EnteringProgramming);
        if (!EnterProgrammingMode()) return false;
        outcome_.programmingEntered = true;
        retriedBefore = channel_.RetriedAttempts();

        EnterStage(TransferStage::ReadingVersion);
        int major = 0;
        int minor = 0;
        if (const int result = GetLoaderVersion(channel_, major, minor); result != LINK_OK) {
            return StepFailed(result);
        }
        outcome_.loaderVersion = LoaderVersion{major, minor};
        view_.SetLoaderVersion(*outcome_.loaderVersion);

        if (context_.mode == TransferMode::Identify) return true;
        // Nothing is destroyed yet: a cancel by now keeps the device's program.
        if (context_.abortRequested) return Fail(FailureKind::Cancelled);
        if (context_.mode == TransferMode::Write) {
            EnterStage(TransferStage::Erasing);
            if (const int result = EraseProgram(channel_); result != LINK_OK) return StepFailed(result);
        }
        return TransferBlocks();
    }

    TransferContext& context_;
    TransferView& view_;
    SerialChannel& channel_;
    TransferOutcome& outcome_;
    TransferStage stage_ = TransferStage::NotStarted;
};

}  // namespace

bool StepProgress(TransferContext& context) {
    if (context.abortRequested) {
        return true;
    }
    CountBlock(context);
    return false;
}

void TransferThreadProc(TransferContext* context) {
    TransferView& view = *context->view;
    if (context->abortRequested) {
        context->outcome.failure = TransferFailure{};
    } else {
        Worker(*context).Run();
    }
    // The last action: after it neither the view nor the context is touched.
    view.PostOutcome(context->outcome.succeeded() ? ID_JOB_SUCCEEDED : ID_JOB_FAILED);
}

}  // namespace bramis
