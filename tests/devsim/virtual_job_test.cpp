// The emulator behind the programmer's own bootloader commands on the virtual
// line: the result codes its faults provoke.
#include <gtest/gtest.h>

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
        channel.SetPortOpener(cable->Opener());
        ASSERT_EQ(channel.OpenPort(1), LINK_OK);
    }

    std::unique_ptr<Device> device;
    std::unique_ptr<VirtualPort> cable;
    SerialChannel channel;
};

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

    EXPECT_EQ(EnterProgramming(channel), LINK_FAILED);  // attempts 0 and 1 go unanswered
    EXPECT_EQ(EnterProgramming(channel), LINK_OK);      // attempt 2 unanswered, 3 acknowledged
    EXPECT_EQ(WriteBlock(channel, 2, block.data()), LINK_WRITE_STATUS_5A);
    EXPECT_EQ(WriteBlock(channel, 4, block.data()), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(channel, 5, dest.data()), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(channel, 5, dest.data()), LINK_OK);
    // A reply that stops for longer than a chunk read waits comes in short;
    // the device has started its program all the same.
    EXPECT_EQ(RunProgram(channel), LINK_FAILED);
    EXPECT_EQ(device->CurrentMode(), Mode::Working);
    EXPECT_EQ(device->RequestCount(CMD_RUN_PROGRAM), 2);
}

}  // namespace
}  // namespace bramis::devsim
