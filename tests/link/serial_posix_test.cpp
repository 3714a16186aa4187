// The POSIX port over a real pseudo-terminal, in real time. The machine is
// shared and noisy: splits are provoked with pauses of 20 ms or more, and
// whole replies use gaps of 1 ms or less.
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <csignal>
#include <thread>
#include <tuple>

#include "link/serial_channel.h"
#include "link/serial_os.h"
#include "link_harness.h"

namespace bramis::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The master side of a pseudo-terminal, the device's end of the cable, and
// the programmer's port on its slave side.
class PosixPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slavePath = ptsname(master);
        PortOpenResult opened = DevicePathOpener(slavePath)(1);
        ASSERT_TRUE(opened.port) << opened.error.systemText;
        port = std::move(opened.port);
    }
    void TearDown() override {
        channel.ClosePort();
        port.reset();
        close(master);
    }

    void Send(const Bytes& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the programmer sent, as far as it has arrived.
    Bytes Received() const {
        Bytes bytes(4096);
        const ssize_t n = read(master, bytes.data(), bytes.size());
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return bytes;
    }

    int master = -1;
    std::string slavePath;
    std::unique_ptr<PortBackend> port;
    SerialChannel channel;
    std::array<std::uint8_t, 16> buffer{};
};

TEST_F(PosixPortTest, LineIsRawEightBitsAt9600) {
    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0);
    EXPECT_EQ(tio.c_cflag & (CSIZE | CREAD | CLOCAL | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8 | CREAD | CLOCAL));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0U);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INPCK | PARMRK | ISTRIP), 0U);
    EXPECT_EQ(tio.c_oflag & OPOST, 0U);
    EXPECT_EQ(std::pair(cfgetispeed(&tio), cfgetospeed(&tio)), (std::pair<speed_t, speed_t>(B9600, B9600)));

}

TEST_F(PosixPortTest, ChunkReadFollowsTheThirtyAndFiveMsRule) {
    // Silent line: nothing, after about 30 ms.
    auto start = Clock::now();
    EXPECT_EQ(port->ReadChunk(buffer.data(), 16), 0U);
    EXPECT_GE(MsSince(start), 29.5);
    EXPECT_LT(MsSince(start), 250.0);

    // A 20 ms pause mid-reply ends the call with the bytes before it.
    std::thread device([&] {
        Send({1, 2, 3, 4});
        std::this_thread::sleep_for(milliseconds(20));
        Send({5, 6, 7, 8});
    });
    std::this_thread::sleep_for(milliseconds(2));
    EXPECT_EQ(port->ReadChunk(buffer.data(), 16), 4U);
    EXPECT_EQ(port->ReadChunk(buffer.data(), 16), 4U);
    EXPECT_EQ(buffer[0], 5);
    device.join();

    // Gaps of at most 1 ms keep the reply whole, and the call ends once the count is
    // reached. The sending thread itself can be held up for more than 5 ms on a loaded
    // machine, so one whole reply in three tries is required.
    const auto wholeReply = [&] {
        std::thread sender([&] {
            for (std::uint8_t b = 0; b < 12; ++b) {
                Send({b});
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
        std::size_t got = port->ReadChunk(buffer.data(), 12);
        sender.join();
        const bool whole = got == 12 && buffer[11] == 11;
        while (got != 0) {
            got = port->ReadChunk(buffer.data(), 16);  // what a split left behind
        }
        return whole;
    };
    EXPECT_TRUE(wholeReply() || wholeReply() || wholeReply());

    // Bytes already there come at once.
    Send({9, 9, 9});
    std::this_thread::sleep_for(milliseconds(5));
    start = Clock::now();
    EXPECT_EQ(port->ReadChunk(buffer.data(), 3), 3U);
    EXPECT_LT(MsSince(start), 25.0);
}

TEST_F(PosixPortTest, ChannelPurgesStaleInputAndAnOpenPortIsNotSharable) {
    port.reset();
    channel.SetPortOverrides({{7, slavePath}});
    ASSERT_EQ(channel.OpenPort(7), LINK_OK) << channel.LastOpenError().systemText;

    // Noise before a request is purged; the answer after it is read.
    Send({0xAA, 0xBB});
    std::this_thread::sleep_for(milliseconds(5));
    const Bytes request = Framed({0x09, 0x23});
    const auto start = Clock::now();
    channel.WritePort(request.data(), 7);
    EXPECT_GE(MsSince(start), 8.0);
    EXPECT_EQ(Received(), request);
    Send({1, 2, 3});
    std::uint32_t count = 0;
    EXPECT_EQ(channel.ReadPort(buffer.data(), 16, count, 0), 3U);
    EXPECT_EQ(buffer[0], 1);

    // While the channel holds the port, nobody else opens it.
    PortOpenResult second = DevicePathOpener(slavePath)(1);
    EXPECT_FALSE(second.port);
    EXPECT_EQ(second.error.kind, OpenFailure::Busy) << second.error.systemText;
}

TEST(PosixPortMapping, SystemOpenerMapsNumbersByFixedRangesUnlessOverridden) {
    for (const auto& [number, device] : {std::pair{1, "/dev/ttyS0"}, {32, "/dev/ttyS31"}, {33, "/dev/ttyUSB0"},
                                         {64, "/dev/ttyUSB31"}, {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}, {97, ""}}) {
        EXPECT_EQ(OsDeviceForPort(number), device) << number;
    }
    SerialChannel channel;
    EXPECT_EQ(channel.OpenPort(200), LINK_FAILED);
    EXPECT_EQ(channel.LastOpenError().kind, OpenFailure::NoSuchPort);

    channel.SetPortOverrides({{200, "/nonexistent/tty"}});
    EXPECT_EQ(channel.OpenPort(200), LINK_FAILED);
    EXPECT_EQ(channel.LastOpenError(), (PortOpenError{OpenFailure::NoSuchDevice, "/nonexistent/tty", ENOENT,
                                                      std::strerror(ENOENT), {}}));
}

// A terminal program holding the test's line without a lock, and an emulator
// on a line of its own, both ends open: only the first keeps a port closed.
TEST(PosixPortHolders, AnotherProgramOnTheLineKeepsItClosedAndIsNamedTheLinesOtherEndDoesNot) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string slave = ptsname(master);
    int said[2];
    ASSERT_EQ(pipe(said), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(master);  // the fork's copy would make the child the line's other end
        const int own = posix_openpt(O_RDWR | O_NOCTTY);
        const std::string path = own >= 0 && grantpt(own) == 0 && unlockpt(own) == 0 ? ptsname(own) : "";
        if (open(slave.c_str(), O_RDWR | O_NOCTTY) >= 0 && open(path.c_str(), O_RDWR | O_NOCTTY) >= 0 &&
            write(said[1], path.data(), path.size()) > 0)
            pause();
        _exit(0);
    }
    char text[64] = {};
    const bool ready = close(said[1]) == 0 && read(said[0], text, sizeof text - 1) > 0 && close(said[0]) == 0;
    ASSERT_TRUE(ready);
    PortOpenResult opened = OpenOsPort(slave);
    EXPECT_EQ(std::tie(opened.error.kind, opened.error.holder.pid), std::make_tuple(OpenFailure::Busy, child));
    EXPECT_FALSE(opened.port || opened.error.holder.name.empty());
    EXPECT_TRUE(OpenOsPort(text).port);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(OpenOsPort(slave).port);
    close(master);
}

}  // namespace
}  // namespace bramis::test
