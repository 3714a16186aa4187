// The state of the one transfer job that may run at a time, shared by the
// thread that starts the job (the progress window, the command-line front end)
// and the worker thread that carries it out.
#pragma once

#include <atomic>
#include <cstdint>

#include "job/transfer_view.h"

namespace bramis {

// What a job does with the device's program.
enum class TransferMode : std::int32_t {
    Read = 0,      // read the device's program into the image buffer
    Write = 1,     // erase the device and write the image buffer into it
    Identify = 2,  // only read the bootloader version (bramis-flash version)
};

// Job result of a job stopped because cancel was requested; the link's own
// result codes (bootloader.h) end a job the same way.
inline constexpr int JOB_ABORTED = 11;
// Job result of a job stopped because its port went from the system.
inline constexpr int JOB_PORT_LOST = 21;

// Outcome ids the worker posts to its view as its very last action.
inline constexpr int ID_JOB_SUCCEEDED = 104;
inline constexpr int ID_JOB_FAILED = 105;

struct TransferContext {
    // Blocks transferred in this job; also the progress bar's position.
    // Written by the starting thread only before the worker exists, then by
    // the worker only.
    std::int32_t blockCounter = 0;

    // Written only by the starting thread; the worker reads them afresh at
    // every check.
    std::atomic<bool> abortRequested{false};
    std::atomic<bool> workerStarted{false};

    // Set before the worker thread is created; the worker only reads them.
    TransferView* view = nullptr;
    std::int32_t portNumber = 0;  // COM number, handed to OpenPort unchanged
    // Read job: room for kImageBufferSize bytes. Write job: kImageSize bytes.
    // Owned by the starting thread.
    std::uint8_t* imageBuffer = nullptr;
    TransferMode mode = TransferMode::Read;

    // Gives up waiting for programming mode after this many milliseconds of
    // real time, as if cancelled; 0 waits until cancelled (the GUI). For
    // scripts, where nobody can press Cancel.
    std::int64_t enterProgrammingLimitMs = 0;
    // Set by the worker, before it posts the outcome, when that limit ended
    // the job. Read by the starting thread once the outcome has arrived.
    bool enterProgrammingTimedOut = false;

    // Set by the worker before it posts the outcome; read by the starting
    // thread once the outcome has arrived. `result`: LINK_OK, JOB_ABORTED
    // (cancel or the time limit ended the job), JOB_PORT_LOST or the link
    // result of the failed step. `returnUnconfirmed`: the device was sent
    // back to its working mode but did not confirm it.
    int result = 0;
    bool returnUnconfirmed = false;
};

// The one context of the process (zero-initialised at start).
extern TransferContext g_transferContext;

// Prepares `context` for a new job: stores the job's parameters, clears both
// flags, the block counter, the time limit and what the last job left. Starting
// thread only, before the worker thread is created.
void PrepareTransferContext(TransferContext& context, TransferView* view, std::int32_t portNumber,
                            std::uint8_t* imageBuffer, TransferMode mode);

}  // namespace bramis
