// The emulated bootloader byte by byte: modes, the replies of each command,
// refused block writes, frame recognition and reply timing; then fault
// injection: each kind of fault against the programmer's own reply checks, the
// rules that choose the requests struck, and seeded random faults.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "../link/link_harness.h"
#include "devsim/device.h"

namespace bramis::devsim::test {
namespace {

using bramis::test::Block;
using bramis::test::Bytes;
using bramis::test::Framed;
using bramis::test::Request;

// Feeds `bytes` one every `spacingMs` from `startMs`; returns every byte sent back.
std::vector<TimedByte> Feed(Device& device, const Bytes& bytes, double startMs = 0.0, double spacingMs = 0.0) {
    std::vector<TimedByte> sent;
    for (const std::uint8_t value : bytes) {
        const std::vector<TimedByte> reply = device.OnByte(value, startMs);
        sent.insert(sent.end(), reply.begin(), reply.end());
        startMs += spacingMs;
    }
    return sent;
}

// The reply's bytes to one request fed at `startMs`.
Bytes Exchange(Device& device, const Bytes& request, double startMs = 0.0) {
    Bytes values;
    for (const TimedByte& b : Feed(device, request, startMs)) values.push_back(b.value);
    return values;
}

// How the programmer judges the reply: LINK_OK or its failure code.
int Judge(const CommandRow& command, const Bytes& request, const Bytes& reply) {
    return CheckReply(command, request, reply, nullptr);
}

const Bytes kEnter = Request(kEnterProgrammingCommand);
const Bytes kVersion = Request(kGetVersionCommand);
const Bytes kErase = Request(kEraseCommand);
const Bytes kRun = Request(kRunProgramCommand);

Bytes FlashBlock(const Device& device, int block) {
    const auto begin = device.Flash().begin() + block * static_cast<std::ptrdiff_t>(kBlockSize);
    return Bytes(begin, begin + static_cast<std::ptrdiff_t>(kBlockSize));
}

TEST(DeviceTest, AnswersOnlyEnterInWorkingModeAndEveryCommandWhenProgramming) {
    Device device;
    std::vector<std::string> events;
    device.SetEventHandler([&](const RequestEvent& e) { events.push_back(FormatEvent(e)); });
    std::vector<Mode> modes;
    device.SetModeHandler([&](Mode m) { modes.push_back(m); });

    for (const Bytes& request : {kVersion, kErase, Request(kReadBlockCommand, 3), kRun}) {
        EXPECT_TRUE(Exchange(device, request).empty());
    }
    EXPECT_EQ(device.CurrentMode(), Mode::Working);
    ASSERT_EQ(events.size(), 4U);
    EXPECT_EQ(events[2], "read 3 ignored");
    EXPECT_EQ(device.RequestCount(CMD_ERASE), 1);
    EXPECT_EQ(Exchange(device, kEnter), Framed({0x2A}));
    // Entering again while programming is acknowledged too.
    EXPECT_EQ(Exchange(device, kEnter), Framed({0x2A}));
    EXPECT_EQ(device.RequestCount(CMD_ENTER_PROG), 2);
    EXPECT_EQ(events.back(), "enter");

    // What the other commands answer is proven by whole jobs against the device.
    EXPECT_EQ(Exchange(device, kRun), kRun);
    EXPECT_EQ(modes, (std::vector<Mode>{Mode::Programming, Mode::Working}));
    EXPECT_TRUE(Exchange(device, kRun).empty());  // back in working mode
}

TEST(DeviceTest, RefusesDamagedOrImpossibleBlockWrites) {
    Device device;
    Exchange(device, kEnter);
    Block data{};
    data.fill(0x3C);
    const Bytes good = Request(kWriteBlockCommand, 4, data.data());

    Bytes badCheck = good;
    badCheck.back() ^= 0x01;
    Bytes badNibble = good;
    badNibble[8 + 101] = 0x50;  // a high-nibble byte outside 0x40-0x4F
    Bytes badCrc = good;
    badCrc[8 + 2 * kBlockSize] ^= 0x01;  // still well formed,
    badCrc.back() ^= 0x01;               // with a matching check byte
    Bytes badField = good;
    badField[7] = 0x80;
    badField.back() ^= 0x80;
    const struct { const char* what; Bytes request; std::uint8_t status; } cases[] = {
        {"wrong check byte", badCheck, kStatusBadFrame},
        {"malformed nibble pair", badNibble, kStatusBadFrame},
        {"wrong CRC", badCrc, kStatusBadFrame},
        {"block number byte above 0x7F", badField, kStatusBadFrame},
        {"block beyond the flash", Request(kWriteBlockCommand, 368, data.data()), kStatusNotProgrammed},
    };
    for (const auto& c : cases) {
        const Bytes reply = Exchange(device, c.request);
        EXPECT_EQ(reply, Framed({0x03, c.status})) << c.what;
    }
    EXPECT_EQ(FlashBlock(device, 4), Bytes(kBlockSize, 0xFF));

    // Flash is programmed by clearing bits: the same block again is fine,
    // other data over it needs an erase first.
    EXPECT_EQ(Exchange(device, good).back(), kBlockAccepted);
    EXPECT_EQ(Exchange(device, good).back(), kBlockAccepted);
    data[0] = 0xC3;
    const Bytes other = Request(kWriteBlockCommand, 4, data.data());
    EXPECT_EQ(Exchange(device, other).back(), kStatusNotProgrammed);
    Exchange(device, kErase);
    EXPECT_EQ(Exchange(device, other).back(), kBlockAccepted);
    EXPECT_EQ(FlashBlock(device, 4), Bytes(data.begin(), data.end()));
}

TEST(DeviceTest, RecognisesFramesByteByByte) {
    Device device;
    std::vector<std::string> events;
    device.SetEventHandler([&](const RequestEvent& e) { events.push_back(FormatEvent(e)); });

    // Noise and a broken header before the real frame.
    Bytes noisy{0x00, 0x7F, 0x80, 0x7F, 0x7F, 0x80, 0x7F, 0x7F, 0x80};
    noisy.insert(noisy.end(), kEnter.begin() + 1, kEnter.end());
    EXPECT_EQ(Exchange(device, noisy).size(), 6U);

    // An unknown command code drops its frame; the next frame is read normally.
    Bytes unknown = Framed({0x42, 0x68});
    unknown.insert(unknown.end(), kVersion.begin(), kVersion.end());
    EXPECT_EQ(Exchange(device, unknown).size(), 9U);

    // A frame with a bad check byte or a block beyond the flash is not answered.
    Bytes badVersion = kVersion;
    badVersion.back() ^= 0x10;
    EXPECT_TRUE(Exchange(device, badVersion).empty());
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 368)).empty());

    // A frame that stops for longer than the gap is dropped; its tail is noise.
    const Bytes read = Request(kReadBlockCommand, 1);
    const Bytes head(read.begin(), read.begin() + 7);
    const Bytes tail(read.begin() + 7, read.end());
    EXPECT_TRUE(Feed(device, head, 0.0, 1.0).empty());
    EXPECT_TRUE(Feed(device, tail, 100.0, 1.0).empty());
    // A shorter stop is no silence.
    EXPECT_TRUE(Feed(device, head, 200.0, 1.0).empty());
    EXPECT_EQ(Feed(device, tail, 230.0, 1.0).size(), 1034U);

    EXPECT_EQ(events, (std::vector<std::string>{"enter", "unknown 42", "version", "version bad-frame",
                                                "read 368 bad-frame", "read 1"}));
}

TEST(DeviceTest, StampsRepliesWithTheConfiguredTiming) {
    DeviceConfig config;
    config.timing.turnaroundMs = 3.0;
    config.timing.eraseMs = 200.0;
    Device fast(config);
    const auto enter = Feed(fast, kEnter, 10.0);
    ASSERT_EQ(enter.size(), 6U);
    // All at once, after the turnaround.
    for (const TimedByte& b : enter) EXPECT_DOUBLE_EQ(b.atMs, 13.0);
    EXPECT_DOUBLE_EQ(Feed(fast, kErase, 20.0).front().atMs, 223.0);

    config.timing.wireSpeed = true;
    Device wire(config);
    const auto reply = Feed(wire, kEnter, 10.0);
    ASSERT_EQ(reply.size(), 6U);
    for (std::size_t i = 0; i < reply.size(); ++i) EXPECT_NEAR(reply[i].atMs, 13.0 + (i + 1.0) * kByteWireMs, 1e-9);
    // A request that comes in while a reply is going out is answered after it.
    EXPECT_NEAR(Feed(wire, kEnter, 14.0).front().atMs, reply.back().atMs + kByteWireMs, 1e-9);
}

// A fault on the first request with `command`.
FaultRule Strike(FaultKind kind, std::uint8_t command, int value = kDefault, int at = kDefault) {
    return FaultRule{.kind = kind, .command = command, .attempt = 0, .value = value, .at = at};
}

Device WithRules(std::vector<FaultRule> rules, bool wireSpeed = false) {
    DeviceConfig config;
    config.timing.wireSpeed = wireSpeed;
    config.faults = FaultPlan(std::move(rules), std::nullopt);
    return Device(std::move(config));
}

TEST(FaultTest, EveryFaultFailsTheProgrammersCheckAndTheRetryPasses) {
    using enum FaultKind;
    // The length of the struck reply and the programmer's verdict on it.
    const struct { FaultRule rule; const CommandRow& command; std::size_t replyLength; int result; } cases[] = {
        {Strike(Silent, CMD_GET_VERSION), kGetVersionCommand, 0, LINK_CMD_FAILED},
        {Strike(Status, CMD_WRITE_BLOCK, 0x5A), kWriteBlockCommand, 7, LINK_WRITE_STATUS_5A},
        {Strike(Status, CMD_WRITE_BLOCK), kWriteBlockCommand, 7, LINK_WRITE_STATUS_2A},
        {Strike(Status, CMD_ERASE), kEraseCommand, 7, LINK_CMD_FAILED},
        {Strike(CorruptCrc, CMD_READ_BLOCK), kReadBlockCommand, 1034, LINK_CMD_FAILED},
        {Strike(CorruptNibble, CMD_READ_BLOCK, kDefault, 513), kReadBlockCommand, 1034, LINK_CMD_FAILED},
        {Strike(Short, CMD_GET_VERSION, 2), kGetVersionCommand, 7, LINK_CMD_FAILED},
        {Strike(Short, CMD_READ_BLOCK), kReadBlockCommand, 1033, LINK_CMD_FAILED},
        {Strike(Long, CMD_RUN_PROGRAM), kRunProgramCommand, 8, LINK_FAILED},
        {Strike(WrongHeader, CMD_ENTER_PROG), kEnterProgrammingCommand, 6, LINK_FAILED},
        // A wrong check byte on the shortest reply, a whole block and the echo.
        {Strike(WrongCheck, CMD_ENTER_PROG), kEnterProgrammingCommand, 6, LINK_FAILED},
        {Strike(WrongCheck, CMD_READ_BLOCK), kReadBlockCommand, 1034, LINK_CMD_FAILED},
        {Strike(WrongCheck, CMD_RUN_PROGRAM), kRunProgramCommand, 7, LINK_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(FaultKindName(c.rule.kind)) + " on " + std::string(CommandName(c.command.code)));
        Device device = WithRules({c.rule});
        if (c.command.code != CMD_ENTER_PROG) Exchange(device, kEnter);
        const Bytes request = Request(c.command, 9);
        const Bytes struck = Exchange(device, request);
        EXPECT_EQ(struck.size(), c.replyLength);
        EXPECT_EQ(Judge(c.command, request, struck), c.result);
        if (c.command.code == CMD_RUN_PROGRAM) {
            Exchange(device, kEnter);  // a damaged run reply still started the program
        }
        EXPECT_EQ(Judge(c.command, request, Exchange(device, request)), LINK_OK);
    }
}

// Refused and lost requests leaving the flash alone show in whole jobs.
TEST(FaultTest, PausesLeaveAGapInTheReply) {
    Device paused = WithRules({Strike(FaultKind::Pause, CMD_GET_VERSION, 8, 4)}, true);
    Feed(paused, kEnter);
    const auto reply = Feed(paused, Request(kGetVersionCommand), 100.0);
    ASSERT_EQ(reply.size(), 9U);
    for (std::size_t i = 1; i < reply.size(); ++i) {
        EXPECT_NEAR(reply[i].atMs - reply[i - 1].atMs, (i == 4 ? 8.0 : 0.0) + kByteWireMs, 1e-9) << i;
    }
}

TEST(FaultTest, RulesStrikeTheChosenCommandsBlocksAndAttempts) {
    Device device = WithRules({
        {.kind = FaultKind::Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = 3},
        {.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 7, .attempt = 1, .times = 2, .value = 0x5A},
        // Every erase from the second on: the largest count must not wrap.
        {.kind = FaultKind::Status, .command = CMD_ERASE, .attempt = 1, .times = INT_MAX},
        // The first write or read of block 20, whatever the command.
        {.kind = FaultKind::Drop, .block = 20},
    });
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Exchange(device, kEnter).empty()) << i;
        EXPECT_EQ(device.CurrentMode(), Mode::Working);
    }
    EXPECT_EQ(Exchange(device, kEnter).size(), 6U);

    // Attempts 0 to 3 of block 7, with one of block 8 (attempts of its own) among them.
    Bytes statuses;
    for (const int block : {7, 8, 7, 7, 7}) {
        statuses.push_back(Exchange(device, Request(kWriteBlockCommand, block)).back());
    }
    EXPECT_EQ(statuses, (Bytes{kBlockAccepted, kBlockAccepted, kBlockRefused5A, kBlockRefused5A, kBlockAccepted}));

    const Bytes erase = Request(kEraseCommand);
    Bytes eraseStatuses;
    for (int i = 0; i < 3; ++i) eraseStatuses.push_back(Exchange(device, erase).at(5));
    EXPECT_EQ(eraseStatuses, (Bytes{kEraseDone, 0x00, 0x00}));

    EXPECT_EQ(Exchange(device, Request(kReadBlockCommand, 19)).size(), 1034U);
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 20)).empty());
    EXPECT_TRUE(device.Unplugged());
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 19)).empty());
    EXPECT_TRUE(Exchange(device, kEnter).empty());
}

// The struck requests of a run of `count` block reads and retries, as the
// programmer would make them: a struck read is tried again at once.
std::vector<std::string> RandomRun(std::uint32_t seed, double probability, int count) {
    DeviceConfig config;
    config.faults = FaultPlan({}, RandomFaults{seed, probability, {}, true});
    Device device(std::move(config));
    std::vector<std::string> struck;
    device.SetEventHandler([&](const RequestEvent& e) {
        if (e.fault) struck.push_back(FormatEvent(e) + " #" + std::to_string(e.attempt));
    });
    while (Judge(kEnterProgrammingCommand, kEnter, Exchange(device, kEnter)) != LINK_OK) {
    }
    for (int block = 0; block < count; ++block) {
        const Bytes read = Request(kReadBlockCommand, block);
        if (Judge(kReadBlockCommand, read, Exchange(device, read)) != LINK_OK) {
            EXPECT_EQ(Judge(kReadBlockCommand, read, Exchange(device, read)), LINK_OK) << "retry of " << block;
        }
    }
    return struck;
}

TEST(FaultTest, RandomFaultsFollowTheSeedAndSpareEveryRetry) {
    const auto first = RandomRun(7, 0.3, 200);
    EXPECT_EQ(RandomRun(7, 0.3, 200), first);
    EXPECT_NE(RandomRun(8, 0.3, 200), first);
    // Roughly the probability asked for, and more than one kind.
    EXPECT_GT(first.size(), 30U);
    EXPECT_LT(first.size(), 100U);
    std::set<std::string> kinds;
    for (const std::string& line : first) kinds.insert(line.substr(line.find("fault")));
    EXPECT_GE(kinds.size(), 3U);
    // Every request struck, yet each retry is spared.
    EXPECT_EQ(RandomRun(1, 1.0, 50).size(), 51U);
    EXPECT_TRUE(RandomRun(1, 0.0, 50).empty());
}

TEST(FaultTest, ParsesRulesAndRejectsBadOnes) {
    std::string error;
    const auto rule = ParseFaultRule("pause,cmd=read,block=0x10,attempt=1,times=2,value=30,at=100", error);
    ASSERT_TRUE(rule) << error;
    EXPECT_EQ(rule->kind, FaultKind::Pause);
    EXPECT_EQ(rule->command, CMD_READ_BLOCK);
    EXPECT_EQ((std::array{rule->block, rule->attempt, rule->times, rule->value, rule->at}),
              (std::array{16, 1, 2, 30, 100}));
    const auto any = ParseFaultRule("drop,cmd=any", error);
    ASSERT_TRUE(any);
    EXPECT_FALSE(any->command);

    for (const char* bad : {"", "melt", "short,cmd=format", "short,block=", "short,block=-1", "short,colour=3",
                            "short,block=1x", "corrupt-crc,cmd=write", "status,cmd=version",
                            // Values a device could not carry out: a status beyond a byte, gigabytes of reply.
                            "status,value=256", "long,value=100000000", "pause,value=3600000"}) {
        error.clear();
        EXPECT_FALSE(ParseFaultRule(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace bramis::devsim::test
