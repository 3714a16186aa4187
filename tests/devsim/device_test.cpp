// The emulated bootloader byte by byte: modes, the replies of each command,
// refused block writes, frame recognition and reply timing.
#include <gtest/gtest.h>

#include "device_harness.h"

namespace bramis::devsim::test {
namespace {

const Bytes kEnter = Request(kEnterProgrammingCommand);
const Bytes kVersion = Request(kGetVersionCommand);
const Bytes kErase = Request(kEraseCommand);
const Bytes kRun = Request(kRunProgramCommand);

Bytes FlashBlock(const Device& device, int block) {
    const auto begin = device.Flash().begin() + block * static_cast<std::ptrdiff_t>(kBlockSize);
    return Bytes(begin, begin + static_cast<std::ptrdiff_t>(kBlockSize));
}

TEST(DeviceTest, AnswersOnlyEnterInWorkingModeAndEveryCommandWhenProgramming) {
    DeviceConfig config;
    config.versionMajor = 1;
    config.versionMinor = 5;
    Device device(std::move(config));
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

    EXPECT_EQ(Exchange(device, kVersion), Framed({0x09, 0x01, 0x05, 0x27}));
    EXPECT_EQ(Exchange(device, kErase), Framed({0x01, 0x2B}));
    EXPECT_EQ(std::count(device.Flash().begin(), device.Flash().end(), 0xFF), static_cast<long>(kImageSize));

    // What block writes and reads carry is proven by whole jobs against the device.
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
    const struct {
        const char* what;
        Bytes request;
        std::uint8_t status;
    } cases[] = {
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
    for (const TimedByte& b : enter) {
        EXPECT_DOUBLE_EQ(b.atMs, 13.0);  // all at once, after the turnaround
    }
    EXPECT_DOUBLE_EQ(Feed(fast, kErase, 20.0).front().atMs, 223.0);

    config.timing.wireSpeed = true;
    Device wire(config);
    const auto reply = Feed(wire, kEnter, 10.0);
    ASSERT_EQ(reply.size(), 6U);
    for (std::size_t i = 0; i < reply.size(); ++i) {
        EXPECT_NEAR(reply[i].atMs, 13.0 + static_cast<double>(i + 1) * kByteWireMs, 1e-9);
    }
    // A request that comes in while a reply is going out is answered after it.
    EXPECT_NEAR(Feed(wire, kEnter, 14.0).front().atMs, reply.back().atMs + kByteWireMs, 1e-9);
}

}  // namespace
}  // namespace bramis::devsim::test
