// The transfer worker against the emulated device on the virtual line: the
// whole sequence, its cancel points and its failures, in virtual time.
#include "job/transfer_worker.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

#include "devsim/device.h"
#include "link/bootloader.h"
#include "link/codec.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"
#include "recording_view.h"

namespace bramis {
namespace {

using devsim::Device;
using devsim::DeviceConfig;
using devsim::FaultKind;
using devsim::FaultRule;
using devsim::Mode;
using test::RecordingView;
using test::ViewCall;

std::vector<std::uint8_t> RandomImage(unsigned seed) {
    std::vector<std::uint8_t> image(kImageSize);
    std::mt19937 random(seed);
    for (auto& b : image) {
        b = static_cast<std::uint8_t>(random());
    }
    return image;
}

bool BlocksEqual(const std::uint8_t* a, const std::uint8_t* b, std::size_t firstBlock, std::size_t count) {
    return std::equal(a + firstBlock * kBlockSize, a + (firstBlock + count) * kBlockSize, b + firstBlock * kBlockSize);
}

bool Erased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

FaultRule Rule(FaultKind kind, std::uint8_t command, int block = devsim::kAny, int attempt = devsim::kAny,
               int times = 1, int value = devsim::kDefault) {
    FaultRule rule;
    rule.kind = kind;
    rule.command = command;
    rule.block = block;
    rule.attempt = attempt;
    rule.times = times;
    rule.value = value;
    return rule;
}

class TransferWorkerTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetPortOpener({});
        // Whatever happened, nothing reached the view after the outcome.
        EXPECT_FALSE(view.callAfterOutcome);
        if (!view.calls.empty()) {
            EXPECT_EQ(view.calls.back().kind, ViewCall::Outcome);
        }
    }

    // The device the next job talks to, on a fresh virtual cable.
    Device& Connect(DeviceConfig config = {}) {
        cable_.reset();
        device_ = std::make_unique<Device>(std::move(config));
        cable_ = std::make_unique<VirtualPort>(*device_);
        SetPortOpener(cable_->Opener());
        return *device_;
    }
    VirtualPort& cable() { return *cable_; }

    // Runs one job the way the progress window does: prepares the context,
    // starts the thread, then marks it started; joins on the outcome.
    int Run(TransferMode mode, std::uint8_t* buffer, bool cancelBeforeStart = false) {
        PrepareTransferContext(context, &view, 7, buffer, mode);
        if (cancelBeforeStart) {
            context.abortRequested = true;
        }
        std::thread worker(TransferThreadProc, &context);
        if (!cancelBeforeStart) {
            context.workerStarted = true;
        }
        worker.join();
        EXPECT_TRUE(view.outcome.has_value());
        return view.outcome.value_or(0);
    }

    // Cancels as soon as the worker shows `stage`.
    void CancelAtStage(const std::string& stage) {
        view.onCall = [this, stage](const ViewCall& call) {
            if (call.kind == ViewCall::Stage && call.text == stage) {
                context.abortRequested = true;
            }
        };
    }

    TransferContext& context = g_transferContext;
    RecordingView view;

private:
    std::unique_ptr<Device> device_;
    std::unique_ptr<VirtualPort> cable_;
};

TEST_F(TransferWorkerTest, WriteJobWritesTheImageAndReturnsTheDeviceToWorkingMode) {
    DeviceConfig config;
    config.versionMajor = 1;
    config.versionMinor = 5;
    Device& device = Connect(config);
    std::vector<std::uint8_t> image = RandomImage(1);  // exactly kImageSize: nothing beyond is read

    EXPECT_EQ(Run(TransferMode::Write, image.data()), ID_JOB_SUCCEEDED);

    EXPECT_TRUE(std::equal(image.begin(), image.end(), device.Flash().begin()));
    EXPECT_EQ(device.CurrentMode(), Mode::Working);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 1);
    EXPECT_EQ(device.RequestCount(CMD_ERASE), 1);
    EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), 368);
    EXPECT_EQ(device.RequestCount(CMD_READ_BLOCK), 0);
    EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_EQ(cable().LastPortNumber(), 7U);

    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming,
                                                       kStageReadingVersion, kStageErasing, kStageWriting,
                                                       kStageReturning}));
    EXPECT_EQ(view.Of(ViewCall::Version).at(0).text, "Версия загрузчика 01.05");
    EXPECT_TRUE(view.Of(ViewCall::Error).empty());
    // After every block the position, then the range 0..368; the erase never moves the bar.
    const auto positions = view.Of(ViewCall::Position);
    const auto ranges = view.Of(ViewCall::Range);
    ASSERT_EQ(positions.size(), 368U);
    ASSERT_EQ(ranges.size(), 368U);
    for (int i = 0; i < 368; ++i) {
        EXPECT_EQ(positions[static_cast<std::size_t>(i)].value, i + 1);
        EXPECT_EQ(positions[static_cast<std::size_t>(i)].stage, kStageWriting);
        EXPECT_EQ(ranges[static_cast<std::size_t>(i)].value, 368);
    }
    EXPECT_EQ(view.rangeMinimum, 0);
    EXPECT_EQ(context.blockCounter, 368);
    EXPECT_EQ(view.calls.back().stage, kStageReturning);
    EXPECT_FALSE(context.enterProgrammingTimedOut);
}

TEST_F(TransferWorkerTest, ReadJobFillsTheImageAndLeavesTheLastCrcInTheSpareBytes) {
    DeviceConfig config;
    config.versionMajor = 12;
    config.versionMinor = 123;
    Device& device = Connect(config);
    const std::vector<std::uint8_t> program = RandomImage(2);
    std::copy(program.begin(), program.end(), device.Flash().begin());
    std::vector<std::uint8_t> buffer(kImageBufferSize, 0xEE);  // exactly the size the job may use

    EXPECT_EQ(Run(TransferMode::Read, buffer.data()), ID_JOB_SUCCEEDED);

    EXPECT_TRUE(std::equal(program.begin(), program.end(), buffer.begin()));
    const std::uint16_t crc = Crc16(program.data() + 367 * kBlockSize, kBlockSize);
    EXPECT_EQ(buffer[kImageSize], crc & 0xFF);
    EXPECT_EQ(buffer[kImageSize + 1], crc >> 8);
    EXPECT_EQ(device.RequestCount(CMD_READ_BLOCK), 368);
    EXPECT_EQ(device.RequestCount(CMD_ERASE), 0);
    EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), 0);
    EXPECT_EQ(device.CurrentMode(), Mode::Working);
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming,
                                                       kStageReadingVersion, kStageReading, kStageReturning}));
    EXPECT_EQ(view.Of(ViewCall::Version).at(0).text, "Версия загрузчика 12.123");
    EXPECT_EQ(view.bar(), 368);
}

TEST_F(TransferWorkerTest, IdentifyJobOnlyReadsTheVersion) {
    Device& device = Connect();
    EXPECT_EQ(Run(TransferMode::Identify, nullptr), ID_JOB_SUCCEEDED);
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming,
                                                       kStageReadingVersion, kStageReturning}));
    EXPECT_EQ(view.Of(ViewCall::Version).at(0).text, "Версия загрузчика 01.00");
    EXPECT_EQ(device.RequestCount(CMD_ERASE) + device.RequestCount(CMD_WRITE_BLOCK) +
                  device.RequestCount(CMD_READ_BLOCK),
              0);
    EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
    EXPECT_TRUE(view.Of(ViewCall::Position).empty());
}

TEST_F(TransferWorkerTest, FormatsTheVersionWithAtLeastTwoDigitsEach) {
    EXPECT_EQ(FormatLoaderVersion(1, 5), "Версия загрузчика 01.05");
    EXPECT_EQ(FormatLoaderVersion(12, 123), "Версия загрузчика 12.123");
    EXPECT_EQ(FormatLoaderVersion(0, 0), "Версия загрузчика 00.00");
    EXPECT_EQ(FormatLoaderVersion(255, 255), "Версия загрузчика 255.255");
}

TEST_F(TransferWorkerTest, CancelPointsBeforeProgrammingModeIsEntered) {
    // Cancelled before the window marked the worker started: nothing happens at all.
    Device& device = Connect();
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(3).data(), true), ID_JOB_FAILED);
    EXPECT_EQ(view.calls.size(), 1U);  // the outcome only
    EXPECT_EQ(cable().OpenCount(), 0);

    // Cancelled while the port opens: seen before the first enter request.
    view = RecordingView();
    CancelAtStage(kStageOpeningPort);
    EXPECT_EQ(Run(TransferMode::Read, std::vector<std::uint8_t>(kImageBufferSize).data()), ID_JOB_FAILED);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 0);
    EXPECT_EQ(cable().OpenCount(), 1);
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming}));

    // A device that never answers: the requests go on until the cancel, which
    // is seen after the enter operation in progress (two attempts) is over.
    FaultRule silent = Rule(FaultKind::Silent, CMD_ENTER_PROG);
    DeviceConfig config;
    config.faults = devsim::FaultPlan({silent}, std::nullopt);
    Device& mute = Connect(config);
    view = RecordingView();
    mute.SetEventHandler([this](const devsim::RequestEvent& event) {
        if (event.command == CMD_ENTER_PROG && event.attempt == 40) {
            context.abortRequested = true;
        }
    });
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(4).data()), ID_JOB_FAILED);
    EXPECT_EQ(mute.RequestCount(CMD_ENTER_PROG), 42);
    EXPECT_EQ(mute.RequestCount(CMD_RUN_PROGRAM), 0);  // programming mode was never entered
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_TRUE(view.Of(ViewCall::Error).empty());
    EXPECT_EQ(view.Stages(), (std::vector<std::string>{kStageOpeningPort, kStageEnteringProgramming}));
    EXPECT_TRUE(Erased(mute.Flash()));
}

TEST_F(TransferWorkerTest, EnterProgrammingIsRepeatedUntilTheDeviceAnswers) {
    DeviceConfig config;
    config.faults = devsim::FaultPlan({Rule(FaultKind::Silent, CMD_ENTER_PROG, devsim::kAny, 0, 25)}, std::nullopt);
    Device& device = Connect(config);
    EXPECT_EQ(Run(TransferMode::Identify, nullptr), ID_JOB_SUCCEEDED);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 26);
    // The stage line is set once, not per attempt.
    EXPECT_EQ(view.Stages().size(), 4U);
}

TEST_F(TransferWorkerTest, ATimeLimitEndsTheWaitForProgrammingModeLikeACancel) {
    DeviceConfig config;
    config.faults = devsim::FaultPlan({Rule(FaultKind::Silent, CMD_ENTER_PROG)}, std::nullopt);
    Device& device = Connect(config);
    PrepareTransferContext(context, &view, 7, nullptr, TransferMode::Identify);
    context.enterProgrammingLimitMs = 30;
    std::thread worker(TransferThreadProc, &context);
    context.workerStarted = true;
    worker.join();
    EXPECT_EQ(view.outcome, ID_JOB_FAILED);
    EXPECT_TRUE(context.enterProgrammingTimedOut);
    EXPECT_GT(device.RequestCount(CMD_ENTER_PROG), 0);
    EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 0);
    EXPECT_FALSE(cable().IsOpen());
    EXPECT_TRUE(view.Of(ViewCall::Error).empty());

    // The next job starts without a limit again.
    PrepareTransferContext(context, &view, 7, nullptr, TransferMode::Identify);
    EXPECT_EQ(context.enterProgrammingLimitMs, 0);
    EXPECT_FALSE(context.enterProgrammingTimedOut);
}

TEST_F(TransferWorkerTest, CancelDuringVersionOrEraseStillWritesBlockZero) {
    for (const char* stage : {kStageReadingVersion, kStageErasing}) {
        SCOPED_TRACE(stage);
        Device& device = Connect();
        view = RecordingView();
        CancelAtStage(stage);
        const std::vector<std::uint8_t> image = RandomImage(5);
        std::vector<std::uint8_t> copy = image;
        EXPECT_EQ(Run(TransferMode::Write, copy.data()), ID_JOB_FAILED);

        EXPECT_EQ(device.RequestCount(CMD_ERASE), 1);
        EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), 1);
        EXPECT_TRUE(BlocksEqual(image.data(), device.Flash().data(), 0, 1));
        EXPECT_TRUE(Erased(device.Flash().subspan(kBlockSize)));
        EXPECT_TRUE(view.Of(ViewCall::Position).empty());  // the bar stays at 0
        EXPECT_EQ(context.blockCounter, 0);
        EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
        EXPECT_EQ(device.CurrentMode(), Mode::Working);
        EXPECT_EQ(view.Stages().back(), kStageReturning);
        EXPECT_TRUE(view.Of(ViewCall::Error).empty());
        EXPECT_FALSE(cable().IsOpen());
    }
}

TEST_F(TransferWorkerTest, CancelWhileBlockKIsTransferredLetsItFinish) {
    for (const TransferMode mode : {TransferMode::Write, TransferMode::Read}) {
        for (const int k : {1, 200, 367}) {
            SCOPED_TRACE(::testing::Message() << "mode " << static_cast<int>(mode) << " block " << k);
            Device& device = Connect();
            const std::vector<std::uint8_t> program = RandomImage(6);
            if (mode == TransferMode::Read) {
                std::copy(program.begin(), program.end(), device.Flash().begin());
            }
            std::vector<std::uint8_t> buffer = program;
            buffer.resize(kImageBufferSize);
            std::fill(buffer.begin(), buffer.end(), 0);
            if (mode == TransferMode::Write) {
                std::copy(program.begin(), program.end(), buffer.begin());
            }
            view = RecordingView();
            // The bar reaching k means block k - 1 is done and block k comes next.
            view.onCall = [this, k](const ViewCall& call) {
                if (call.kind == ViewCall::Position && call.value == k) {
                    context.abortRequested = true;
                }
            };
            EXPECT_EQ(Run(mode, buffer.data()), ID_JOB_FAILED);

            const std::uint8_t command = mode == TransferMode::Write ? CMD_WRITE_BLOCK : CMD_READ_BLOCK;
            EXPECT_EQ(device.RequestCount(command), k + 1);
            EXPECT_TRUE(BlocksEqual(program.data(), mode == TransferMode::Write ? device.Flash().data() : buffer.data(),
                                    0, static_cast<std::size_t>(k) + 1));
            EXPECT_EQ(view.bar(), k);
            EXPECT_EQ(context.blockCounter, k);
            EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
            EXPECT_EQ(device.CurrentMode(), Mode::Working);
            EXPECT_TRUE(view.Of(ViewCall::Error).empty());
        }
    }
}

TEST_F(TransferWorkerTest, FailuresShowTheirMessageThenReturnToWorkingMode) {
    struct Case {
        const char* name;
        FaultRule rule;
        TransferMode mode;
        const char* message;  // nullptr: the failure is silent
        int bar;              // the bar when the message shows
        const char* failedStage;
    };
    const Case cases[] = {
        {"version", Rule(FaultKind::WrongCheck, CMD_GET_VERSION), TransferMode::Write, nullptr, 0,
         kStageReadingVersion},
        {"erase", Rule(FaultKind::Status, CMD_ERASE, devsim::kAny, devsim::kAny, 1, 0x00), TransferMode::Write,
         kMsgEraseError, 0, kStageErasing},
        {"write 200 5A", Rule(FaultKind::Status, CMD_WRITE_BLOCK, 200, 0, 2, 0x5A), TransferMode::Write,
         kMsgWriteError, 200, kStageWriting},
        {"write 0 2A", Rule(FaultKind::Status, CMD_WRITE_BLOCK, 0, 0, 2, 0x2A), TransferMode::Write,
         kMsgWriteError, 0, kStageWriting},
        {"write 367 silent", Rule(FaultKind::Silent, CMD_WRITE_BLOCK, 367, 0, 2), TransferMode::Write,
         kMsgWriteError, 367, kStageWriting},
        {"read 100 crc", Rule(FaultKind::CorruptCrc, CMD_READ_BLOCK, 100, 0, 2), TransferMode::Read,
         kMsgReadError, 100, kStageReading},
        {"read 0 short", Rule(FaultKind::Short, CMD_READ_BLOCK, 0, 0, 2), TransferMode::Read, kMsgReadError, 0,
         kStageReading},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceConfig config;
        config.faults = devsim::FaultPlan({c.rule}, std::nullopt);
        Device& device = Connect(config);
        view = RecordingView();
        std::vector<std::uint8_t> buffer(kImageBufferSize);
        EXPECT_EQ(Run(c.mode, buffer.data()), ID_JOB_FAILED);

        const auto errors = view.Of(ViewCall::Error);
        if (c.message == nullptr) {
            EXPECT_TRUE(errors.empty());
            EXPECT_TRUE(view.Of(ViewCall::Version).empty());
            EXPECT_EQ(device.RequestCount(CMD_ERASE) + device.RequestCount(CMD_WRITE_BLOCK) +
                          device.RequestCount(CMD_READ_BLOCK),
                      0);
        } else {
            ASSERT_EQ(errors.size(), 1U);
            EXPECT_EQ(errors[0].text, c.message);
            EXPECT_EQ(errors[0].caption, "Ошибка");
            EXPECT_EQ(errors[0].bar, c.bar);
            EXPECT_EQ(errors[0].stage, c.failedStage);  // shown before the return to working mode
        }
        EXPECT_EQ(view.bar(), c.bar);
        const auto stages = view.Stages();
        ASSERT_GE(stages.size(), 2U);
        EXPECT_EQ(stages[stages.size() - 2], c.failedStage);
        EXPECT_EQ(stages.back(), kStageReturning);
        EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
        EXPECT_EQ(device.CurrentMode(), Mode::Working);
        EXPECT_FALSE(cable().IsOpen());
    }
}

TEST_F(TransferWorkerTest, APortThatCannotBeOpenedFailsWithOneMessage) {
    Device& device = Connect();
    cable().FailOpens("in use");
    EXPECT_EQ(Run(TransferMode::Write, RandomImage(7).data()), ID_JOB_FAILED);
    ASSERT_EQ(view.calls.size(), 3U);
    EXPECT_EQ(view.calls[0].text, kStageOpeningPort);
    EXPECT_EQ(view.calls[1].kind, ViewCall::Error);
    EXPECT_EQ(view.calls[1].text, "Не могу открыть порт");
    EXPECT_EQ(view.calls[1].caption, "");  // the application title
    EXPECT_EQ(view.calls[2].value, ID_JOB_FAILED);
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 0);
    EXPECT_EQ(LastOpenError(), "in use");
}

TEST_F(TransferWorkerTest, StartWaitHoldsTheWorkerUntilItIsMarkedStarted) {
    Connect();
    PrepareTransferContext(context, &view, 7, nullptr, TransferMode::Identify);
    bool startedAtFirstCall = false;
    view.onCall = [&](const ViewCall& call) {
        if (&call == &view.calls.front()) {
            startedAtFirstCall = context.workerStarted;
        }
    };
    std::thread worker(TransferThreadProc, &context);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(view.calls.empty());
    context.workerStarted = true;
    worker.join();
    EXPECT_TRUE(startedAtFirstCall);
    EXPECT_EQ(view.outcome, ID_JOB_SUCCEEDED);
}

}  // namespace
}  // namespace bramis
