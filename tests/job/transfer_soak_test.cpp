// Many whole jobs in virtual time against a device that makes random faults,
// some of them beyond what a retry can mend, with cancels at random points.
// Whatever happens, the outcome must tell the truth and a device that entered
// programming mode must be back in working mode.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

#include "devsim/device.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "link/codec.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"
#include "recording_view.h"

namespace bramis {
namespace {

using devsim::Device;
using devsim::FaultKind;
using test::RecordingView;
using test::ViewCall;

#if defined(__SANITIZE_THREAD__)
#define BRAMIS_THREAD_SANITIZER
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BRAMIS_THREAD_SANITIZER
#endif
#endif
#ifdef BRAMIS_THREAD_SANITIZER
// The thread sanitizer makes the virtual line many times slower; the races it
// looks for (the flags, the view, the hand-over of the buffer) show in any job.
constexpr int kJobs = 30;
#else
constexpr int kJobs = 200;
#endif

struct JobPlan {
    TransferMode mode;
    devsim::DeviceConfig config;
    int cancelAtBlock = 0;    // cancel once the bar reaches this (1..368), 0: never
    bool hardFault = false;   // a fault both attempts meet
};

JobPlan PlanJob(std::mt19937& random, std::uint32_t seed) {
    JobPlan plan;
    plan.mode = random() % 2 == 0 ? TransferMode::Write : TransferMode::Read;
    devsim::RandomFaults faults;
    faults.seed = seed;
    faults.probability = std::uniform_real_distribution<double>(0.0, 0.2)(random);
    std::vector<devsim::FaultRule> rules;
    switch (random() % 4) {
        case 0: {  // a fault that the second attempt meets as well
            devsim::FaultRule rule;
            const FaultKind kinds[] = {FaultKind::Silent, FaultKind::Status, FaultKind::CorruptCrc, FaultKind::Short,
                                       FaultKind::WrongHeader, FaultKind::WrongCheck};
            rule.kind = kinds[random() % std::size(kinds)];
            const std::uint8_t commands[] = {CMD_GET_VERSION, CMD_ERASE, CMD_WRITE_BLOCK, CMD_READ_BLOCK};
            rule.command = commands[random() % std::size(commands)];
            rule.block = static_cast<int>(random() % kBlockCount);
            if (rule.command == CMD_GET_VERSION || rule.command == CMD_ERASE) {
                rule.block = devsim::kAny;
            }
            rule.attempt = 0;
            rule.times = 2;
            if (rule.kind == FaultKind::Status) {
                rule.value = random() % 2 == 0 ? 0x5A : 0x2A;
            }
            if (devsim::FaultFits(rule.kind, *rule.command)) {
                rules.push_back(rule);
                const bool writing = plan.mode == TransferMode::Write;
                plan.hardFault = rule.command == CMD_GET_VERSION || (rule.command == CMD_ERASE && writing) ||
                                 (rule.command == CMD_WRITE_BLOCK && writing) ||
                                 (rule.command == CMD_READ_BLOCK && !writing);
            }
            break;
        }
        case 1:
            // 368 comes after the last block: too late to stop anything.
            plan.cancelAtBlock = 1 + static_cast<int>(random() % kBlockCount);
            break;
        default:
            break;
    }
    // Silent first enter requests now and then: the worker keeps asking.
    if (random() % 3 == 0) {
        devsim::FaultRule deaf;
        deaf.kind = FaultKind::Silent;
        deaf.command = CMD_ENTER_PROG;
        deaf.attempt = 0;
        deaf.times = static_cast<int>(random() % 7);
        rules.push_back(deaf);
    }
    plan.config.faults = devsim::FaultPlan(rules, faults);
    plan.config.versionMajor = static_cast<int>(random() % 256);
    plan.config.versionMinor = static_cast<int>(random() % 256);
    return plan;
}

TEST(TransferSoak, EveryOutcomeTellsTheTruth) {
    std::mt19937 random(20261207);
    int succeeded = 0;
    int failedWithMessage = 0;
    int cancelled = 0;
    for (int job = 0; job < kJobs; ++job) {
        SCOPED_TRACE(::testing::Message() << "job " << job);
        const JobPlan plan = PlanJob(random, static_cast<std::uint32_t>(job) + 1);
        Device device(plan.config);
        VirtualPort cable(device);
        SetPortOpener(cable.Opener());

        std::vector<std::uint8_t> image(kImageSize);
        for (auto& b : image) {
            b = static_cast<std::uint8_t>(random());
        }
        std::vector<std::uint8_t> buffer(kImageBufferSize, 0);
        if (plan.mode == TransferMode::Write) {
            std::copy(image.begin(), image.end(), buffer.begin());
        } else {
            std::copy(image.begin(), image.end(), device.Flash().begin());
        }

        RecordingView view;
        TransferContext& context = g_transferContext;
        PrepareTransferContext(context, &view, 1, buffer.data(), plan.mode);
        bool enteredProgramming = false;
        device.SetModeHandler([&](devsim::Mode mode) { enteredProgramming |= mode == devsim::Mode::Programming; });
        view.onCall = [&](const ViewCall& call) {
            if (call.kind == ViewCall::Position && call.value == plan.cancelAtBlock) {
                context.abortRequested = true;
            }
        };
        std::thread worker(TransferThreadProc, &context);
        context.workerStarted = true;
        worker.join();
        SetPortOpener({});

        ASSERT_TRUE(view.outcome.has_value());
        EXPECT_FALSE(view.callAfterOutcome);
        EXPECT_FALSE(cable.IsOpen());
        if (enteredProgramming) {
            EXPECT_EQ(device.CurrentMode(), devsim::Mode::Working);
            EXPECT_EQ(view.Stages().back(), kStageReturning);
        }
        const bool cancelledInTime = plan.cancelAtBlock > 0 && plan.cancelAtBlock < static_cast<int>(kBlockCount);
        if (*view.outcome == ID_JOB_SUCCEEDED) {
            ++succeeded;
            EXPECT_FALSE(plan.hardFault);
            EXPECT_FALSE(cancelledInTime);
            EXPECT_TRUE(view.Of(ViewCall::Error).empty());
            EXPECT_EQ(view.bar(), 368);
            if (plan.mode == TransferMode::Write) {
                EXPECT_TRUE(std::equal(image.begin(), image.end(), device.Flash().begin()));
            } else {
                EXPECT_TRUE(std::equal(image.begin(), image.end(), buffer.begin()));
                const std::uint16_t crc = Crc16(image.data() + 367 * kBlockSize, kBlockSize);
                EXPECT_EQ(buffer[kImageSize] | buffer[kImageSize + 1] << 8, crc);
            }
            continue;
        }
        // A failed job: cancelled, or the one fault a retry could not mend,
        // reported in a message unless it struck the version request.
        EXPECT_TRUE(plan.hardFault || cancelledInTime);
        const bool versionFailed = view.Of(ViewCall::Version).empty();
        if (!view.Of(ViewCall::Error).empty()) {
            ++failedWithMessage;
            EXPECT_EQ(view.Of(ViewCall::Error).size(), 1U);
        } else {
            ++cancelled;
            EXPECT_TRUE(cancelledInTime || versionFailed);
        }
        EXPECT_LT(view.bar(), 368);
    }
    // The mix really covered all three endings.
    EXPECT_GT(succeeded, kJobs / 4);
    EXPECT_GT(failedWithMessage, kJobs / 40);
    EXPECT_GT(cancelled, kJobs / 40);
}

}  // namespace
}  // namespace bramis
