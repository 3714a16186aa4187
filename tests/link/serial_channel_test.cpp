#include "link/serial_channel.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "link/bootloader.h"
#include "link/virtual_line.h"
#include "scripted_peer.h"

namespace bramis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Log = std::vector<std::string>;
using test::RecordingBackend;
using test::ScriptedPeer;
using test::ScriptedReply;

const Bytes kVersionRequest{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x09, 0x23};

// Restores the channel's module state whatever a test left behind.
class ChannelTest : public ::testing::Test {
protected:
    void TearDown() override {
        ClosePort();
        SetPortOpener({});
        SetTraceHandler({});
        SetPortOverrides({});
    }

    // Opens the channel on a backend that logs into `log`.
    void OpenRecording(Log& log, std::deque<std::size_t> chunks = {}) {
        SetPortOpener([&log, chunks](unsigned) {
            return PortOpenResult{std::make_unique<RecordingBackend>(log, chunks), {}};
        });
        ASSERT_EQ(OpenPort(1), LINK_OK);
    }

    // Writes `request` and reads up to `capacity` bytes of its answer.
    Bytes Exchange(const Bytes& request, std::uint32_t capacity, std::uint32_t preDelayMs = 0) {
        WritePort(request.data(), static_cast<std::uint32_t>(request.size()));
        Bytes reply(capacity);
        std::uint32_t count = 0;
        EXPECT_EQ(ReadPort(reply.data(), capacity, count, preDelayMs), count);
        reply.resize(count);
        return reply;
    }
};

TEST_F(ChannelTest, WritePortSendsPurgesPacesAndDrainsInThatOrder) {
    Log log;
    OpenRecording(log);
    const Bytes request(1037, 0x40);
    for (std::uint32_t length : {6U, 7U, 9U, 1037U}) {
        log.clear();
        WritePort(request.data(), length);
        // 1.2 ms a byte, truncated: 7 bytes pause 8 ms, not 8.4 or 9.
        const std::uint32_t pauseMs = length == 6 ? 7 : length == 7 ? 8 : length == 9 ? 10 : 1244;
        EXPECT_EQ(log, (Log{"write " + std::to_string(length), "purge", "sleep " + std::to_string(pauseMs), "drain"}));
    }
}

TEST_F(ChannelTest, ReadPortAsksForChunksOfAtMost16UntilCapacityOrNothing) {
    Log log;
    // 40 bytes at capacity 40: exactly three calls, none after the capacity is reached.
    OpenRecording(log, {16, 16, 8});
    Bytes buffer(64);
    std::uint32_t count = 99;
    EXPECT_EQ(ReadPort(buffer.data(), 40, count, 0), 40U);
    EXPECT_EQ(log, (Log{"read 16", "read 16", "read 8"}));

    // Seven bytes at capacity 10, then a call that gets nothing; a pre-delay comes first.
    log.clear();
    OpenRecording(log, {7, 0});
    EXPECT_EQ(ReadPort(buffer.data(), 10, count, 500), 7U);
    EXPECT_EQ(count, 7U);
    EXPECT_EQ(log, (Log{"sleep 500", "read 10", "read 3"}));

    // A driver that claims more than it was asked for cannot push the count past capacity.
    log.clear();
    OpenRecording(log, {30, 30});
    EXPECT_EQ(ReadPort(buffer.data(), 20, count, 0), 20U);
    EXPECT_EQ(log, (Log{"read 16", "read 4"}));
}

TEST_F(ChannelTest, PortNumbersOutsideOneTo255OpenCom1AndFailuresKeepTheReason) {
    std::vector<unsigned> opened;
    std::string failure;
    Log ignored;
    SetPortOpener([&](unsigned number) {
        opened.push_back(number);
        if (!failure.empty()) {
            return PortOpenResult{nullptr, failure};
        }
        return PortOpenResult{std::make_unique<RecordingBackend>(ignored, std::deque<std::size_t>{}), {}};
    });
    for (unsigned number : {0U, 256U, 255U, 1U, UINT_MAX}) {
        EXPECT_EQ(OpenPort(number), LINK_OK);
        EXPECT_EQ(LastOpenError(), "");
        ClosePort();
    }
    EXPECT_EQ(opened, (std::vector<unsigned>{1, 1, 255, 1, 1}));

    failure = "/dev/ttyS2: Device or resource busy";
    EXPECT_EQ(OpenPort(3), LINK_FAILED);
    EXPECT_EQ(LastOpenError(), failure);
    // The channel stayed closed: I/O is harmless and reads nothing.
    const Bytes request{1, 2, 3};
    WritePort(request.data(), 3);
    Bytes reply(8, 0xEE);
    std::uint32_t count = 99;
    EXPECT_EQ(ReadPort(reply.data(), 8, count, 0), 0U);
    EXPECT_EQ(count, 0U);
    ClosePort();
}

TEST_F(ChannelTest, ClosingTwiceOrOpeningOverAnOpenPortReleasesEachLineOnce) {
    ScriptedPeer device;
    VirtualPort cable(device);
    SetPortOpener(cable.Opener());
    ASSERT_EQ(OpenPort(4), LINK_OK);
    ASSERT_EQ(OpenPort(5), LINK_OK);
    EXPECT_EQ(cable.OpenCount(), 2);
    EXPECT_TRUE(cable.IsOpen());
    EXPECT_EQ(cable.LastPortNumber(), 5U);
    ClosePort();
    EXPECT_FALSE(cable.IsOpen());
    ClosePort();

    cable.FailOpens("unplugged");
    EXPECT_EQ(OpenPort(5), LINK_FAILED);
    EXPECT_EQ(LastOpenError(), "unplugged");
    EXPECT_FALSE(cable.IsOpen());
}

// The chunk rule on the virtual line, with the device's answers at wire speed.
class VirtualChannelTest : public ChannelTest {
protected:
    void SetUp() override {
        SetPortOpener(cable.Opener());
        ASSERT_EQ(OpenPort(1), LINK_OK);
    }

    // When the device's n-th answer byte (from 0) is complete, for an answer
    // that starts `delayMs` after the last request byte arrived.
    double AnswerByteMs(std::size_t n, double delayMs = 1.0) const {
        return device.requestEndMs.back() + delayMs + static_cast<double>(n + 1) * kByteWireMs;
    }

    ScriptedPeer device;
    VirtualPort cable{device};
};

TEST_F(VirtualChannelTest, CapacityEndsTheReadAndTheNextWriteDiscardsTheRest) {
    // The answer arrives during the pre-delay; 6 are read, 2 stay in the driver.
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Exchange(kVersionRequest, 6, 100), (Bytes{1, 2, 3, 4, 5, 6}));
    device.Queue(Bytes{9, 10});
    EXPECT_EQ(Exchange(kVersionRequest, 6), (Bytes{9, 10}));

    // Without a pre-delay the read returns the moment the sixth byte is in.
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(Exchange(kVersionRequest, 6).size(), 6U);
    EXPECT_NEAR(cable.NowMs(), AnswerByteMs(5), 1e-9);
}

TEST_F(VirtualChannelTest, ShortAnswerCostsFiveMsOfIntervalAndOneSilentChunk) {
    device.Queue(Bytes{1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(Exchange(kVersionRequest, 10).size(), 7U);
    EXPECT_NEAR(cable.NowMs(), AnswerByteMs(6) + 5.0 + 30.0, 1e-9);

    device.QueueSilence();
    const double start = cable.NowMs();
    EXPECT_EQ(Exchange(kVersionRequest, 10, 500).size(), 0U);
    // Pacing of 8 ms (the 7 bytes need 8.02 ms on the wire), the pre-delay, one silent chunk.
    EXPECT_NEAR(cable.NowMs(), start + 7 * kByteWireMs + 500.0 + 30.0, 1e-9);
}

TEST_F(VirtualChannelTest, PausesInMidAnswer) {
    // Longer than the 5 ms interval: the chunk call ends, but the next one finds the rest.
    device.Queue(ScriptedReply{{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0, 4, 20.0});
    EXPECT_EQ(Exchange(kVersionRequest, 16).size(), 9U);

    // Longer than the interval and a whole silent chunk: the answer comes out short,
    // and the rest, coming later, waits in the driver.
    device.Queue(ScriptedReply{{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1.0, 4, 40.0});
    EXPECT_EQ(Exchange(kVersionRequest, 16), (Bytes{1, 2, 3, 4}));
    Bytes rest(16);
    std::uint32_t count = 0;
    EXPECT_EQ(ReadPort(rest.data(), 16, count, 0), 5U);
    EXPECT_EQ(rest[0], 5);
}

TEST(VirtualLine, WireTimingPurgeAndChunkRule) {
    ScriptedPeer device;
    VirtualClock clock;
    VirtualLine line(device, clock);
    std::array<std::uint8_t, 16> buffer{};

    // Written bytes go into the driver at once and cross the wire back to back.
    device.Queue(ScriptedReply{{1, 2}, 0.0, 1, 4.9 - kByteWireMs});
    line.WriteAll(kVersionRequest.data(), kVersionRequest.size());
    EXPECT_EQ(clock.nowMs, 0.0);
    EXPECT_DOUBLE_EQ(device.requestEndMs.back(), 7 * kByteWireMs);
    line.PurgeInput();  // the answer has not come yet, so it survives
    line.Drain();
    EXPECT_DOUBLE_EQ(clock.nowMs, 7 * kByteWireMs);
    // Two bytes 4.9 ms apart come in one call, which ends 5 ms after the second.
    EXPECT_EQ(line.ReadChunk(buffer.data(), 16), 2U);
    EXPECT_DOUBLE_EQ(clock.nowMs, 8 * kByteWireMs + 4.9 + 5.0);

    // 5.1 ms apart: the call ends after the first; the next call finds the second.
    device.Queue(ScriptedReply{{1, 2}, 0.0, 1, 5.1 - kByteWireMs});
    line.WriteAll(kVersionRequest.data(), kVersionRequest.size());
    line.Drain();
    EXPECT_EQ(line.ReadChunk(buffer.data(), 16), 1U);
    EXPECT_EQ(line.ReadChunk(buffer.data(), 16), 1U);

    // Bytes that came before the call are there at once.
    device.Queue(Bytes{1, 2, 3});
    line.WriteAll(kVersionRequest.data(), kVersionRequest.size());
    line.SleepMs(100);
    const double start = clock.nowMs;
    EXPECT_EQ(line.ReadChunk(buffer.data(), 2), 2U);
    EXPECT_EQ(clock.nowMs, start);
    EXPECT_EQ(line.ReadChunk(buffer.data(), 16), 1U);
    EXPECT_DOUBLE_EQ(clock.nowMs, start + 5.0);

    // A purge drops what has come in; the line is then silent for 30 ms.
    device.Queue(Bytes{1, 2, 3});
    line.WriteAll(kVersionRequest.data(), kVersionRequest.size());
    line.SleepMs(100);
    line.PurgeInput();
    EXPECT_EQ(line.ReadChunk(buffer.data(), 16), 0U);
    EXPECT_DOUBLE_EQ(clock.nowMs, start + 5.0 + 100.0 + 30.0);
}

TEST_F(VirtualChannelTest, TraceShowsRequestsAndRepliesWithTheLineClock) {
    struct Entry {
        TraceDirection direction;
        Bytes bytes;
        double atMs;
    };
    std::vector<Entry> trace;
    SetTraceHandler([&](TraceDirection direction, const std::uint8_t* data, std::size_t length, double atMs) {
        trace.push_back({direction, Bytes(data, data + length), atMs});
    });
    device.Queue(Bytes{7, 8, 9});
    const double start = cable.NowMs();
    Exchange(kVersionRequest, 4);
    ASSERT_EQ(trace.size(), 2U);
    EXPECT_EQ(trace[0].direction, TraceDirection::Sent);
    EXPECT_EQ(trace[0].bytes, kVersionRequest);
    EXPECT_EQ(trace[0].atMs, start);
    EXPECT_EQ(trace[1].direction, TraceDirection::Received);
    EXPECT_EQ(trace[1].bytes, (Bytes{7, 8, 9}));
    EXPECT_EQ(trace[1].atMs, cable.NowMs());
}

}  // namespace
}  // namespace bramis
