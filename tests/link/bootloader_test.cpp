#include "link/bootloader.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "link/command_table.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"
#include "scripted_peer.h"

namespace bramis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ScriptedPeer;
using test::ScriptedReply;

// The header followed by `rest`.
Bytes Framed(std::initializer_list<std::uint8_t> rest) {
    Bytes frame(kFrameHeader.begin(), kFrameHeader.end());
    frame.insert(frame.end(), rest);
    return frame;
}

Bytes Request(const CommandRow& command, int blockNumber = 0, const std::uint8_t* data = nullptr) {
    std::array<std::uint8_t, kMaxRequestSize> request{};
    return Bytes(request.begin(),
                 request.begin() + static_cast<std::ptrdiff_t>(BuildRequest(command, blockNumber, data, request)));
}

std::array<std::uint8_t, kBlockSize> RandomBlock(unsigned seed) {
    std::array<std::uint8_t, kBlockSize> block{};
    std::mt19937 random(seed);
    for (auto& b : block) {
        b = static_cast<std::uint8_t>(random());
    }
    return block;
}

// A well-formed read-block reply carrying `block`.
Bytes ReadReply(const std::array<std::uint8_t, kBlockSize>& block) {
    Bytes reply = Framed({CMD_READ_BLOCK});
    reply.resize(6 + kEncodedBlockSize);
    EncodeBlock(block, std::span<std::uint8_t, kEncodedBlockSize>(reply.data() + 6, kEncodedBlockSize));
    return reply;
}

const Bytes kWriteAccepted = Framed({CMD_WRITE_BLOCK, 0x55});
const Bytes kWriteRefused5A = Framed({CMD_WRITE_BLOCK, 0x5A});
const Bytes kWriteRefused2A = Framed({CMD_WRITE_BLOCK, 0x2A});
constexpr double kW = kByteWireMs;

class BootloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetPortOpener(cable.Opener());
        ASSERT_EQ(OpenPort(1), LINK_OK);
    }
    void TearDown() override {
        ClosePort();
        SetPortOpener({});
    }

    // Virtual ms since the last call.
    double Elapsed() {
        const double elapsed = cable.NowMs() - mark_;
        mark_ = cable.NowMs();
        return elapsed;
    }

    ScriptedPeer device;
    VirtualPort cable{device};

private:
    double mark_ = 0.0;
};

TEST_F(BootloaderTest, EnterProgramming) {
    // Silent device: two attempts, each a 7 ms pause and one 30 ms read.
    device.QueueSilence();
    device.QueueSilence();
    EXPECT_EQ(EnterProgramming(), LINK_FAILED);
    const Bytes request = Framed({CMD_ENTER_PROG});
    EXPECT_EQ(device.requests, (std::vector<Bytes>{request, request}));
    EXPECT_NEAR(Elapsed(), 2 * (7.0 + 30.0), 1e-6);

    // Only the acknowledge counts: an echo of the command fails.
    device.Queue(Framed({CMD_ENTER_PROG}));
    device.Queue(Framed({0x2A}));
    EXPECT_EQ(EnterProgramming(), LINK_OK);
    EXPECT_EQ(device.requests.size(), 4U);

    // Extra bytes after the acknowledge: the read stops at 6 and succeeds at once.
    // They come in after the next request's purge, so they cost that command an attempt.
    device.Queue(Framed({0x2A, 1, 2, 3}));
    EXPECT_EQ(EnterProgramming(), LINK_OK);
    EXPECT_EQ(device.requests.size(), 5U);
    device.Queue(Framed({0x09, 0x01, 0x05, 0x27}));
    device.Queue(Framed({0x09, 0x01, 0x05, 0x27}));
    int major = -1;
    int minor = -1;
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_OK);
    EXPECT_EQ(device.requests.size(), 7U);
}

TEST_F(BootloaderTest, GetLoaderVersion) {
    const Bytes request{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x09, 0x23};
    int major = -1;
    int minor = -1;
    // 10 bytes whose first 9 are right fail on the count, twice; the outputs stay untouched.
    Bytes tooLong = Framed({0x09, 0x01, 0x05, 0x27, 0x00});
    device.Queue(tooLong);
    device.Queue(tooLong);
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_CMD_FAILED);
    EXPECT_EQ(major, -1);
    EXPECT_EQ(minor, -1);
    EXPECT_EQ(device.requests, (std::vector<Bytes>{request, request}));
    // Each: pacing (the wire takes 8.02 ms), the 500 ms pre-delay, the 5 ms interval, one silent chunk.
    EXPECT_NEAR(Elapsed(), 2 * (7 * kW + 500.0 + 5.0 + 30.0), 1e-6);

    // A wrong check byte fails as well.
    device.Queue(Framed({0x09, 0x01, 0x05, 0x28}));
    device.Queue(Framed({0x09, 0x01, 0x05, 0x28}));
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_CMD_FAILED);
    EXPECT_EQ(major, -1);

    device.Queue(Framed({0x09, 0x01, 0x05, 0x27}));
    Elapsed();
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_OK);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 5);
    EXPECT_EQ(device.requests.size(), 5U);
    EXPECT_NEAR(Elapsed(), 7 * kW + 500.0 + 5.0 + 30.0, 1e-6);

    // Versions are bytes zero-extended, never negative.
    device.Queue(Framed({0x09, 0xC8, 0xFF, 0x2A ^ 0x09 ^ 0xC8 ^ 0xFF}));
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_OK);
    EXPECT_EQ(major, 200);
    EXPECT_EQ(minor, 255);
}

TEST_F(BootloaderTest, EraseProgram) {
    device.Queue(Framed({0x01, 0x2B}));
    EXPECT_EQ(EraseProgram(), LINK_OK);
    EXPECT_EQ(device.requests, (std::vector<Bytes>{Framed({0x01, 0x2B})}));
    EXPECT_NEAR(Elapsed(), 7 * kW + 500.0 + 5.0 + 30.0, 1e-6);

    // A consistent check byte with the wrong status fails, and a second request follows.
    device.Queue(Framed({0x00, 0x2A}));
    device.Queue(Framed({0x01, 0x2B}));
    EXPECT_EQ(EraseProgram(), LINK_OK);
    EXPECT_EQ(device.requests.size(), 3U);

    device.Queue(Framed({0x00, 0x2A}));
    device.Queue(Framed({0x01, 0x2A}));
    EXPECT_EQ(EraseProgram(), LINK_CMD_FAILED);
    EXPECT_EQ(device.requests.size(), 5U);
}

TEST_F(BootloaderTest, WriteBlockStatusesAndRetries) {
    const auto block = RandomBlock(3);
    const Bytes request = Request(kWriteBlockCommand, 300, block.data());
    ASSERT_EQ(request.size(), 1037U);
    EXPECT_EQ(request[6], 300 & 0x7F);
    EXPECT_EQ(request[7], 300 >> 7);

    // Answered attempt: 1244 ms pacing, 40 ms pre-delay, 5 ms interval, one silent chunk.
    constexpr double kAnswered = 1244.0 + 40.0 + 5.0 + 30.0;
    constexpr double kSilent = 1244.0 + 40.0 + 30.0;
    const struct {
        std::vector<Bytes> replies;  // empty: silence
        int result;
        double elapsedMs;
    } cases[] = {
        {{kWriteAccepted}, LINK_OK, kAnswered},
        {{kWriteRefused2A, kWriteAccepted}, LINK_OK, 2 * kAnswered},
        {{kWriteRefused5A, kWriteRefused5A}, LINK_WRITE_STATUS_5A, 2 * kAnswered},
        {{kWriteRefused5A, {}}, LINK_CMD_FAILED, kAnswered + kSilent},
        {{{}, kWriteRefused2A}, LINK_WRITE_STATUS_2A, kSilent + kAnswered},
        {{kWriteRefused2A, Framed({CMD_WRITE_BLOCK, 0x00})}, LINK_CMD_FAILED, 2 * kAnswered},
        // A wrong command byte fails the comparison, whatever the status.
        {{Framed({0x01, 0x55}), Framed({0x01, 0x55})}, LINK_CMD_FAILED, 2 * kAnswered},
    };
    for (const auto& c : cases) {
        device.requests.clear();
        for (const Bytes& reply : c.replies) {
            device.Queue(reply);
        }
        Elapsed();
        EXPECT_EQ(WriteBlock(300, block.data()), c.result);
        EXPECT_EQ(device.requests, std::vector<Bytes>(c.replies.size(), request));
        EXPECT_NEAR(Elapsed(), c.elapsedMs, 1e-6);
    }
}

TEST_F(BootloaderTest, ReadBlock) {
    const auto block = RandomBlock(5);
    const Bytes good = ReadReply(block);

    // Block 367 fills exactly 514 bytes: the data, then its CRC low byte first.
    std::array<std::uint8_t, kBlockWithCrcSize + 6> dest{};
    dest.fill(0xEE);
    device.Queue(good);
    EXPECT_EQ(ReadBlock(367, dest.data()), LINK_OK);
    EXPECT_EQ(device.requests, (std::vector<Bytes>{Bytes{0x80, 0x7F, 0x7F, 0x7F, 0x7F, 0x06, 0x6F, 0x02, 0x41}}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), dest.begin()));
    const std::uint16_t crc = Crc16(block.data(), block.size());
    EXPECT_EQ(dest[512], crc & 0xFF);
    EXPECT_EQ(dest[513], crc >> 8);
    EXPECT_TRUE(std::all_of(dest.begin() + kBlockWithCrcSize, dest.end(), [](std::uint8_t b) { return b == 0xEE; }));
    // 9 bytes take 10.3 ms on the wire (10 ms pacing); the answer streams in; the last
    // chunk waits out the 5 ms interval, and one silent chunk ends the read.
    EXPECT_NEAR(Elapsed(), 9 * kW + 1.0 + 1034 * kW + 5.0 + 30.0, 1e-6);

    // A CRC mismatch fails both attempts.
    Bytes badCrc = good;
    badCrc[6 + 2 * 512] ^= 0x01;
    device.Queue(badCrc);
    device.Queue(badCrc);
    EXPECT_EQ(ReadBlock(0, dest.data()), LINK_CMD_FAILED);
    EXPECT_EQ(device.requests.size(), 3U);

    // One byte too many fails on the count; the second attempt may still succeed.
    Bytes tooLong = good;
    tooLong.push_back(0x40);
    device.Queue(tooLong);
    device.Queue(good);
    EXPECT_EQ(ReadBlock(0, dest.data()), LINK_OK);
    EXPECT_EQ(device.requests.size(), 5U);
}

TEST_F(BootloaderTest, RunProgramNeedsTheExactEcho) {
    device.Queue(Framed({0x08, 0x23}));
    device.Queue(Framed({0x08, 0x23}));
    EXPECT_EQ(RunProgram(), LINK_FAILED);
    device.Queue(Framed({0x08, 0x22}));
    EXPECT_EQ(RunProgram(), LINK_OK);
    EXPECT_EQ(device.requests, std::vector<Bytes>(3, Framed({0x08, 0x22})));
}

TEST_F(BootloaderTest, BadArgumentsSendNothing) {
    const auto block = RandomBlock(1);
    std::array<std::uint8_t, kBlockWithCrcSize> dest{};
    EXPECT_EQ(WriteBlock(368, block.data()), LINK_CMD_FAILED);
    EXPECT_EQ(WriteBlock(-1, block.data()), LINK_CMD_FAILED);
    EXPECT_EQ(WriteBlock(0, nullptr), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(368, dest.data()), LINK_CMD_FAILED);
    EXPECT_EQ(ReadBlock(0, nullptr), LINK_CMD_FAILED);
    EXPECT_TRUE(device.requests.empty());
    EXPECT_EQ(cable.NowMs(), 0.0);
}

TEST(ReplyCheck, OnlyTheExactRepliesPass) {
    const Bytes write = Request(kWriteBlockCommand, 0, RandomBlock(2).data());
    for (int status = 0; status < 256; ++status) {
        const int expected = status == 0x55   ? LINK_OK
                             : status == 0x5A ? LINK_WRITE_STATUS_5A
                             : status == 0x2A ? LINK_WRITE_STATUS_2A
                                              : LINK_CMD_FAILED;
        EXPECT_EQ(CheckReply(kWriteBlockCommand, write, Framed({CMD_WRITE_BLOCK, static_cast<std::uint8_t>(status)}),
                             nullptr),
                  expected);
    }

    const Bytes erase = Request(kEraseCommand);
    int passed = 0;
    for (int status = 0; status < 256; ++status) {
        for (int check = 0; check < 256; ++check) {
            const Bytes reply = Framed({static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(check)});
            passed += CheckReply(kEraseCommand, erase, reply, nullptr) == LINK_OK ? 1 : 0;
        }
    }
    EXPECT_EQ(passed, 1);

    // Any single changed byte of a good block reply is caught.
    const Bytes read = Request(kReadBlockCommand, 12);
    const Bytes good = ReadReply(RandomBlock(9));
    std::array<std::uint8_t, kBlockWithCrcSize> dest{};
    ASSERT_EQ(CheckReply(kReadBlockCommand, read, good, dest.data()), LINK_OK);
    for (std::size_t n = 0; n < good.size(); ++n) {
        for (std::uint8_t flip : {0x01, 0x10, 0x40, 0x80}) {
            Bytes bad = good;
            bad[n] ^= flip;
            ASSERT_EQ(CheckReply(kReadBlockCommand, read, bad, dest.data()), LINK_CMD_FAILED) << n;
        }
    }
}

}  // namespace
}  // namespace bramis
