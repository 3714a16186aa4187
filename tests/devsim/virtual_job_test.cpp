// The emulator behind the programmer's own bootloader commands on the virtual
// line: whole jobs in virtual time, and the result codes its faults provoke.
#include <gtest/gtest.h>

#include <chrono>
#include <utility>
#include <vector>

#include "devsim/device.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis::devsim {
namespace {

class VirtualJobTest : public ::testing::Test {
protected:
    void Connect(DeviceConfig config) {
        config.timing.wireSpeed = true;
        device = std::make_unique<Device>(std::move(config));
        cable = std::make_unique<VirtualPort>(*device);
        SetPortOpener(cable->Opener());
        ASSERT_EQ(OpenPort(1), LINK_OK);
    }
    void TearDown() override {
        ClosePort();
        SetPortOpener({});
    }

    std::unique_ptr<Device> device;
    std::unique_ptr<VirtualPort> cable;
};

TEST_F(VirtualJobTest, WholeWriteAndReadJobTakesVirtualMinutesAndRealMilliseconds) {
    DeviceConfig config;
    config.versionMajor = 3;
    config.versionMinor = 7;
    Connect(std::move(config));
    std::vector<std::uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 9));
    }
    std::vector<std::uint8_t> back(kImageBufferSize);
    const auto started = std::chrono::steady_clock::now();

    ASSERT_EQ(EnterProgramming(), LINK_OK);
    int major = 0;
    int minor = 0;
    ASSERT_EQ(GetLoaderVersion(major, minor), LINK_OK);
    EXPECT_EQ(std::pair(major, minor), std::pair(3, 7));
    ASSERT_EQ(EraseProgram(), LINK_OK);
    for (int block = 0; block < static_cast<int>(kBlockCount); ++block) {
        ASSERT_EQ(WriteBlock(block, image.data() + block * kBlockSize), LINK_OK) << block;
    }
    for (int block = 0; block < static_cast<int>(kBlockCount); ++block) {
        ASSERT_EQ(ReadBlock(block, back.data() + block * kBlockSize), LINK_OK) << block;
    }
    ASSERT_EQ(RunProgram(), LINK_OK);

    const double realMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    back.resize(kImageSize);
    EXPECT_EQ(back, image);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), device->Flash().begin()));
    EXPECT_EQ(device->CurrentMode(), Mode::Working);
    EXPECT_EQ(device->RequestCount(CMD_WRITE_BLOCK), 368);
    EXPECT_EQ(device->RequestCount(CMD_READ_BLOCK), 368);
    // Each write is paced 1244 ms and waits 40 ms more before its read.
    EXPECT_GT(cable->NowMs(), 368.0 * 1284.0);
    // About half a second in a debug build; the bound leaves room for the
    // sanitizers and a loaded machine, far below the 16 minutes of the job.
    EXPECT_LT(realMs, 3000.0) << "virtual time should cost no real time";
    RecordProperty("real_ms", std::to_string(realMs));
}

// Each fault on its own is judged in fault_test; here they meet the programmer's
// retries and the line's timing.
TEST_F(VirtualJobTest, FaultsGiveTheProgrammersResultCodes) {
    using enum FaultKind;
    DeviceConfig config;
    config.faults = FaultPlan(
        {
            {.kind = Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = 3},
            {.kind = Status, .command = CMD_WRITE_BLOCK, .block = 2, .attempt = 0, .times = 2, .value = 0x5A},
            {.kind = Short, .command = CMD_WRITE_BLOCK, .block = 4, .attempt = 0},
            {.kind = Silent, .command = CMD_WRITE_BLOCK, .block = 4, .attempt = 1},
            {.kind = CorruptCrc, .command = CMD_READ_BLOCK, .block = 5, .attempt = 0, .times = 2},
            {.kind = Pause, .command = CMD_RUN_PROGRAM, .attempt = 0, .value = 60},
        },
        std::nullopt);
    Connect(std::move(config));
    const std::vector<std::uint8_t> block(kBlockSize, 0x3C);
    std::vector<std::uint8_t> dest(kBlockSize + 2);

    EXPECT_EQ(EnterProgramming(), LINK_FAILED);  // attempts 0 and 1 go unanswered
    EXPECT_EQ(EnterProgramming(), LINK_OK);      // attempt 2 unanswered, 3 acknowledged
    EXPECT_EQ(WriteBlock(2, block.data()), LINK_WRITE_STATUS_5A);
    EXPECT_EQ(WriteBlock(4, block.data()), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(5, dest.data()), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(5, dest.data()), LINK_OK);
    // A reply that stops for longer than a chunk read waits comes in short;
    // the device has started its program all the same.
    EXPECT_EQ(RunProgram(), LINK_FAILED);
    EXPECT_EQ(device->CurrentMode(), Mode::Working);
    EXPECT_EQ(device->RequestCount(CMD_RUN_PROGRAM), 2);
}

}  // namespace
}  // namespace bramis::devsim
