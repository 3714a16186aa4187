// "Find the device" over emulated devices on virtual lines: a port that does
// not open, a silent one, the device, and one after it that is never tried.
#include "job/device_finder.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "devsim/device.h"
#include "link/bootloader.h"
#include "link/virtual_line.h"

namespace bramis {
namespace {

using devsim::Device;
using devsim::FaultKind;

TEST(FindDevice, NamesThePortThatAnswersAndLeavesEveryDeviceInWorkingMode) {
    devsim::DeviceConfig silent;
    silent.faults = devsim::FaultPlan({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG}}, std::nullopt);
    // The device hears the first request but its acknowledgement is lost.
    devsim::DeviceConfig lostAnswer;
    lostAnswer.faults = devsim::FaultPlan({{.kind = FaultKind::WrongCheck, .command = CMD_ENTER_PROG}}, std::nullopt);
    std::map<int, std::unique_ptr<Device>> devices;
    devices[3] = std::make_unique<Device>(silent);
    devices[4] = std::make_unique<Device>(lostAnswer);
    for (const int number : {5, 6}) devices[number] = std::make_unique<Device>();
    std::map<int, std::unique_ptr<VirtualPort>> cables;
    for (auto& [number, device] : devices) cables[number] = std::make_unique<VirtualPort>(*device);
    const auto openerFor = [&cables](const FoundPort& port) -> PortOpener {
        if (!cables.count(port.number)) return [](unsigned) { return PortOpenResult{nullptr, {}}; };
        return cables[port.number]->Opener();
    };
    const std::vector<FoundPort> ports{{.number = 2}, {.number = 3}, {.number = 4}, {.number = 5}, {.number = 6}};
    std::atomic<bool> cancel{false};
    std::vector<std::size_t> tried;

    const FindResult result = FindDevice(ports, cancel, [&](std::size_t index) { tried.push_back(index); }, openerFor);
    ASSERT_TRUE(result.found);
    EXPECT_EQ(result.found->number, 5);
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(tried, (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(devices[3]->RequestCount(CMD_ENTER_PROG), 6);  // three requests of two attempts each
    for (const int number : {3, 4, 5, 6}) {
        EXPECT_EQ(devices[number]->CurrentMode(), devsim::Mode::Working) << number;
        EXPECT_FALSE(cables[number]->IsOpen()) << number;
    }
    EXPECT_EQ(devices[5]->RequestCount(CMD_RUN_PROGRAM), 1);
    EXPECT_EQ(devices[6]->RequestCount(CMD_ENTER_PROG), 0);

    // A cancel stops before the next port.
    cancel = true;
    const FindResult cancelled = FindDevice(ports, cancel, {}, openerFor);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.found);
}

}  // namespace
}  // namespace bramis
