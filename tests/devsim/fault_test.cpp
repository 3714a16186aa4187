// Fault injection: each kind of fault against the programmer's own reply
// checks, the rules that choose the requests struck, and seeded random faults.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "device_harness.h"

namespace bramis::devsim::test {
namespace {

const Bytes kEnter = Request(kEnterProgrammingCommand);

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
    const struct {
        FaultRule rule;
        const CommandRow& command;
        std::size_t replyLength;  // of the struck reply
        int result;               // the programmer's verdict on it
    } cases[] = {
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
        {Strike(WrongCheck, CMD_ENTER_PROG), kEnterProgrammingCommand, 6, LINK_FAILED},
        {Strike(WrongCheck, CMD_GET_VERSION), kGetVersionCommand, 9, LINK_CMD_FAILED},
        {Strike(WrongCheck, CMD_ERASE), kEraseCommand, 7, LINK_CMD_FAILED},
        {Strike(WrongCheck, CMD_WRITE_BLOCK), kWriteBlockCommand, 7, LINK_CMD_FAILED},
        {Strike(WrongCheck, CMD_READ_BLOCK), kReadBlockCommand, 1034, LINK_CMD_FAILED},
        {Strike(WrongCheck, CMD_RUN_PROGRAM), kRunProgramCommand, 7, LINK_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(FaultKindName(c.rule.kind)) + " on " + std::string(CommandName(c.command.code)));
        Device device = WithRules({c.rule});
        if (c.command.code != CMD_ENTER_PROG) {
            Exchange(device, kEnter);
        }
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

TEST(FaultTest, RefusalsAndLostRequestsLeaveTheFlashAloneAndPausesLeaveAGap) {
    Device device = WithRules({Strike(FaultKind::Status, CMD_ERASE), Strike(FaultKind::Status, CMD_WRITE_BLOCK),
                               Strike(FaultKind::Silent, CMD_READ_BLOCK)});
    std::fill(device.Flash().begin(), device.Flash().end(), 0x00);
    Exchange(device, kEnter);
    EXPECT_EQ(Exchange(device, Request(kEraseCommand)), Framed({0x00, 0x2A}));
    EXPECT_EQ(device.Flash()[0], 0x00);
    Exchange(device, Request(kEraseCommand));
    EXPECT_EQ(device.Flash()[0], 0xFF);
    Block data{};
    data.fill(0x12);
    Exchange(device, Request(kWriteBlockCommand, 0, data.data()));
    EXPECT_EQ(device.Flash()[0], 0xFF);
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 0)).empty());

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
    for (int i = 0; i < 3; ++i) {
        eraseStatuses.push_back(Exchange(device, erase).at(5));
    }
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
        if (e.fault) {
            struck.push_back(FormatEvent(e) + " #" + std::to_string(e.attempt));
        }
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
    for (const std::string& line : first) {
        kinds.insert(line.substr(line.find("fault")));
    }
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
