// The Win32 serial port in real time. The far end is pty_split_echo on the
// Linux side of Wine (scripts/wine-tests.sh starts it and maps its
// pseudo-terminal to COM BRAMIS_ECHO_PORT, COM1 and COM255); without it these
// tests are skipped. The peer echoes each request after 20 ms of quiet, split
// in two halves with a pause of as many ms as the request's first byte.
// Pauses are 20 ms and more apart from every time-out, for a noisy machine.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/bootloader.h"
#include "link/serial_channel.h"
#include "link/serial_win32_line.h"

namespace bramis {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The COM number that reaches the echo peer, or 0 when there is none.
unsigned EchoPort() {
    const char* value = std::getenv("BRAMIS_ECHO_PORT");
    return value != nullptr ? static_cast<unsigned>(std::atoi(value)) : 0;
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string PortPath(unsigned number) {
    return "\\\\.\\COM" + std::to_string(number);
}

class Win32PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (EchoPort() == 0) {
            GTEST_SKIP() << "no far end: run scripts/wine-tests.sh";
        }
    }

    // What ReadPort delivers.
    Bytes Read(std::uint32_t capacity, std::uint32_t preDelayMs = 0) {
        Bytes reply(capacity);
        std::uint32_t count = 0;
        const std::uint32_t result = channel.ReadPort(reply.data(), capacity, count, preDelayMs);
        EXPECT_EQ(result, count);
        reply.resize(count);
        return reply;
    }

    void Write(const Bytes& request) { channel.WritePort(request.data(), static_cast<std::uint32_t>(request.size())); }

    SerialChannel channel;
};

// The flag word and the values, from a block of all zeros and of all ones:
// the driver's own bits above 14 stay as they were.
TEST(Win32Line, NineSixHundredEightEvenOneWithoutFlowControl) {
    for (const int fill : {0x00, 0xFF}) {
        DCB dcb;
        std::memset(&dcb, fill, sizeof dcb);
        SetLine(dcb);
        std::uint32_t flags = 0;
        std::memcpy(&flags, reinterpret_cast<const char*>(&dcb.BaudRate) + sizeof dcb.BaudRate, sizeof flags);
        EXPECT_EQ(flags, fill == 0 ? 0x83U : 0xFFFF8083U) << fill;
        EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_9600));
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, EVENPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_EQ(dcb.wReserved, 0);
    }
}

TEST_F(Win32PortTest, EveryByteValuePassesBothWaysAndWritesArePaced) {
    ASSERT_EQ(channel.OpenPort(EchoPort()), LINK_OK) << channel.LastOpenError().systemText;
    // No flow control, no end-of-file or error character, no parity
    // replacement: all 256 values come back as sent. The first byte, 0, asks
    // for no pause, and the echo arrives while WritePort still paces.
    Bytes all(256);
    for (std::size_t n = 0; n < all.size(); ++n) {
        all[n] = static_cast<std::uint8_t>(n);
    }
    auto start = Clock::now();
    Write(all);
    EXPECT_GE(MsSince(start), 307.0);  // 256 * 12 / 10
    EXPECT_EQ(Read(300), all);

    start = Clock::now();
    Write({0, 1, 2, 3, 4, 5, 6});
    EXPECT_GE(MsSince(start), 8.0);  // 84 / 10, truncated
    EXPECT_EQ(Read(16), (Bytes{0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(Win32PortTest, ChunkReadsFollowTheThirtyAndFiveMsRule) {
    PortOpenResult opened = DevicePathOpener(PortPath(EchoPort()))(EchoPort());
    ASSERT_TRUE(opened.port) << opened.error.systemText;
    PortBackend& port = *opened.port;
    std::array<std::uint8_t, 16> buffer{};
    port.PurgeInput();

    // Silent line: nothing, after about 30 ms.
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadChunk(buffer.data(), 16), 0U);
    EXPECT_GE(MsSince(start), 25.0);
    EXPECT_LT(MsSince(start), 1000.0);

    // A 20 ms pause mid-reply ends the call with the bytes before it; the
    // next call, within its 30 ms, gets the rest.
    const Bytes request{20, 1, 2, 3, 4, 5};
    port.WriteAll(request.data(), request.size());
    ASSERT_EQ(port.ReadChunk(buffer.data(), 16), 3U);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), (Bytes{20, 1, 2}));
    ASSERT_EQ(port.ReadChunk(buffer.data(), 16), 3U);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), (Bytes{3, 4, 5}));
}

TEST_F(Win32PortTest, ReadPortEndsShortAtALongPauseAndWritePortDropsWhatWasLeft) {
    ASSERT_EQ(channel.OpenPort(EchoPort()), LINK_OK) << channel.LastOpenError().systemText;
    // A silent line gives nothing after one chunk read's 30 ms.
    auto start = Clock::now();
    EXPECT_EQ(Read(16), Bytes{});
    EXPECT_GE(MsSince(start), 25.0);
    EXPECT_LT(MsSince(start), 1000.0);

    // 80 ms outlasts a whole chunk read: the reply is short, and the rest,
    // arriving later, is there for the next read.
    Write({80, 1, 2, 3, 4, 5});
    EXPECT_EQ(Read(6), (Bytes{80, 1, 2}));
    EXPECT_EQ(Read(6, 100), (Bytes{3, 4, 5}));

    // Everything came during the pre-delay: the count asked for, at once.
    Write({80, 6, 7, 8, 9, 10});
    start = Clock::now();
    EXPECT_EQ(Read(3, 150), (Bytes{80, 6, 7}));
    EXPECT_GE(MsSince(start), 150.0);

    // The bytes left in the driver are discarded by the next request.
    Write({0, 11});
    EXPECT_EQ(Read(16), (Bytes{0, 11}));
}

TEST_F(Win32PortTest, NumbersOutsideOneTo255OpenCom1AndAnAbsentPortFails) {
    for (const unsigned number : {0U, 256U, 1U, 255U}) {
        ASSERT_EQ(channel.OpenPort(number), LINK_OK) << number << ": " << channel.LastOpenError().systemText;
        Write({0, static_cast<std::uint8_t>(number)});
        EXPECT_EQ(Read(16), (Bytes{0, static_cast<std::uint8_t>(number)})) << number;
        channel.ClosePort();
        // The far end makes the line fresh when a client closes it (a
        // pseudo-terminal would refuse Wine's parity request otherwise);
        // give it the moment that a person reopening a port would.
        Sleep(100);
    }
    EXPECT_EQ(channel.OpenPort(254), LINK_FAILED);
    EXPECT_EQ(channel.LastOpenError().device, PortPath(254)) << channel.LastOpenError().systemText;
    EXPECT_EQ(Read(16), Bytes{});  // the channel stayed closed
}

TEST_F(Win32PortTest, AnOpenPortIsNotShared) {
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine lets a second opener have a port held with share mode 0";
    }
    ASSERT_EQ(channel.OpenPort(EchoPort()), LINK_OK) << channel.LastOpenError().systemText;
    EXPECT_FALSE(DevicePathOpener(PortPath(EchoPort()))(EchoPort()).port);
}

}  // namespace
}  // namespace bramis
