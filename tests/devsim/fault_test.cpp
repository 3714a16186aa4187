// Fault injection: each kind of fault against the programmer's own reply
// checks, the rules that choose the requests struck, and seeded random faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "device_harness.h"
#include "link/codec.h"

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
    const std::array<std::uint8_t, kBlockSize> data{};
    struct Case {
        FaultRule rule;
        const CommandRow& command;
        Bytes request;
        std::size_t replyLength;  // of the struck reply
        int result;               // the programmer's verdict on it
    };
    const Bytes version = Request(kGetVersionCommand);
    const Bytes erase = Request(kEraseCommand);
    const Bytes write = Request(kWriteBlockCommand, 9, data.data());
    const Bytes read = Request(kReadBlockCommand, 9);
    const Bytes run = Request(kRunProgramCommand);
    const Case cases[] = {
        {Strike(FaultKind::Silent, CMD_GET_VERSION), kGetVersionCommand, version, 0, LINK_CMD_FAILED},
        {Strike(FaultKind::Status, CMD_WRITE_BLOCK, 0x5A), kWriteBlockCommand, write, 7, LINK_WRITE_STATUS_5A},
        {Strike(FaultKind::Status, CMD_WRITE_BLOCK), kWriteBlockCommand, write, 7, LINK_WRITE_STATUS_2A},
        {Strike(FaultKind::Status, CMD_ERASE), kEraseCommand, erase, 7, LINK_CMD_FAILED},
        {Strike(FaultKind::CorruptCrc, CMD_READ_BLOCK), kReadBlockCommand, read, 1034, LINK_CMD_FAILED},
        {Strike(FaultKind::CorruptNibble, CMD_READ_BLOCK, kDefault, 513), kReadBlockCommand, read, 1034,
         LINK_CMD_FAILED},
        {Strike(FaultKind::Short, CMD_GET_VERSION, 2), kGetVersionCommand, version, 7, LINK_CMD_FAILED},
        {Strike(FaultKind::Short, CMD_READ_BLOCK), kReadBlockCommand, read, 1033, LINK_CMD_FAILED},
        {Strike(FaultKind::Long, CMD_RUN_PROGRAM), kRunProgramCommand, run, 8, LINK_FAILED},
        {Strike(FaultKind::WrongHeader, CMD_ENTER_PROG), kEnterProgrammingCommand, kEnter, 6, LINK_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_ENTER_PROG), kEnterProgrammingCommand, kEnter, 6, LINK_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_GET_VERSION), kGetVersionCommand, version, 9, LINK_CMD_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_ERASE), kEraseCommand, erase, 7, LINK_CMD_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_WRITE_BLOCK), kWriteBlockCommand, write, 7, LINK_CMD_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_READ_BLOCK), kReadBlockCommand, read, 1034, LINK_CMD_FAILED},
        {Strike(FaultKind::WrongCheck, CMD_RUN_PROGRAM), kRunProgramCommand, run, 7, LINK_FAILED},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(FaultKindName(c.rule.kind)) + " on " +
                                 std::string(CommandName(c.command.code));
        Device device = WithRules({c.rule});
        if (c.command.code != CMD_ENTER_PROG) {
            Exchange(device, kEnter);
        }
        const Bytes struck = Exchange(device, c.request);
        EXPECT_EQ(struck.size(), c.replyLength) << what;
        EXPECT_EQ(Judge(c.command, c.request, struck), c.result) << what;
        if (c.command.code == CMD_RUN_PROGRAM) {
            Exchange(device, kEnter);  // a damaged run reply still started the program
        }
        EXPECT_EQ(Judge(c.command, c.request, Exchange(device, c.request)), LINK_OK) << what;
    }
}

TEST(FaultTest, RefusalsAndLostRequestsLeaveTheFlashAlone) {
    Device device = WithRules({Strike(FaultKind::Status, CMD_ERASE), Strike(FaultKind::Status, CMD_WRITE_BLOCK),
                               Strike(FaultKind::Silent, CMD_READ_BLOCK)});
    std::fill(device.Flash().begin(), device.Flash().end(), 0x00);
    Exchange(device, kEnter);

    EXPECT_EQ(Exchange(device, Request(kEraseCommand)), (Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x00, 0x2A}));
    EXPECT_EQ(device.Flash()[0], 0x00);
    Exchange(device, Request(kEraseCommand));
    EXPECT_EQ(device.Flash()[0], 0xFF);

    std::array<std::uint8_t, kBlockSize> data{};
    data.fill(0x12);
    Exchange(device, Request(kWriteBlockCommand, 0, data.data()));
    EXPECT_EQ(device.Flash()[0], 0xFF);
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 0)).empty());
}

TEST(FaultTest, PauseLeavesAQuietGapInsideTheReply) {
    Device device = WithRules({Strike(FaultKind::Pause, CMD_GET_VERSION, 8, 4)}, true);
    Feed(device, kEnter);
    const auto reply = Feed(device, Request(kGetVersionCommand), 100.0);
    ASSERT_EQ(reply.size(), 9U);
    for (std::size_t i = 1; i < reply.size(); ++i) {
        const double gap = reply[i].atMs - reply[i - 1].atMs;
        EXPECT_NEAR(gap, i == 4 ? 8.0 + 11000.0 / 9600.0 : 11000.0 / 9600.0, 1e-9) << i;
    }
}

TEST(FaultTest, RulesStrikeTheChosenCommandsBlocksAndAttempts) {
    Device device = WithRules({
        {.kind = FaultKind::Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = 3},
        {.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 7, .attempt = 1, .times = 2, .value = 0x5A},
        // The first write or read of block 20, whatever the command.
        {.kind = FaultKind::Drop, .block = 20},
    });

    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Exchange(device, kEnter).empty()) << i;
        EXPECT_EQ(device.CurrentMode(), Mode::Working);
    }
    EXPECT_EQ(Exchange(device, kEnter).size(), 6U);

    std::array<std::uint8_t, kBlockSize> data{};
    const auto status = [&](int block) { return Exchange(device, Request(kWriteBlockCommand, block, data.data())).back(); };
    EXPECT_EQ(status(7), kBlockAccepted);   // attempt 0
    EXPECT_EQ(status(8), kBlockAccepted);   // another block has attempts of its own
    EXPECT_EQ(status(7), kBlockRefused5A);  // attempt 1
    EXPECT_EQ(status(7), kBlockRefused5A);  // attempt 2
    EXPECT_EQ(status(7), kBlockAccepted);   // attempt 3

    EXPECT_EQ(Exchange(device, Request(kReadBlockCommand, 19)).size(), 1034U);
    EXPECT_TRUE(Exchange(device, Request(kReadBlockCommand, 20)).empty());
    EXPECT_TRUE(device.Offline());
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
    std::map<std::string, int> kinds;
    for (const std::string& line : first) {
        kinds[line.substr(line.find("fault"))]++;
    }
    EXPECT_GE(kinds.size(), 3U);

    // Every request struck, yet each retry is spared.
    const auto all = RandomRun(1, 1.0, 50);
    EXPECT_EQ(all.size(), 51U);
    EXPECT_TRUE(RandomRun(1, 0.0, 50).empty());
}

TEST(FaultTest, ParsesRulesAndRejectsBadOnes) {
    std::string error;
    const auto rule = ParseFaultRule("pause,cmd=read,block=0x10,attempt=1,times=2,value=30,at=100", error);
    ASSERT_TRUE(rule) << error;
    EXPECT_EQ(rule->kind, FaultKind::Pause);
    EXPECT_EQ(rule->command, CMD_READ_BLOCK);
    EXPECT_EQ(rule->block, 16);
    EXPECT_EQ(rule->attempt, 1);
    EXPECT_EQ(rule->times, 2);
    EXPECT_EQ(rule->value, 30);
    EXPECT_EQ(rule->at, 100);
    const auto any = ParseFaultRule("drop,cmd=any", error);
    ASSERT_TRUE(any);
    EXPECT_FALSE(any->command);

    for (const char* bad : {"", "melt", "short,cmd=format", "short,block=", "short,block=-1", "short,colour=3",
                            "short,block=1x", "corrupt-crc,cmd=write", "status,cmd=version"}) {
        error.clear();
        EXPECT_FALSE(ParseFaultRule(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace bramis::devsim::test
