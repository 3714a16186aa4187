// The state of one transfer job, shared by the thread that starts the job (the
// progress window, the command-line front end) and the worker thread that
// carries it out. Owned by its TransferJob.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "link/port_backend.h"

namespace bramis {

class SerialChannel;
class TransferView;

// What a job does with the device's program.
enum class TransferMode : std::int32_t {
    Read = 0,      // read the device's program into the image buffer
    Write = 1,     // erase the device and write the image buffer into it
    Identify = 2,  // only read the bootloader version (bramis-flash version)
    Verify = 3,    // read the device's program back after a write, to compare it
    Compare = 4,   // read the device's program to compare it with a file; nothing is written
};

// Outcome ids the worker posts to its view as its very last action.
inline constexpr int ID_JOB_SUCCEEDED = 104;
inline constexpr int ID_JOB_FAILED = 105;

// The stages of a job, in their order; each has its stage line.
enum class TransferStage {
    NotStarted,  // cancelled before the worker began
    OpeningPort,
    EnteringProgramming,
    ReadingVersion,
    Erasing,
    Writing,
    Reading,
    Verifying,  // the reading of a verify
    Comparing,  // the reading of a compare
    Returning,  // the request that sends the device back to its working mode
};

// Why a job did not succeed.
enum class FailureKind {
    PortNotOpened,      // the port did not open (PortOpenError says why)
    PortLost,           // the port went from the system during the job
    NoReply,            // the failed step's last attempt got no reply at all
    DamagedReply,       // a block's reply came damaged
    ReplyInterrupted,   // a reply stopped part-way and its rest came late: a
                        // pause in it longer than a chunk read waits (30 ms)
    Refused5A,          // the device refused a block with status 5A
    Refused2A,          // ... with status 2A
    EraseNotConfirmed,  // the erase got a reply, but not its confirmation
    VersionNotRead,     // the version request got a reply, but no version
    EntryTimedOut,      // the time limit for entering programming mode ran out
    Cancelled,          // a cancel request ended the job
};

struct TransferFailure {
    FailureKind kind = FailureKind::Cancelled;
    // The stage the job failed in.
    TransferStage stage = TransferStage::NotStarted;
    // The block whose transfer failed, counted from 1; 0 when no block did.
    int block = 0;
    // The device's program is erased or partly written: a write that failed
    // or was cancelled once the erase had begun.
    bool programTouched = false;
    // PortNotOpened: why.
    PortOpenError openError;
    // The port's device as the system names it (the one tried, when it did not
    // open); "" when there is none (the emulator's line).
    std::string device;
};

// The bootloader's version, each number 0 to 255.
struct LoaderVersion {
    int major = 0;
    int minor = 0;
};

// How a job ended, for the front ends to put into words.
struct TransferOutcome {
    // Empty when the job succeeded.
    std::optional<TransferFailure> failure;
    // Attempts repeated after a failed one from programming mode on (the
    // enter requests repeated while waiting for the device do not count).
    int retries = 0;
    bool programmingEntered = false;
    // The device echoed the request to return to its working mode (never
    // sent over a port that has gone).
    bool runProgramConfirmed = false;
    // Once read.
    std::optional<LoaderVersion> loaderVersion;

    bool succeeded() const { return !failure; }
    bool cancelled() const { return failure && failure->kind == FailureKind::Cancelled; }
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
    // thread once the worker thread has ended.
    TransferOutcome outcome;
};

}  // namespace bramis
