// The emulator behind a USB-serial adapter: when its replies reach the
// programmer, and whole jobs on the virtual line through adapters that hand
// bytes on late.
#include <gtest/gtest.h>

#include <string>

#include "../link/link_harness.h"
#include "devsim/adapter_model.h"
#include "devsim/device.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"

namespace bramis::devsim {
namespace {

using bramis::test::Bytes;

// Answers the n-th byte fed with `count` bytes, arriving 1 ms apart from 1 ms after it.
class Burst final : public LinePeer {
public:
    explicit Burst(std::size_t count) : count_(count) {}
    std::vector<TimedByte> OnByte(std::uint8_t, double atMs) override {
        std::vector<TimedByte> out;
        for (std::size_t i = 1; i <= count_; ++i) out.push_back({static_cast<std::uint8_t>(i), atMs + double(i)});
        return out;
    }

private:
    std::size_t count_;
};

std::vector<double> Times(const std::vector<TimedByte>& bytes) {
    std::vector<double> times;
    for (const TimedByte& b : bytes) times.push_back(b.atMs);
    return times;
}

TEST(AdapterPeerTest, HandsBytesOnAtTheTimerOrWhenAPacketFills) {
    Burst burst(5);
    AdapterPeer timer(burst, {.latencyMs = 2.5});
    // Bytes at 11..15: the timer goes off at 12.5, 15.
    EXPECT_EQ(Times(timer.OnByte(0, 10.0)), (std::vector{12.5, 12.5, 15.0, 15.0, 15.0}));

    // A full packet goes at once and restarts the timer: bytes at 1..5, packets of 2.
    AdapterPeer packets(burst, {.latencyMs = 10.0, .packetBytes = 2});
    EXPECT_EQ(Times(packets.OnByte(0, 0.0)), (std::vector{2.0, 2.0, 4.0, 4.0, 14.0}));
    // The timer runs on from the last packet (4 ms): bytes at 21..25 wait for 24 and 34.
    EXPECT_EQ(Times(packets.OnByte(0, 20.0)), (std::vector{22.0, 22.0, 24.0, 24.0, 34.0}));

    // Jitter delays hand-overs but never reorders the bytes.
    AdapterPeer jittery(burst, {.latencyMs = 1.0, .jitterMs = 5.0});
    const std::vector<double> times = Times(jittery.OnByte(0, 0.0));
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_GT(times.back(), 5.0);
    EXPECT_LE(times.back(), 10.0);
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_GE(times[i], double(i + 1));
}

// A whole job on the virtual line: "ok", or the first failing step and its result.
std::string WriteAndRead(const AdapterModel& adapter) {
    DeviceConfig config;
    config.timing.wireSpeed = true;  // a reply's bytes reach the adapter as a cable brings them
    Device device(std::move(config));
    AdapterPeer line(device, adapter);
    VirtualPort cable(line);
    SerialChannel channel;
    channel.SetPortOpener(cable.Opener());
    if (channel.OpenPort(1) != LINK_OK) return "open";
    const auto failed = [&](const std::string& step, int result) {
        return step + " failed " + std::to_string(result);
    };
    if (const int r = EnterProgramming(channel); r != LINK_OK) return failed("enter", r);
    if (const int r = EraseProgram(channel); r != LINK_OK) return failed("erase", r);
    const bramis::test::Block data = bramis::test::RandomBlock(7);
    for (int block = 0; block < static_cast<int>(kBlockCount); ++block) {
        if (const int r = WriteBlock(channel, block, data.data()); r != LINK_OK) {
            return failed("write " + std::to_string(block), r);
        }
    }
    std::array<std::uint8_t, kBlockSize + 2> back{};
    for (int block = 0; block < static_cast<int>(kBlockCount); ++block) {
        if (const int r = ReadBlock(channel, block, back.data()); r != LINK_OK) {
            return failed("read " + std::to_string(block), r);
        }
        if (!std::equal(data.begin(), data.end(), back.begin())) return "read " + std::to_string(block) + " differs";
    }
    if (const int r = RunProgram(channel); r != LINK_OK) return failed("run", r);
    return "ok, " + std::to_string(channel.RetriedAttempts()) + " retries";
}

TEST(AdapterPeerTest, WholeJobPassesAtTheCommonLatencyAndReadsFailAtTwiceIt) {
    EXPECT_EQ(WriteAndRead({.latencyMs = 16.0, .jitterMs = 1.0}), "ok, 0 retries");
    // A read whose next bytes come more than a chunk read's 30 ms later is cut
    // short; its rest, left for the second attempt, spoils that one too.
    const std::string damaged = " failed " + std::to_string(LINK_CMD_FAILED);
    EXPECT_EQ(WriteAndRead({.latencyMs = 32.0}), "read 2" + damaged);
    // Two chunk reads take a full packet of 32 at once; the next is 37 ms away.
    EXPECT_EQ(WriteAndRead({.latencyMs = 40.0, .packetBytes = 32}), "read 0" + damaged);
}

}  // namespace
}  // namespace bramis::devsim
