#include "link/serial_channel.h"

#include <gtest/gtest.h>

#include <climits>

#include "link_harness.h"

namespace bramis::test {
namespace {

using Log = std::vector<std::string>;

class ChannelTest : public ::testing::Test {
protected:
    // Opens the channel on a backend that logs into `log`.
    void OpenRecording(Log& log, std::deque<std::size_t> chunks = {}) {
        log.clear();
        channel.SetPortOpener([&log, chunks](unsigned) {
            return PortOpenResult{std::make_unique<RecordingBackend>(log, chunks), {}};
        });
        ASSERT_EQ(channel.OpenPort(1), LINK_OK);
    }

    SerialChannel channel;
};

TEST_F(ChannelTest, WritePortSendsPurgesPacesAndDrainsAndReadPortAsksForChunksOfAtMost16) {
    Log log;
    OpenRecording(log);
    const Bytes request(1037, 0x40);
    // 1.2 ms a byte, truncated: 7 bytes pause 8 ms, not 8.4 or 9.
    for (const auto& [length, pauseMs] : {std::pair{6, 7}, {7, 8}, {9, 10}, {1037, 1244}}) {
        log.clear();
        channel.WritePort(request.data(), static_cast<std::uint32_t>(length));
        EXPECT_EQ(log, (Log{"write " + std::to_string(length), "purge", "sleep " + std::to_string(pauseMs), "drain"}));
    }

    // `chunks`: what the driver delivers to each call.
    const struct { std::deque<std::size_t> chunks; std::uint32_t capacity, preDelayMs, count; Log calls; } reads[] = {
        // Exactly three calls, none after the capacity is reached.
        {{16, 16, 8}, 40, 0, 40, {"read 16", "read 16", "read 8"}},
        // Short of capacity, until a call gets nothing; a pre-delay comes first.
        {{7, 0}, 10, 500, 7, {"sleep 500", "read 10", "read 3"}},
        // A driver that claims more than it was asked for cannot push the count past capacity.
        {{30, 30}, 20, 0, 20, {"read 16", "read 4"}},
    };
    for (const auto& r : reads) {
        OpenRecording(log, r.chunks);
        Bytes buffer(64);
        std::uint32_t count = 99;
        EXPECT_EQ(channel.ReadPort(buffer.data(), r.capacity, count, r.preDelayMs), r.count);
        EXPECT_EQ(count, r.count);
        EXPECT_EQ(log, r.calls);
    }
}

TEST_F(ChannelTest, NumbersOutsideOneTo255OpenCom1AndAFailedOpenLeavesTheChannelClosed) {
    ScriptedPeer device;
    VirtualPort cable(device);
    channel.SetPortOpener(cable.Opener());
    const PortOpenError busy{OpenFailure::Busy, "/dev/ttyS2", 16, "Device or resource busy", {}};
    cable.FailOpens(busy);
    EXPECT_EQ(channel.OpenPort(3), LINK_FAILED);
    EXPECT_EQ(channel.LastOpenError(), busy);
    // The channel stayed closed: I/O is harmless and reads nothing.
    channel.WritePort(Framed({0x09, 0x23}).data(), 7);
    Bytes reply(8);
    std::uint32_t count = 99;
    EXPECT_EQ(channel.ReadPort(reply.data(), 8, count, 0), 0U);
    EXPECT_EQ(count, 0U);
    EXPECT_TRUE(device.requests.empty());

    cable.FailOpens(std::nullopt);
    for (const auto& [number, opened] : {std::pair{0U, 1U}, {256U, 1U}, {255U, 255U}, {1U, 1U}, {UINT_MAX, 1U}}) {
        // No ClosePort in between: each open releases the line before opening it again.
        EXPECT_EQ(channel.OpenPort(number), LINK_OK);
        EXPECT_EQ(cable.LastPortNumber(), opened) << number;
        EXPECT_TRUE(cable.IsOpen()) << number;
        EXPECT_EQ(channel.LastOpenError(), PortOpenError{});
    }
    channel.ClosePort();
    EXPECT_FALSE(cable.IsOpen());
    channel.ClosePort();
}

}  // namespace
}  // namespace bramis::test
