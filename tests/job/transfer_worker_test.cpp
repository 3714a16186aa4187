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
    enum Kind { Stage, Version, Position, Range, Error, Outcome } kind = Stage;
    std::string text{};     // stage, version or error text
    std::string caption{};  // error caption
    int value = 0;          // position, range maximum or outcome id
    int bar = 0;            // the bar's position when the call came
    std::string stage{};    // the stage line when the call came
};

// Records each call with the bar and the stage as they stood at that moment,
// and can act on a call (a cancel at a chosen point). Calls come from the
// worker thread; the test reads the record after joining it.
class RecordingView : public TransferView {
public:
    void SetStageText(const std::string& text) override {
        Record({ViewCall::Stage, text});
        stage_ = text;
    }
    void SetVersionText(const std::string& text) override { Record({ViewCall::Version, text}); }
    void SetBarPosition(int position) override {
        bar = position;
        Record({ViewCall::Position, {}, {}, position});
    }
    void SetBarRange(int minimum, int maximum) override {
        rangeMinimum = minimum;
        Record({ViewCall::Range, {}, {}, maximum});
    }
    void ShowError(const std::string& text, const std::string& caption) override {
        Record({ViewCall::Error, text, caption});
    }
    void PostOutcome(int commandId) override {
        Record({ViewCall::Outcome, {}, {}, commandId});
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
    std::vector<std::string> Stages() const {
        std::vector<std::string> texts;
        for (const ViewCall& call : Of(ViewCall::Stage)) texts.push_back(call.text);
        return texts;
    }

private:
    void Record(ViewCall call) {
        callAfterOutcome = callAfterOutcome || outcome.has_value();
        call.bar = bar;
        call.stage = stage_;
        calls.push_back(call);
        if (onCall) onCall(calls.back());
    }

    std::string stage_;
};

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

    // Cancels the next job as soon as the view gets a call of `kind` with
    // `text` and `value`.
    void CancelAt(ViewCall::Kind kind, const std::string& text, int value = 0) {
        view.onCall = [this, kind, text, value](const ViewCall& call) {
            if (call.kind == kind && call.text == text && call.value == value) job->Cancel();
        };
    }

    // A device that entered programming mode was sent back once and said so,
    // and the port is closed.
    void ExpectReturned(const Device& device) {
        EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
        EXPECT_EQ(device.CurrentMode(), devsim::Mode::Working);
        EXPECT_EQ(view.Stages().back(), kStageReturning);
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
    const std::string opening[] = {kStageOpeningPort, kStageEnteringProgramming, kStageReadingVersion};
    // `work`: the stages between the version and the return; `silentEnters`: enter requests the device does not hear.
    struct Case {
        TransferMode mode;
        int major, minor;
        const char* version;
        std::vector<std::string> work;
        int silentEnters, erases, writes, reads;
    };
    const Case cases[] = {
        {TransferMode::Write, 1, 5, "Версия загрузчика 01.05", {kStageErasing, kStageWriting}, 0, 1, 368, 0},
        {TransferMode::Read, 12, 123, "Версия загрузчика 12.123", {kStageReading}, 3, 0, 0, 368},
        {TransferMode::Verify, 2, 0, "Версия загрузчика 02.00", {kStageVerifying}, 0, 0, 0, 368},
        {TransferMode::Identify, 1, 0, "Версия загрузчика 01.00", {}, 25, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        Device& device =
            Connect({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = c.silentEnters}},
                    c.major, c.minor);
        const std::vector<std::uint8_t> program = RandomImage(1);
        std::vector<std::uint8_t> buffer = program;  // a write: exactly kImageSize, nothing beyond is read
        const bool reading = c.mode == TransferMode::Read || c.mode == TransferMode::Verify;
        if (reading) {
            std::copy(program.begin(), program.end(), device.Flash().begin());
            buffer.assign(kImageBufferSize, 0xEE);  // exactly the size a read may use
        }
        // The job keeps the computer awake from its start until its thread has ended.
        std::atomic<int> held{0};
        int heldAtStage = 0;
        view.onCall = [&held, &heldAtStage](const ViewCall&) { heldAtStage = std::min(heldAtStage, held.load()); };
        const auto keepAwake = [&held, &heldAtStage](TransferJob& j) {
            heldAtStage = 1;
            j.SetSleepBlocker([&held](const std::string&) { return std::make_unique<CountedBlock>(held); });
        };
        EXPECT_EQ(Run(c.mode, c.mode == TransferMode::Identify ? nullptr : buffer.data(), keepAwake), ID_JOB_SUCCEEDED);
        EXPECT_EQ(heldAtStage, 1);
        EXPECT_EQ(held, 0);
        // On the line's clock: a block write is paced 1244 ms, then waits 40 ms.
        EXPECT_GT(cable().NowMs(), c.writes * 1284.0);

        ExpectReturned(device);
        EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), c.silentEnters + 1);
        EXPECT_EQ(device.RequestCount(CMD_ERASE), c.erases);
        EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), c.writes);
        EXPECT_EQ(device.RequestCount(CMD_READ_BLOCK), c.reads);
        // Each stage line once, however often a request is repeated.
        std::vector<std::string> stages(std::begin(opening), std::end(opening));
        stages.insert(stages.end(), c.work.begin(), c.work.end());
        stages.push_back(kStageReturning);
        EXPECT_EQ(view.Stages(), stages);
        EXPECT_EQ(view.Of(ViewCall::Version).at(0).text, c.version);
        EXPECT_TRUE(view.Of(ViewCall::Error).empty());
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
        // Where it ended; the enter requests unanswered while waiting for the device are no retries.
        EXPECT_TRUE(outcome().succeeded());
        EXPECT_EQ(StageText(outcome().stage), stages[stages.size() - 2]);
        EXPECT_EQ(outcome().block, std::nullopt);
        EXPECT_EQ(outcome().retries, 0);
        EXPECT_FALSE(outcome().cancelled);
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
    EXPECT_TRUE(outcome().cancelled);
    EXPECT_EQ(outcome().stage, TransferStage::NotStarted);

    // Cancelled while the port opens: seen before the first enter request.
    Device& device = Connect();
    CancelAt(ViewCall::Stage, kStageOpeningPort);
    EXPECT_EQ(Run(TransferMode::Read, std::vector<std::uint8_t>(kImageBufferSize).data()), ID_JOB_FAILED);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 0);
    EXPECT_EQ(cable().OpenCount(), 1);
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming}));

    // A device that never answers: the requests go on until the cancel, which
    // is seen after the enter operation in progress (two attempts) is over.
    Device& mute = Connect({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG}});
    mute.SetEventHandler([this](const devsim::RequestEvent& event) {
        if (event.command == CMD_ENTER_PROG && event.attempt == 40) job->Cancel();
    });
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(4).data()), ID_JOB_FAILED);
    EXPECT_EQ(mute.RequestCount(CMD_ENTER_PROG), 42);
    EXPECT_EQ(mute.RequestCount(CMD_RUN_PROGRAM), 0);  // programming mode was never entered
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_TRUE(view.Of(ViewCall::Error).empty());
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming}));
    EXPECT_TRUE(outcome().cancelled);
    EXPECT_FALSE(outcome().programmingEntered);
    EXPECT_EQ(outcome().stage, TransferStage::EnteringProgramming);
}

// Once in programming mode a cancel lets the current block finish, and a
// fault that both attempts meet shows its message; then the device is sent
// back to working mode, unless its port has gone.
TEST_F(TransferWorkerTest, ACancelOrAFailureInProgrammingModeEndsTheJobAfterTheCurrentStep) {
    struct Case {
        const char* name;
        TransferMode mode;
        std::vector<FaultRule> rules;  // none: a cancel at the stage line or the bar position below
        const char* stage;             // the stage line that cancels, or the one the failure shows under
        int bar;                       // where the bar stops
        const char* message = nullptr;
        int result = LINK_CMD_FAILED;
    };
    const TransferMode write = TransferMode::Write, read = TransferMode::Read;
    // A fault that both attempts at `block` meet.
    const auto twice = [](FaultKind kind, std::uint8_t command, int block, int value = devsim::kDefault) {
        return FaultRule{.kind = kind, .command = command, .block = block, .attempt = 0, .times = 2, .value = value};
    };
    const Case cases[] = {
        // During the version or the erase a write still writes block 0.
        {"cancel at version", write, {}, kStageReadingVersion, 0},
        {"cancel at erase", write, {}, kStageErasing, 0},
        // The bar reaching k means block k - 1 is done and block k comes next.
        {"cancel write 1", write, {}, "", 1}, {"cancel write 200", write, {}, "", 200},
        {"cancel write 367", write, {}, "", 367}, {"cancel read 1", read, {}, "", 1},
        {"cancel read 200", read, {}, "", 200}, {"cancel read 367", read, {}, "", 367},
        {"version", write, {{.kind = FaultKind::WrongCheck, .command = CMD_GET_VERSION}}, kStageReadingVersion, 0,
         kMsgVersionError},
        {"erase", write, {{.kind = FaultKind::Status, .command = CMD_ERASE, .value = 0x00}}, kStageErasing, 0,
         kMsgEraseError},
        {"write 200 5A", write, {twice(FaultKind::Status, CMD_WRITE_BLOCK, 200, 0x5A)}, kStageWriting, 200,
         kMsgWriteError, LINK_WRITE_STATUS_5A},
        {"write 0 2A", write, {twice(FaultKind::Status, CMD_WRITE_BLOCK, 0, 0x2A)}, kStageWriting, 0, kMsgWriteError,
         LINK_WRITE_STATUS_2A},
        {"write 367 silent", write, {twice(FaultKind::Silent, CMD_WRITE_BLOCK, 367)}, kStageWriting, 367,
         kMsgWriteError},
        {"read 100 crc", read, {twice(FaultKind::CorruptCrc, CMD_READ_BLOCK, 100)}, kStageReading, 100, kMsgReadError},
        {"read 0 short", read, {twice(FaultKind::Short, CMD_READ_BLOCK, 0)}, kStageReading, 0, kMsgReadError},
        // Nothing can be sent back over a port that has gone.
        {"write 100 unplugged", write, {{.kind = FaultKind::Drop, .command = CMD_WRITE_BLOCK, .block = 100}},
         kStageWriting, 100, kMsgPortLost, JOB_PORT_LOST},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool writing = c.mode == write;
        const bool cancel = c.message == nullptr;
        Device& device = Connect(c.rules);
        const std::vector<std::uint8_t> program = RandomImage(6);
        std::vector<std::uint8_t> buffer(kImageBufferSize, 0);
        std::copy(program.begin(), program.end(), writing ? buffer.data() : device.Flash().data());
        if (cancel) {
            const bool atStage = *c.stage != '\0';
            CancelAt(atStage ? ViewCall::Stage : ViewCall::Position, c.stage, atStage ? 0 : c.bar);
        }
        EXPECT_EQ(Run(c.mode, buffer.data()), ID_JOB_FAILED);

        EXPECT_EQ(view.Of(ViewCall::Position).size(), static_cast<std::size_t>(c.bar));
        EXPECT_EQ(job->Context().blockCounter, c.bar);
        EXPECT_EQ(outcome().cancelled, cancel);
        const auto errors = view.Of(ViewCall::Error);
        const bool lost = c.result == JOB_PORT_LOST;
        if (lost) {  // nothing more goes out over a port that has gone
            EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), c.bar + 1);
            EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 0);
            EXPECT_FALSE(outcome().runProgramConfirmed || cable().IsOpen());
        } else {
            ExpectReturned(device);
        }
        if (cancel) {
            const std::size_t done = static_cast<std::size_t>(c.bar) + 1;
            EXPECT_EQ(device.RequestCount(writing ? CMD_WRITE_BLOCK : CMD_READ_BLOCK), c.bar + 1);
            EXPECT_TRUE(SameBlocks(program, writing ? device.Flash().data() : buffer.data(), done));
            if (writing) {
                EXPECT_EQ(device.RequestCount(CMD_ERASE), 1);
                EXPECT_TRUE(Erased(device.Flash().subspan(done * kBlockSize)));
            }
            EXPECT_TRUE(errors.empty());
            EXPECT_EQ(outcome().block, std::nullopt);
            EXPECT_EQ(outcome().retries, 0);
            continue;
        }
        ASSERT_EQ(errors.size(), 1U);
        EXPECT_EQ(errors[0].text, c.message);
        EXPECT_EQ(errors[0].caption, "Ошибка");
        EXPECT_EQ(errors[0].bar, c.bar);
        EXPECT_EQ(errors[0].stage, c.stage);  // shown before the return to working mode
        if (c.stage == std::string(kStageReadingVersion)) {
            EXPECT_TRUE(view.Of(ViewCall::Version).empty());
            EXPECT_EQ(device.RequestCount(CMD_ERASE) + device.RequestCount(CMD_WRITE_BLOCK), 0);
        }
        const auto stages = view.Stages();
        ASSERT_GE(stages.size(), 2U);
        EXPECT_EQ(stages[stages.size() - (lost ? 1 : 2)], c.stage);
        // The outcome: the failed step's result, its stage, the block it failed at, its one retry.
        EXPECT_EQ(outcome().result, c.result);
        EXPECT_EQ(StageText(outcome().stage), c.stage);
        const bool atBlock = c.message == kMsgWriteError || c.message == kMsgReadError || lost;
        EXPECT_EQ(outcome().block, atBlock ? std::optional(c.bar) : std::nullopt);
        EXPECT_EQ(outcome().retries, 1);
    }
}

}  // namespace
}  // namespace bramis
