#include "job/transfer_job.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "job/transfer_worker.h"

namespace bramis {

WorkerLauncher StdThreadLauncher(std::function<std::thread(std::function<void()>)> start) {
    return [start = std::move(start)](std::function<void()> body) -> WorkerWait {
        // std::thread has no timed join: the body's end is signalled, then joined.
        struct Worker {
            std::mutex mutex;
            std::condition_variable ended;
            bool done = false;
            std::thread thread;
        };
        auto worker = std::make_shared<Worker>();
        auto run = [worker, body = std::move(body)] {
            body();
            std::lock_guard lock(worker->mutex);
            worker->done = true;
            worker->ended.notify_all();
        };
        try {
            worker->thread = start ? start(std::move(run)) : std::thread(std::move(run));
        } catch (const std::system_error&) {
            return {};
        }
        return [worker](std::chrono::milliseconds timeout) {
            std::unique_lock lock(worker->mutex);
            if (!worker->ended.wait_for(lock, timeout, [&] { return worker->done; })) {
                return false;
            }
            lock.unlock();
            worker->thread.join();
            return true;
        };
    };
}

TransferJob::TransferJob(SerialChannel& channel, TransferView& view, std::int32_t portNumber,
                         std::uint8_t* imageBuffer, TransferMode mode, std::int64_t enterProgrammingLimitMs) {
    context_.channel = &channel;
    context_.view = &view;
    context_.portNumber = portNumber;
    context_.imageBuffer = imageBuffer;
    context_.mode = mode;
    context_.enterProgrammingLimitMs = enterProgrammingLimitMs;
}

TransferJob::~TransferJob() {
    if (waitForWorker_) {
        Cancel();
        Wait();
    }
}

bool TransferJob::Start(const WorkerLauncher& launcher) {
    if (started_) {
        return false;  // a job runs once: its outcome is the one run's
    }
    started_ = true;
    if (blockSleep_) {
        sleepBlock_ = blockSleep_(context_.mode);
    }
    // Every field is set: the worker may begin at once, with nothing to wait for.
    const auto body = [this] { TransferThreadProc(&context_); };
    waitForWorker_ = launcher ? launcher(body) : StdThreadLauncher()(body);
    if (!waitForWorker_) {
        sleepBlock_.reset();
    }
    return static_cast<bool>(waitForWorker_);
}

void TransferJob::Cancel() {
    context_.abortRequested = true;
}

bool TransferJob::CancelRequested() const {
    return context_.abortRequested;
}

bool TransferJob::Wait(std::chrono::milliseconds timeout) {
    if (waitForWorker_ && !waitForWorker_(timeout)) {
        return false;
    }
    waitForWorker_ = nullptr;
    sleepBlock_.reset();
    return true;
}

void TransferJob::Wait() {
    while (!Wait(std::chrono::hours(1))) {
    }
}

}  // namespace bramis
