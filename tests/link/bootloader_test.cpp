#include "link/bootloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "link/serial_channel.h"
#include "link_harness.h"

namespace bramis::test {
namespace {

constexpr double kW = kByteWireMs;
constexpr double kUntimed = -1.0;
// One attempt of a 7-byte command: the wire takes 8.02 ms (paced 8), the 500 ms
// pre-delay, the 5 ms interval after the answer, one silent chunk read.
constexpr double kShortCommand = 7 * kW + 500.0 + 5.0 + 30.0;
// A block write: paced 1244 ms, 40 ms pre-delay, then as above.
constexpr double kWriteAnswered = 1244.0 + 40.0 + 5.0 + 30.0;
constexpr double kWriteSilent = 1244.0 + 40.0 + 30.0;

const Bytes kSilence;
const Bytes kVersion15 = Framed({0x09, 0x01, 0x05, 0x27});
const Bytes kWriteAccepted = Framed({CMD_WRITE_BLOCK, 0x55});
const Bytes kWriteRefused5A = Framed({CMD_WRITE_BLOCK, 0x5A});
const Bytes kWriteRefused2A = Framed({CMD_WRITE_BLOCK, 0x2A});

struct Case {
    const char* what;
    std::function<int()> call;
    Bytes request;               // sent once per reply, and never without one
    std::vector<Bytes> replies;  // the device's answer to each attempt
    int result;
    double ms = kUntimed;        // virtual time the call takes
    int major = -1, minor = -1;  // the version's outputs, untouched unless it succeeds
    std::size_t pauseAfter = SIZE_MAX;  // a pause in the first reply, after this many bytes
    double pauseMs = 0.0;
};

// Each command's replies, attempts and virtual time on the line, in one run:
// a case may leave bytes on the line for the next.
TEST(Bootloader, EveryCommandsRepliesAttemptsAndTiming) {
    ScriptedPeer device;
    VirtualPort cable(device);
    SerialChannel channel;
    channel.SetPortOpener(cable.Opener());
    ASSERT_EQ(channel.OpenPort(1), LINK_OK);

    int major = -1;
    int minor = -1;
    const Block block = RandomBlock(3);
    std::array<std::uint8_t, kBlockWithCrcSize + 6> dest{};
    const auto enter = [&] { return EnterProgramming(channel); };
    const auto version = [&] { return GetLoaderVersion(channel, major, minor); };
    const auto erase = [&] { return EraseProgram(channel); };
    const auto write = [&] { return WriteBlock(channel, 300, block.data()); };
    const auto read = [&] { return ReadBlock(channel, 367, dest.data()); };
    const auto run = [&] { return RunProgram(channel); };
    const Bytes enterRequest = Framed({CMD_ENTER_PROG});
    const Bytes versionRequest = Framed({0x09, 0x23});
    const Bytes eraseRequest = Framed({0x01, 0x2B});
    const Bytes writeRequest = Request(kWriteBlockCommand, 300, block.data());
    const Bytes readRequest = Framed({0x06, 0x6F, 0x02, 0x41});
    const Bytes runRequest = Framed({0x08, 0x22});
    const Bytes goodRead = ReadReply(RandomBlock(5));
    Bytes badCrc = goodRead;
    badCrc[6 + 2 * 512] ^= 0x01;
    Bytes readTooLong = goodRead;
    readTooLong.push_back(0x40);

    dest.fill(0xEE);
    const Case cases[] = {
        // Each silent attempt: the 7 ms pause and one 30 ms chunk read.
        {"enter, silent", enter, enterRequest, {kSilence, kSilence}, LINK_FAILED, 2 * (7.0 + 30.0)},
        {"enter, an echo is no acknowledge", enter, enterRequest, {enterRequest, Framed({0x2A})}, LINK_OK},
        // The read stops at 6 bytes, the moment the sixth is in; the rest comes in
        // after the next request's purge.
        {"enter, extra bytes", enter, enterRequest, {Framed({0x2A, 1, 2, 3})}, LINK_OK, 12 * kW + 1.0},
        {"version after them", version, versionRequest, {kVersion15, kVersion15}, LINK_OK, kUntimed, 1, 5},
        {"version, 10 bytes", version, versionRequest, {Framed({0x09, 1, 5, 0x27, 0}), Framed({0x09, 1, 5, 0x27, 0})},
         LINK_CMD_FAILED, 2 * kShortCommand},
        {"version, check byte", version, versionRequest, {Framed({0x09, 1, 5, 0x28}), Framed({0x09, 1, 5, 0x28})},
         LINK_CMD_FAILED},
        {"version", version, versionRequest, {kVersion15}, LINK_OK, kShortCommand, 1, 5},
        {"version, zero-extended", version, versionRequest, {Framed({0x09, 0xC8, 0xFF, 0x2A ^ 0x09 ^ 0xC8 ^ 0xFF})},
         LINK_OK, kUntimed, 200, 255},
        {"erase", erase, eraseRequest, {Framed({0x01, 0x2B})}, LINK_OK, kShortCommand},
        // A consistent check byte with the wrong status is a failed attempt.
        {"erase, status 00", erase, eraseRequest, {Framed({0x00, 0x2A}), Framed({0x01, 0x2B})}, LINK_OK},
        {"erase, twice wrong", erase, eraseRequest, {Framed({0x00, 0x2A}), Framed({0x01, 0x2A})}, LINK_CMD_FAILED},
        {"write", write, writeRequest, {kWriteAccepted}, LINK_OK, kWriteAnswered},
        {"write, 2A then 55", write, writeRequest, {kWriteRefused2A, kWriteAccepted}, LINK_OK, 2 * kWriteAnswered},
        {"write, 5A twice", write, writeRequest, {kWriteRefused5A, kWriteRefused5A}, LINK_WRITE_STATUS_5A,
         2 * kWriteAnswered},
        {"write, 5A then silence", write, writeRequest, {kWriteRefused5A, kSilence}, LINK_CMD_FAILED,
         kWriteAnswered + kWriteSilent},
        {"write, silence then 2A", write, writeRequest, {kSilence, kWriteRefused2A}, LINK_WRITE_STATUS_2A,
         kWriteSilent + kWriteAnswered},
        {"write, 2A then 00", write, writeRequest, {kWriteRefused2A, Framed({CMD_WRITE_BLOCK, 0x00})},
         LINK_CMD_FAILED, 2 * kWriteAnswered},
        {"write, wrong command byte", write, writeRequest, {Framed({0x01, 0x55}), Framed({0x01, 0x55})},
         LINK_CMD_FAILED, 2 * kWriteAnswered},
        {"read, CRC", read, readRequest, {badCrc, badCrc}, LINK_CMD_FAILED},
        {"read, one byte too many", read, readRequest, {readTooLong, goodRead}, LINK_OK},
        {"run, wrong echo", run, runRequest, {Framed({0x08, 0x23}), Framed({0x08, 0x23})}, LINK_FAILED},
        {"run", run, runRequest, {runRequest}, LINK_OK},
        // A pause longer than the 5 ms interval ends a chunk read, but the next one finds the rest.
        {"run, 20 ms pause", run, runRequest, {runRequest}, LINK_OK, kUntimed, -1, -1, 4, 20.0},
        {"write 368", [&] { return WriteBlock(channel, 368, block.data()); }, {}, {}, LINK_CMD_FAILED, 0.0},
        {"write -1", [&] { return WriteBlock(channel, -1, block.data()); }, {}, {}, LINK_CMD_FAILED, 0.0},
        {"write no data", [&] { return WriteBlock(channel, 0, nullptr); }, {}, {}, LINK_CMD_FAILED, 0.0},
        {"read 368", [&] { return ReadBlock(channel, 368, dest.data()); }, {}, {}, LINK_CMD_FAILED, 0.0},
        {"read no destination", [&] { return ReadBlock(channel, 0, nullptr); }, {}, {}, LINK_CMD_FAILED, 0.0},
        // Last, for the check below. The answer streams in after 10.3 ms on the wire
        // (paced 10), the last chunk waits out the 5 ms interval, a silent one ends it.
        {"read", read, readRequest, {goodRead}, LINK_OK, 9 * kW + 1.0 + 1034 * kW + 5.0 + 30.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        device.requests.clear();
        for (const Bytes& reply : c.replies) {
            device.Queue({reply, 1.0, &reply == &c.replies.front() ? c.pauseAfter : SIZE_MAX, c.pauseMs});
        }
        major = minor = -1;
        const double start = cable.NowMs();
        const int retriedBefore = channel.RetriedAttempts();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(device.requests, std::vector<Bytes>(c.replies.size(), c.request));
        // Every attempt after the first is counted as a retry.
        EXPECT_EQ(channel.RetriedAttempts() - retriedBefore, std::max<int>(0, static_cast<int>(c.replies.size()) - 1));
        EXPECT_TRUE(c.ms == kUntimed || std::abs(cable.NowMs() - start - c.ms) < 1e-6) << cable.NowMs() - start;
        EXPECT_EQ(major, c.major);
        EXPECT_EQ(minor, c.minor);
    }
    channel.ClosePort();

    // The last read filled 514 bytes: the data, then its CRC low byte first.
    // No read wrote beyond them.
    const Block last = RandomBlock(5);
    Bytes expected(last.begin(), last.end());
    const std::uint16_t crc = Crc16(last.data(), last.size());
    expected.insert(expected.end(), {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)});
    expected.resize(dest.size(), 0xEE);
    EXPECT_EQ(Bytes(dest.begin(), dest.end()), expected);
}

// Write statuses are judged in the table above; the fuzz target checks that
// any changed byte of a good block reply is caught.
TEST(ReplyCheck, OnlyTheExactStatusAndCheckBytesPass) {
    const Bytes erase = Request(kEraseCommand);
    int erasePasses = 0;
    for (int status = 0; status < 256; ++status) {
        for (int check = 0; check < 256; ++check) {
            const Bytes reply = Framed({static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(check)});
            erasePasses += CheckReply(kEraseCommand, erase, reply, nullptr) == LINK_OK ? 1 : 0;
        }
    }
    EXPECT_EQ(erasePasses, 1);

    // A header changed in two bytes whose changes cancel out in the check byte.
    const std::pair<const CommandRow&, Bytes> headers[] = {{kEraseCommand, Framed({0x01, 0x2B})},
                                                           {kGetVersionCommand, Framed({0x09, 0x01, 0x05, 0x27})}};
    for (auto [command, reply] : headers) {
        EXPECT_EQ(CheckReply(command, Request(command), reply, nullptr), LINK_OK);
        reply[1] ^= 0x03;
        reply[2] ^= 0x03;
        EXPECT_EQ(CheckReply(command, Request(command), reply, nullptr), LINK_CMD_FAILED);
    }
}

}  // namespace
}  // namespace bramis::test
