// The transfer worker against the emulated device on the virtual line, in
// virtual time: the whole sequence, its cancel points and its failures.
#include "job/transfer_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "devsim/device.h"
#include "job/transfer_view.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "link/codec.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis {
namespace {

using devsim::Device;
using devsim::FaultKind;
using devsim::FaultRule;

struct ViewCall {
    enum Kind { Stage, Version, Position, Range, Failure, Outcome } kind = Stage;
    TransferStage stageEntered{};  // Stage
    int value = 0;                 // position, range maximum, outcome id, or the version as major * 1000 + minor
    TransferFailure failure{};     // Failure
    int bar = 0;                   // the bar's position when the call came
    TransferStage stage{};         // the stage the job was in when the call came
};

// Records each call with the bar and the stage as they stood at that moment,
// and can act on a call (a cancel at a chosen point). Calls come from the
// worker thread; the test reads the record after joining it.
class RecordingView : public TransferView {
public:
    void SetStage(TransferStage stage) override {
        Record({.kind = ViewCall::Stage, .stageEntered = stage});
        stage_ = stage;
    }
    void SetLoaderVersion(LoaderVersion version) override {
        Record({.kind = ViewCall::Version, .value = version.major * 1000 + version.minor});
    }
    void SetBarPosition(int position) override {
        bar = position;
        Record({.kind = ViewCall::Position, .value = position});
    }
    void SetBarRange(int minimum, int maximum) override {
        rangeMinimum = minimum;
        Record({.kind = ViewCall::Range, .value = maximum});
    }
    void ShowFailure(const TransferFailure& failure) override {
        Record({.kind = ViewCall::Failure, .failure = failure});
    }
    void PostOutcome(int commandId) override {
        Record({.kind = ViewCall::Outcome, .value = commandId});
        outcome = outcome.value_or(commandId);
    }

    // Runs on the worker thread after each call has been recorded.
    std::function<void(const ViewCall&)> onCall;

    std::vector<ViewCall> calls;
    std::optional<int> outcome;
    bool callAfterOutcome = false;
    int bar = 0;  // the bar's position now
    int rangeMinimum = 0;

    std::vector<ViewCall> Of(ViewCall::Kind kind) const {
        std::vector<ViewCall> found;
        for (const ViewCall& call : calls) {
            if (call.kind == kind) found.push_back(call);
        }
        return found;
    }
    std::vector<TransferStage> Stages() const {
        std::vector<TransferStage> stages;
        for (const ViewCall& call : Of(ViewCall::Stage)) stages.push_back(call.stageEntered);
        return stages;
    }

private:
    void Record(ViewCall call) {
        callAfterOutcome = callAfterOutcome || outcome.has_value();
        call.bar = bar;
        call.stage = stage_;
        calls.push_back(call);
        if (onCall) onCall(calls.back());
    }

    TransferStage stage_ = TransferStage::NotStarted;
};

using Stages = std::vector<TransferStage>;
using enum TransferStage;

std::vector<std::uint8_t> RandomImage(unsigned seed) {
    std::vector<std::uint8_t> image(kImageSize);
    std::mt19937 random(seed);
    std::generate(image.begin(), image.end(), [&random] { return static_cast<std::uint8_t>(random()); });
    return image;
}

// Runs transfer jobs against the emulated device on a virtual cable, the way
// the progress window runs them, and records what reaches the view.
class TransferWorkerTest : public ::testing::Test {
protected:
    // The device the next job talks to, with `rules` as its faults, on a fresh cable, with a fresh view.
    Device& Connect(std::vector<FaultRule> rules = {}, int versionMajor = 1, int versionMinor = 0) {
        job.reset();
        cable_.reset();
        devsim::DeviceConfig config{versionMajor, versionMinor, {}, {}};
        config.faults = devsim::FaultPlan(std::move(rules), std::nullopt);
        device_ = std::make_unique<Device>(std::move(config));
        cable_ = std::make_unique<VirtualPort>(*device_);
        channel.SetPortOpener(cable_->Opener());
        view = RecordingView();
        return *device_;
    }
    VirtualPort& cable() { return *cable_; }

    // Runs one job on port 7, after `beforeStart` (a cancel), and waits for
    // it. Returns the outcome posted, 0 when none came. Whatever happened,
    // nothing may reach the view after it.
    int Run(TransferMode mode, std::uint8_t* buffer, const std::function<void(TransferJob&)>& beforeStart = {}) {
        job = std::make_unique<TransferJob>(channel, view, 7, buffer, mode, 0);
        if (beforeStart) beforeStart(*job);
        EXPECT_TRUE(job->Start());
        job->Wait();
        EXPECT_FALSE(view.callAfterOutcome);
        return view.outcome.value_or(0);
    }

    // Cancels the next job as soon as the job enters `stage`.
    void CancelAt(TransferStage stage) {
        view.onCall = [this, stage](const ViewCall& call) {
            if (call.kind == ViewCall::Stage && call.stageEntered == stage) job->Cancel();
        };
    }
    // Cancels the next job as soon as the bar reaches `position`.
    void CancelAtBar(int position) {
        view.onCall = [this, position](const ViewCall& call) {
            if (call.kind == ViewCall::Position && call.value == position) job->Cancel();
        };
    }

    // A device that entered programming mode was sent back once and said so,
    // and the port is closed.
    void ExpectReturned(const Device& device) {
        EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
        EXPECT_EQ(device.CurrentMode(), devsim::Mode::Working);
        EXPECT_EQ(view.Stages().back(), Returning);
        EXPECT_TRUE(outcome().programmingEntered && outcome().runProgramConfirmed);
        EXPECT_FALSE(cable().IsOpen());
    }

    const TransferOutcome& outcome() const { return job->Outcome(); }

    SerialChannel channel;
    RecordingView view;
    std::unique_ptr<TransferJob> job;

private:
    std::unique_ptr<Device> device_;
    std::unique_ptr<VirtualPort> cable_;
};

// Counts the jobs keeping the computer awake.
struct CountedBlock : SleepBlocker {
    explicit CountedBlock(std::atomic<int>& held) : held_(held) { ++held_; }
    ~CountedBlock() override { --held_; }
    std::atomic<int>& held_;
};

bool Erased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

bool SameBlocks(const std::vector<std::uint8_t>& expected, const std::uint8_t* actual, std::size_t count) {
    return std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(count * kBlockSize), actual);
}

TEST_F(TransferWorkerTest, JobsRunTheirWholeSequenceAndMoveTheBarAfterEveryBlock) {
    const Stages opening = {OpeningPort, EnteringProgramming, ReadingVersion};
    // `work`: the stages between the version and the return; `silentEnters`: enter requests the device does not hear.
    struct Case {
        TransferMode mode;
        int major, minor;
        Stages work;
        int silentEnters, erases, writes, reads;
    };
    const Case cases[] = {
        {TransferMode::Write, 1, 5, {Erasing, Writing}, 0, 1, 368, 0},
        {TransferMode::Read, 12, 123, {Reading}, 3, 0, 0, 368},
        {TransferMode::Verify, 2, 0, {Verifying}, 0, 0, 0, 368},
        {TransferMode::Compare, 2, 1, {Comparing}, 0, 0, 0, 368},
        {TransferMode::Identify, 1, 0, {}, 25, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Device& device =
            Connect({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = c.silentEnters}},
                    c.major, c.minor);
        const std::vector<std::uint8_t> program = RandomImage(1);
        std::vector<std::uint8_t> buffer = program;  // a write: exactly kImageSize, nothing beyond is read
        const bool reading = c.reads > 0;
        if (reading) {
            std::copy(program.begin(), program.end(), device.Flash().begin());
            buffer.assign(kImageBufferSize, 0xEE);  // exactly the size a read may use
        }
        // The job keeps the computer awake from its start until its thread has ended.
        std::atomic<int> held{0};
        int heldAtStage = 0;
        view.onCall = [&held, &heldAtStage](const ViewCall&) { heldAtStage = std::min(heldAtStage, held.load()); };
        std::optional<TransferMode> sleepFor;
        const auto keepAwake = [&](TransferJob& j) {
            heldAtStage = 1;
            j.SetSleepBlocker([&](TransferMode mode) {
                sleepFor = mode;
                return std::make_unique<CountedBlock>(held);
            });
        };
        EXPECT_EQ(Run(c.mode, c.mode == TransferMode::Identify ? nullptr : buffer.data(), keepAwake), ID_JOB_SUCCEEDED);
        EXPECT_EQ(heldAtStage, 1);
        EXPECT_EQ(held, 0);
        EXPECT_EQ(sleepFor, c.mode);
        // On the line's clock: a block write is paced 1244 ms, then waits 40 ms.
        EXPECT_GT(cable().NowMs(), c.writes * 1284.0);

        ExpectReturned(device);
        EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), c.silentEnters + 1);
        EXPECT_EQ(device.RequestCount(CMD_ERASE), c.erases);
        EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), c.writes);
        EXPECT_EQ(device.RequestCount(CMD_READ_BLOCK), c.reads);
        // Each stage once, however often a request is repeated.
        Stages stages = opening;
        stages.insert(stages.end(), c.work.begin(), c.work.end());
        stages.push_back(Returning);
        EXPECT_EQ(view.Stages(), stages);
        EXPECT_EQ(view.Of(ViewCall::Version).at(0).value, c.major * 1000 + c.minor);
        ASSERT_TRUE(outcome().loaderVersion);
        EXPECT_EQ(outcome().loaderVersion->minor, c.minor);
        EXPECT_TRUE(view.Of(ViewCall::Failure).empty());
        // After every block the position, then the range 0..368; the erase never moves the bar.
        const auto positions = view.Of(ViewCall::Position);
        const auto ranges = view.Of(ViewCall::Range);
        const std::size_t blocks = c.mode == TransferMode::Identify ? 0 : kBlockCount;
        ASSERT_EQ(positions.size(), blocks);
        ASSERT_EQ(ranges.size(), blocks);
        for (std::size_t i = 0; i < blocks; ++i) {
            EXPECT_EQ(positions[i].value, static_cast<int>(i) + 1);
            EXPECT_EQ(positions[i].stage, c.work.back());
            EXPECT_EQ(ranges[i].value, 368);
            EXPECT_EQ(ranges[i].bar, static_cast<int>(i) + 1);  // the range follows the position
        }
        // The enter requests unanswered while waiting for the device are no retries.
        EXPECT_TRUE(outcome().succeeded());
        EXPECT_EQ(outcome().retries, 0);
        if (c.mode == TransferMode::Identify) continue;
        EXPECT_EQ(view.rangeMinimum, 0);
        EXPECT_TRUE(SameBlocks(program, c.mode == TransferMode::Write ? device.Flash().data() : buffer.data(),
                               kBlockCount));
        if (reading) {  // the last block's CRC in the two spare bytes
            const std::uint16_t crc = Crc16(program.data() + 367 * kBlockSize, kBlockSize);
            EXPECT_EQ(buffer[kImageSize] | buffer[kImageSize + 1] << 8, crc);
        }
    }
}

TEST_F(TransferWorkerTest, CancelPointsBeforeProgrammingModeIsEntered) {
    // Cancelled before it was started: nothing happens at all.
    Connect();
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(3).data(), [](TransferJob& j) { j.Cancel(); }), ID_JOB_FAILED);
    EXPECT_FALSE(job->Start());        // a job runs once
    EXPECT_EQ(view.calls.size(), 1U);  // the outcome only
    EXPECT_EQ(cable().OpenCount(), 0);
    EXPECT_TRUE(outcome().cancelled());
    EXPECT_EQ(outcome().failure->stage, NotStarted);

    // Cancelled while the port opens: seen before the first enter request.
    Device& device = Connect();
    CancelAt(OpeningPort);
    EXPECT_EQ(Run(TransferMode::Read, std::vector<std::uint8_t>(kImageBufferSize).data()), ID_JOB_FAILED);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 0);
    EXPECT_EQ(cable().OpenCount(), 1);
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_EQ(view.Stages(), (Stages{OpeningPort, EnteringProgramming}));

    // A device that never answers: the requests go on until the cancel, which
    // is seen after the enter operation in progress (two attempts) is over;
    // a silent line is sent nothing more. One whose answers came back damaged
    // may be in programming mode all the same: it is sent back.
    for (const FaultKind answer : {FaultKind::Silent, FaultKind::WrongCheck}) {
        Device& mute = Connect({{.kind = answer, .command = CMD_ENTER_PROG}});
        mute.SetEventHandler([this](const devsim::RequestEvent& event) {
            if (event.command == CMD_ENTER_PROG && event.attempt == 40) job->Cancel();
        });
        EXPECT_EQ(Run(TransferMode::Write, RandomImage(4).data()), ID_JOB_FAILED);
        EXPECT_EQ(mute.RequestCount(CMD_ENTER_PROG), 42);
        EXPECT_EQ(mute.RequestCount(CMD_RUN_PROGRAM), answer == FaultKind::Silent ? 0 : 1);
        EXPECT_FALSE(cable().IsOpen());
        EXPECT_TRUE(view.Of(ViewCall::Failure).empty());
        EXPECT_TRUE(outcome().cancelled());
        EXPECT_FALSE(outcome().programmingEntered || outcome().failure->programTouched);
        EXPECT_EQ(outcome().failure->stage, EnteringProgramming);
    }

    // The time limit for programming mode ends the job as its own kind.
    Connect({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG}});
    job = std::make_unique<TransferJob>(channel, view, 7, nullptr, TransferMode::Identify, 1);
    ASSERT_TRUE(job->Start());
    job->Wait();
    EXPECT_EQ(outcome().failure->kind, FailureKind::EntryTimedOut);
    EXPECT_TRUE(view.Of(ViewCall::Failure).empty());

    // A port that does not open says why.
    Connect();
    const PortOpenError busy{OpenFailure::Busy, "/dev/ttyUSB4", 16, "busy", {}};
    cable().FailOpens(busy);
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(5).data()), ID_JOB_FAILED);
    ASSERT_EQ(view.Of(ViewCall::Failure).size(), 1U);
    const TransferFailure failure = view.Of(ViewCall::Failure)[0].failure;
    EXPECT_EQ(failure.kind, FailureKind::PortNotOpened);
    EXPECT_EQ(failure.stage, OpeningPort);
    EXPECT_EQ(failure.openError, busy);
}

// Once in programming mode a cancel lets the current block finish (the last
// block completes the job), a cancel before the erase keeps the device's
// program, and a fault that both attempts meet shows its failure; then the
// device is sent back to working mode, unless its port has gone.
TEST_F(TransferWorkerTest, ACancelOrAFailureInProgrammingModeEndsTheJobAfterTheCurrentStep) {
    struct Case {
        const char* name;
        TransferMode mode;
        std::vector<FaultRule> rules;  // none: a cancel at the stage or the bar position below
        TransferStage stage;           // the stage that cancels, or the one the failure comes in
        int bar;                       // where the bar stops
        std::optional<FailureKind> kind = std::nullopt;  // none: the job completes
        int blockWritten = -1;         // a cancel: the blocks done; -1 for the bar's count and the next
    };
    const TransferMode write = TransferMode::Write, read = TransferMode::Read;
    using enum FailureKind;
    // A fault that both attempts at `block` meet.
    const auto twice = [](FaultKind kind, std::uint8_t command, int block, int value = devsim::kDefault) {
        return FaultRule{.kind = kind, .command = command, .block = block, .attempt = 0, .times = 2, .value = value};
    };
    const Case cases[] = {
        // During the version nothing is destroyed yet: no erase, no block.
        {"cancel at version", write, {}, ReadingVersion, 0, Cancelled, 0},
        {"cancel read at version", read, {}, ReadingVersion, 0, Cancelled, 0},
        // During the erase a write still writes block 0.
        {"cancel at erase", write, {}, Erasing, 0, Cancelled},
        // The bar reaching k means block k - 1 is done and block k comes next.
        {"cancel write 1", write, {}, Writing, 1, Cancelled}, {"cancel write 200", write, {}, Writing, 200, Cancelled},
        {"cancel read 1", read, {}, Reading, 1, Cancelled}, {"cancel read 200", read, {}, Reading, 200, Cancelled},
        // A cancel while the last block goes comes too late to stop anything.
        {"cancel write 367", write, {}, Writing, 368}, {"cancel read 367", read, {}, Reading, 368},
        {"version", write, {{.kind = FaultKind::WrongCheck, .command = CMD_GET_VERSION}}, ReadingVersion, 0,
         VersionNotRead},
        {"version silent", read, {{.kind = FaultKind::Silent, .command = CMD_GET_VERSION}}, ReadingVersion, 0, NoReply},
        {"erase", write, {{.kind = FaultKind::Status, .command = CMD_ERASE, .value = 0x00}}, Erasing, 0,
         EraseNotConfirmed},
        {"write 200 5A", write, {twice(FaultKind::Status, CMD_WRITE_BLOCK, 200, 0x5A)}, Writing, 200, Refused5A},
        {"write 0 2A", write, {twice(FaultKind::Status, CMD_WRITE_BLOCK, 0, 0x2A)}, Writing, 0, Refused2A},
        {"write 367 silent", write, {twice(FaultKind::Silent, CMD_WRITE_BLOCK, 367)}, Writing, 367, NoReply},
        {"read 100 crc", read, {twice(FaultKind::CorruptCrc, CMD_READ_BLOCK, 100)}, Reading, 100, DamagedReply},
        {"read 0 short", read, {twice(FaultKind::Short, CMD_READ_BLOCK, 0)}, Reading, 0, DamagedReply},
        // Nothing can be sent back over a port that has gone.
        {"write 100 unplugged", write, {{.kind = FaultKind::Drop, .command = CMD_WRITE_BLOCK, .block = 100}}, Writing,
         100, PortLost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool writing = c.mode == write;
        const bool cancel = c.rules.empty();
        Device& device = Connect(c.rules);
        const std::vector<std::uint8_t> program = RandomImage(6);
        std::vector<std::uint8_t> buffer(kImageBufferSize, 0);
        std::copy(program.begin(), program.end(), writing ? buffer.data() : device.Flash().data());
        if (cancel && (c.stage == Writing || c.stage == Reading)) {
            CancelAtBar(std::min(c.bar, 367));
        } else if (cancel) {
            CancelAt(c.stage);
        }
        EXPECT_EQ(Run(c.mode, buffer.data()), c.kind ? ID_JOB_FAILED : ID_JOB_SUCCEEDED);

        EXPECT_EQ(view.Of(ViewCall::Position).size(), static_cast<std::size_t>(c.bar));
        EXPECT_EQ(job->Context().blockCounter, c.bar);
        const bool lost = c.kind == PortLost;
        if (lost) {  // nothing more goes out over a port that has gone
            EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), c.bar + 1);
            EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 0);
            EXPECT_FALSE(outcome().runProgramConfirmed || cable().IsOpen());
        } else {
            ExpectReturned(device);
        }
        if (!c.kind) {
            EXPECT_TRUE(outcome().succeeded());
            EXPECT_TRUE(SameBlocks(program, writing ? device.Flash().data() : buffer.data(), kBlockCount));
            continue;
        }
        const TransferFailure& failure = *outcome().failure;
        EXPECT_EQ(failure.kind, *c.kind);
        // A cancel during the erase is seen after block 0.
        EXPECT_EQ(failure.stage, cancel && c.stage == Erasing ? Writing : c.stage);
        // The device's program is touched once the erase has begun.
        EXPECT_EQ(failure.programTouched, writing && (c.stage == Erasing || c.stage == Writing));
        if (cancel) {
            const std::size_t done = c.blockWritten >= 0 ? static_cast<std::size_t>(c.blockWritten) : c.bar + 1U;
            EXPECT_EQ(device.RequestCount(writing ? CMD_WRITE_BLOCK : CMD_READ_BLOCK), static_cast<int>(done));
            EXPECT_TRUE(SameBlocks(program, writing ? device.Flash().data() : buffer.data(), done));
            EXPECT_EQ(device.RequestCount(CMD_ERASE), writing && done > 0 ? 1 : 0);
            if (writing) {
                EXPECT_TRUE(Erased(device.Flash().subspan(done * kBlockSize)));
            }
            EXPECT_TRUE(view.Of(ViewCall::Failure).empty());
            EXPECT_EQ(failure.block, 0);
            EXPECT_EQ(outcome().retries, 0);
            continue;
        }
        const auto shown = view.Of(ViewCall::Failure);
        ASSERT_EQ(shown.size(), 1U);
        EXPECT_EQ(shown[0].bar, c.bar);
        EXPECT_EQ(shown[0].stage, c.stage);  // shown before the return to working mode
        if (c.stage == ReadingVersion) {
            EXPECT_TRUE(view.Of(ViewCall::Version).empty());
            EXPECT_EQ(device.RequestCount(CMD_ERASE) + device.RequestCount(CMD_WRITE_BLOCK), 0);
        }
        const bool atBlock = c.stage == Writing || c.stage == Reading;
        EXPECT_EQ(failure.block, atBlock ? c.bar + 1 : 0);
        EXPECT_EQ(outcome().retries, 1);
    }
}

}  // namespace
}  // namespace bramis
