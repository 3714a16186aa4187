#include "link/serial_channel.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "link_harness.h"

namespace bramis::test {
namespace {

using Log = std::vector<std::string>;

const Bytes kVersionRequest = Framed({0x09, 0x23});

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

    const struct {
        std::deque<std::size_t> chunks;  // what the driver delivers to each call
        std::uint32_t capacity, preDelayMs, count;
        Log calls;
    } reads[] = {
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
    cable.FailOpens("/dev/ttyS2: Device or resource busy");
    EXPECT_EQ(channel.OpenPort(3), LINK_FAILED);
    EXPECT_EQ(channel.LastOpenError(), "/dev/ttyS2: Device or resource busy");
    // The channel stayed closed: I/O is harmless and reads nothing.
    channel.WritePort(kVersionRequest.data(), 7);
    Bytes reply(8);
    std::uint32_t count = 99;
    EXPECT_EQ(channel.ReadPort(reply.data(), 8, count, 0), 0U);
    EXPECT_EQ(count, 0U);
    EXPECT_TRUE(device.requests.empty());

    cable.FailOpens("");
    for (const auto& [number, opened] : {std::pair{0U, 1U}, {256U, 1U}, {255U, 255U}, {1U, 1U}, {UINT_MAX, 1U}}) {
        // No ClosePort in between: each open releases the line before opening it again.
        EXPECT_EQ(channel.OpenPort(number), LINK_OK);
        EXPECT_EQ(cable.LastPortNumber(), opened) << number;
        EXPECT_TRUE(cable.IsOpen()) << number;
        EXPECT_EQ(channel.LastOpenError(), "");
    }
    channel.ClosePort();
    EXPECT_FALSE(cable.IsOpen());
    channel.ClosePort();
}

// The chunk rule on the virtual line, with the device's answers at wire speed.
class VirtualChannelTest : public ChannelTest {
protected:
    void SetUp() override {
        channel.SetPortOpener(cable.Opener());
        ASSERT_EQ(channel.OpenPort(1), LINK_OK);
    }

    // Writes the version request and reads up to `capacity` bytes of its answer.
    Bytes Exchange(std::uint32_t capacity, std::uint32_t preDelayMs = 0) {
        channel.WritePort(kVersionRequest.data(), 7);
        Bytes reply(capacity);
        std::uint32_t count = 0;
        EXPECT_EQ(channel.ReadPort(reply.data(), capacity, count, preDelayMs), count);
        reply.resize(count);
        return reply;
    }

    // When the n-th answer byte (from 0) is complete, for an answer that starts
    // 1 ms after the last request byte arrived.
    double AnswerByteMs(std::size_t n) const {
        return device.requestEndMs.back() + 1.0 + static_cast<double>(n + 1) * kByteWireMs;
    }

    ScriptedPeer device;
    VirtualPort cable{device};
};

TEST_F(VirtualChannelTest, CapacityIntervalSilenceAndPausesEndTheRead) {
    // The answer arrives during the pre-delay and is read at once; 6 are read,
    // and the next write discards the 2 left.
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Exchange(6, 100), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_NEAR(cable.NowMs(), 7 * kByteWireMs + 100.0, 1e-9);
    device.Queue(Bytes{9, 10});
    EXPECT_EQ(Exchange(6), (Bytes{9, 10}));

    // Short of capacity: the 5 ms interval, then one silent chunk.
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(Exchange(10).size(), 7U);
    EXPECT_NEAR(cable.NowMs(), AnswerByteMs(6) + 5.0 + 30.0, 1e-9);

    // Silence: pacing of 8 ms (the 7 bytes need 8.02 ms on the wire), the pre-delay, one chunk.
    device.Queue(Bytes{});
    const double start = cable.NowMs();
    EXPECT_EQ(Exchange(10, 500).size(), 0U);
    EXPECT_NEAR(cable.NowMs(), start + 7 * kByteWireMs + 500.0 + 30.0, 1e-9);

    // A pause longer than the interval ends a chunk call, but the next one finds the rest.
    device.Queue(ScriptedReply{{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0, 4, 20.0});
    EXPECT_EQ(Exchange(16).size(), 9U);
    // Longer than a whole silent chunk too: the answer comes out short, and the
    // rest, coming later, waits in the driver.
    device.Queue(ScriptedReply{{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0, 4, 40.0});
    EXPECT_EQ(Exchange(16), (Bytes{1, 2, 3, 4}));
    Bytes rest(16);
    std::uint32_t count = 0;
    EXPECT_EQ(channel.ReadPort(rest.data(), 16, count, 0), 5U);
    EXPECT_EQ(rest[0], 5);

    // Without a pre-delay the read returns the moment the sixth byte is in.
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Exchange(6).size(), 6U);
    EXPECT_NEAR(cable.NowMs(), AnswerByteMs(5), 1e-9);
}

TEST(VirtualLine, AGapOfFiveMsEndsAChunkCall) {
    for (const double gapMs : {4.9, 5.1}) {
        SCOPED_TRACE(gapMs);
        ScriptedPeer device;
        VirtualClock clock;
        VirtualLine line(device, clock);
        std::array<std::uint8_t, 16> buffer{};
        device.Queue(ScriptedReply{{1, 2}, 0.0, 1, gapMs - kByteWireMs});
        line.WriteAll(kVersionRequest.data(), kVersionRequest.size());
        EXPECT_EQ(clock.nowMs, 0.0);  // the driver takes the bytes at once
        line.Drain();
        EXPECT_DOUBLE_EQ(clock.nowMs, 7 * kByteWireMs);
        const std::size_t first = line.ReadChunk(buffer.data(), 16);
        EXPECT_EQ(first, gapMs < 5.0 ? 2U : 1U);
        // The call ends 5 ms after the last byte it got.
        EXPECT_DOUBLE_EQ(clock.nowMs, 8 * kByteWireMs + (first == 2 ? gapMs : 0.0) + 5.0);
        EXPECT_EQ(first + line.ReadChunk(buffer.data(), 16), 2U);
    }
}

TEST_F(VirtualChannelTest, TraceShowsRequestsAndRepliesWithTheLineClock) {
    using Entry = std::tuple<TraceDirection, Bytes, double>;
    std::vector<Entry> trace;
    channel.SetTraceHandler([&](TraceDirection direction, const std::uint8_t* data, std::size_t length, double atMs) {
        trace.emplace_back(direction, Bytes(data, data + length), atMs);
    });
    device.Queue(Bytes{7, 8, 9});
    const double start = cable.NowMs();
    Exchange(4);
    EXPECT_EQ(trace, (std::vector<Entry>{{TraceDirection::Sent, kVersionRequest, start},
                                         {TraceDirection::Received, Bytes{7, 8, 9}, cable.NowMs()}}));
}

}  // namespace
}  // namespace bramis::test
