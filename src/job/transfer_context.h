// The state of one transfer job, shared by the thread that starts the job (the
// progress window, the command-line front end) and the worker thread that
// carries it out. Owned by its TransferJob.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "job/transfer_view.h"
#include "link/bootloader.h"

namespace bramis {

class SerialChannel;

// What a job does with the device's program.
enum class TransferMode : std::int32_t {
    Read = 0,      // read the device's program into the image buffer
    Write = 1,     // erase the device and write the image buffer into it
    Identify = 2,  // only read the bootloader version (bramis-flash version)
    Verify = 3,    // read the device's program back after a write, to compare it
};

// Job result of a job stopped because cancel was requested; the link's own
// result codes (bootloader.h) end a job the same way.
inline constexpr int JOB_ABORTED = 11;
// Job result of a job stopped because its port went from the system.
inline constexpr int JOB_PORT_LOST = 21;

// Outcome ids the worker posts to its view as its very last action.
inline constexpr int ID_JOB_SUCCEEDED = 104;
inline constexpr int ID_JOB_FAILED = 105;

// The stages of a job that do work, in their order; each has its stage text
// (StageText). The return to working mode that ends a job is none of them.
enum class TransferStage {
    NotStarted,  // cancelled before the worker began
    OpeningPort,
    EnteringProgramming,
    ReadingVersion,
    Erasing,
    Writing,
    Reading,
    Verifying,  // the reading of a verify
};

// How a job ended, for the front ends to put into words.
struct TransferOutcome {
    // LINK_OK, JOB_ABORTED (cancelled, or the time limit for programming
    // mode ran out), JOB_PORT_LOST or the link result of the step that failed.
    int result = JOB_ABORTED;
    // The last stage the job worked in.
    TransferStage stage = TransferStage::NotStarted;
    // The block whose transfer failed; empty when no block did.
    std::optional<int> block;
    // Attempts repeated after a failed one from programming mode on (the
    // enter requests repeated while waiting for the device do not count).
    int retries = 0;
    bool programmingEntered = false;
    // The device echoed the request to return to its working mode (never
    // sent over a port that has gone).
    bool runProgramConfirmed = false;
    // A cancel request ended the job.
    bool cancelled = false;
    // The time limit for entering programming mode ended the job.
    bool enterProgrammingTimedOut = false;
    // The system's reason when the port could not be opened, else "".
    std::string openError;
    // The failed step's last attempt received no reply at all (rather than a
    // damaged or refusing one).
    bool replyMissing = false;
    // The bootloader's version, "MM.mm", once read; else "".
    std::string loaderVersion;

    bool succeeded() const { return result == LINK_OK; }
};

struct TransferContext {
    // Blocks transferred in this job; also the progress bar's position.
    // Written by the worker only.
    std::int32_t blockCounter = 0;

    // Written only by the starting thread; the worker reads it afresh at
    // every check.
    std::atomic<bool> abortRequested{false};

    // Set before the worker thread is created; the worker only reads them.
    SerialChannel* channel = nullptr;
    TransferView* view = nullptr;
    std::int32_t portNumber = 0;  // COM number, handed to OpenPort unchanged
    // Read and verify jobs: room for kImageBufferSize bytes. Write job:
    // kImageSize bytes.
    // Owned by the starting thread.
    std::uint8_t* imageBuffer = nullptr;
    TransferMode mode = TransferMode::Read;

    // Gives up waiting for programming mode after this many milliseconds of
    // real time, as if cancelled; 0 waits until cancelled (the GUI). For
    // scripts, where nobody can press Cancel.
    std::int64_t enterProgrammingLimitMs = 0;

    // Written by the worker before it posts the outcome; read by the starting
    // thread once the worker thread has ended. Its result, stage, block,
    // openError and replyMissing are set before the view's ShowError, so the
    // view may read them there.
    TransferOutcome outcome;
};

}  // namespace bramis
