// One transfer job: its context, its worker thread, its cancel flag and its
// outcome. Several jobs, each on its own channel, may run at once.
//
//   TransferJob job(channel, view, 5, buffer, TransferMode::Write);
//   job.Start();
//   ...                     // job.Cancel() from any thread stops it
//   job.Wait();
//   if (!job.Outcome().succeeded()) ...
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "job/sleep_blocker.h"
#include "job/transfer_context.h"

namespace bramis {

// Waits at most `timeout` for a started worker thread to end; true once it
// has ended and been joined. Starting thread.
using WorkerWait = std::function<bool(std::chrono::milliseconds timeout)>;

// Starts `body` on a new thread; returns how to wait for that thread, or an
// empty function when no thread could be created.
using WorkerLauncher = std::function<WorkerWait(std::function<void()> body)>;

// A launcher over any function that starts a std::thread (a plain one by
// default).
WorkerLauncher StdThreadLauncher(std::function<std::thread(std::function<void()>)> start = {});

class TransferJob {
public:
    // A job on `channel` (which the job uses alone until it has ended),
    // reporting to `view`; `imageBuffer` as TransferContext says, untouched by
    // the caller until the job has ended. `enterProgrammingLimitMs`: see
    // TransferContext. Nothing runs before Start.
    TransferJob(SerialChannel& channel, TransferView& view, std::int32_t portNumber, std::uint8_t* imageBuffer,
                TransferMode mode, std::int64_t enterProgrammingLimitMs = 0);
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // Cancels a job still running and waits for its thread.
    ~TransferJob();

    // How the job keeps the computer awake while it runs (not at all unless
    // set: the front end words the request); before Start.
    void SetSleepBlocker(SleepBlockerFactory blockSleep) { blockSleep_ = std::move(blockSleep); }

    // Keeps the computer awake and creates the worker thread through
    // `launcher` (a plain thread when empty). Returns false when no thread
    // could be created, or on a second call: a job runs at most once.
    bool Start(const WorkerLauncher& launcher = {});

    // Asks the job to stop at its next cancel point; a job cancelled before
    // Start does nothing but post its failure. Any thread.
    void Cancel();
    bool CancelRequested() const;

    // Waits at most `timeout`, or until the end, for the worker thread to
    // end; true once it has. The view may need the waiting thread meanwhile
    // (the progress window): then wait in short steps and serve it between.
    bool Wait(std::chrono::milliseconds timeout);
    void Wait();

    // How the job ended. Starting thread, once Wait has returned true.
    const TransferOutcome& Outcome() const { return context_.outcome; }

    // The job's parameters and its block counter. Starting thread; the counter
    // only once Wait has returned true.
    const TransferContext& Context() const { return context_; }

private:
    TransferContext context_;
    WorkerWait waitForWorker_;  // empty before Start and once the thread has ended
    bool started_ = false;
    SleepBlockerFactory blockSleep_;
    std::unique_ptr<SleepBlocker> sleepBlock_;  // from Start until the thread has ended
};

}  // namespace bramis
