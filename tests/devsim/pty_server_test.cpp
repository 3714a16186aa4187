// The emulator on a real pseudo-terminal at wire speed, in real time, against
// the programmer's own serial channel and bootloader commands. The machine is
// shared and noisy: time limits are generous, splits use pauses of 20 ms or more.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "devsim/pty_server.h"
#include "link/bootloader.h"
#include "link/codec.h"
#include "link/serial_channel.h"

namespace bramis::devsim {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A device served on its own thread for the length of a test.
class ServedDevice {
public:
    explicit ServedDevice(DeviceConfig config) : device_(std::move(config)), server_(device_, true) {
        std::string error;
        opened_ = server_.Open(error);
        EXPECT_TRUE(opened_) << error;
        if (opened_) {
            thread_ = std::thread([this] { server_.Run(); });
        }
    }
    ~ServedDevice() { Stop(); }
    ServedDevice(const ServedDevice&) = delete;
    ServedDevice& operator=(const ServedDevice&) = delete;

    const std::string& Path() const { return server_.SlavePath(); }

    // Stops serving; only then may the test look at the device.
    Device& Stopped() {
        Stop();
        return device_;
    }

private:
    void Stop() {
        if (thread_.joinable()) {
            server_.Stop();
            thread_.join();
        }
    }

    Device device_;
    PtyServer server_;
    bool opened_ = false;
    std::thread thread_;
};

DeviceConfig AtWireSpeed(std::vector<FaultRule> faults = {}) {
    DeviceConfig config;
    config.timing.wireSpeed = true;
    config.versionMajor = 2;
    config.versionMinor = 9;
    config.faults = FaultPlan(std::move(faults), std::nullopt);
    return config;
}

class PtyServerTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetPortOpener({});
    }
    // Opens the programmer's channel on the served terminal.
    void OpenChannel(const std::string& path) {
        SetPortOpener(DevicePathOpener(path));
        ASSERT_EQ(OpenPort(1), LINK_OK) << LastOpenError();
    }
};

TEST_F(PtyServerTest, ProgrammerWritesAndReadsABlockBackAtWireSpeed) {
    ServedDevice served(AtWireSpeed());
    OpenChannel(served.Path());
    std::vector<std::uint8_t> data(kBlockSize);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i ^ 0xA5);
    }
    std::vector<std::uint8_t> back(kBlockSize + 2);
    int major = 0;
    int minor = 0;

    const auto started = Clock::now();
    EXPECT_EQ(EnterProgramming(), LINK_OK);
    EXPECT_EQ(GetLoaderVersion(major, minor), LINK_OK);
    EXPECT_EQ(EraseProgram(), LINK_OK);
    EXPECT_EQ(WriteBlock(200, data.data()), LINK_OK);
    EXPECT_EQ(ReadBlock(200, back.data()), LINK_OK);
    EXPECT_EQ(RunProgram(), LINK_OK);
    const double elapsedMs = MsSince(started);
    ClosePort();

    EXPECT_EQ(major, 2);
    EXPECT_EQ(minor, 9);
    back.resize(kBlockSize);
    EXPECT_EQ(back, data);
    // Every exchange went right the first time: the pacing, the pre-delays,
    // the wire time of the block read and a silent chunk read per reply add
    // up to about 3.7 s.
    EXPECT_GT(elapsedMs, 3500.0);
    EXPECT_LT(elapsedMs, 10000.0);
    const Device& device = served.Stopped();
    EXPECT_EQ(device.CurrentMode(), Mode::Working);
    EXPECT_EQ(device.RequestCount(CMD_WRITE_BLOCK), 1);
    EXPECT_EQ(device.RequestCount(CMD_READ_BLOCK), 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), device.Flash().begin() + 200 * kBlockSize));
}

TEST_F(PtyServerTest, SilentLineAndPausedRepliesFollowTheReadRule) {
    // The first version reply stops for 20 ms after four bytes, the second for 60 ms.
    FaultRule pause;
    pause.kind = FaultKind::Pause;
    pause.command = CMD_GET_VERSION;
    pause.at = 4;
    pause.attempt = 0;
    pause.value = 20;
    FaultRule longPause = pause;
    longPause.attempt = 1;
    longPause.value = 60;
    ServedDevice served(AtWireSpeed({pause, longPause}));
    PortOpenResult opened = DevicePathOpener(served.Path())(1);
    ASSERT_TRUE(opened.port) << opened.error;
    PortBackend& port = *opened.port;
    std::array<std::uint8_t, 16> buffer{};

    // Nothing asked, nothing said: a chunk read gives up after about 30 ms.
    auto started = Clock::now();
    EXPECT_EQ(port.ReadChunk(buffer.data(), buffer.size()), 0U);
    EXPECT_GT(MsSince(started), 25.0);
    EXPECT_LT(MsSince(started), 250.0);

    const std::uint8_t enter[] = {0x80, 0x7F, 0x7F, 0x7F, 0x7F, CMD_ENTER_PROG};
    port.WriteAll(enter, sizeof enter);
    EXPECT_EQ(port.ReadChunk(buffer.data(), 6), 6U);
    const std::uint8_t version[] = {0x80, 0x7F, 0x7F, 0x7F, 0x7F, CMD_GET_VERSION, 0x23};

    // A chunk read ends at the 20 ms pause; the next one gets the rest.
    port.WriteAll(version, sizeof version);
    EXPECT_EQ(port.ReadChunk(buffer.data(), buffer.size()), 4U);
    EXPECT_EQ(port.ReadChunk(buffer.data(), buffer.size()), 5U);

    // After a 60 ms pause the next chunk read has given up: the reply is short.
    port.WriteAll(version, sizeof version);
    EXPECT_EQ(port.ReadChunk(buffer.data(), buffer.size()), 4U);
    EXPECT_EQ(port.ReadChunk(buffer.data(), buffer.size()), 0U);
}

TEST_F(PtyServerTest, OneProgrammerAtATimeAndAgainAfterItLeaves) {
    ServedDevice served(AtWireSpeed());
    // Another process holds the port the way the programmer does.
    std::array<int, 2> ready{};
    std::array<int, 2> release{};
    ASSERT_EQ(pipe(ready.data()), 0);
    ASSERT_EQ(pipe(release.data()), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(release[1]);  // so that the parent's close is the end of the pipe
        const int fd = open(served.Path().c_str(), O_RDWR | O_NOCTTY);
        const char state = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        [[maybe_unused]] const ssize_t w = write(ready[1], &state, 1);
        char ignored = 0;
        [[maybe_unused]] const ssize_t r = read(release[0], &ignored, 1);
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'y');

    SetPortOpener(DevicePathOpener(served.Path()));
    EXPECT_EQ(OpenPort(1), LINK_FAILED);
    EXPECT_NE(LastOpenError().find("in use"), std::string::npos) << LastOpenError();

    close(release[1]);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    for (const int fd : {ready[0], ready[1], release[0]}) {
        close(fd);
    }
    // The holder's exclusive-use flag went with it, so a user who is not
    // root could open the port now; the server lives on for the next client.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int probe = open(served.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    int exclusive = 1;
    EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    close(probe);
    EXPECT_EQ(exclusive, 0);
    OpenChannel(served.Path());
    EXPECT_EQ(EnterProgramming(), LINK_OK);
    ClosePort();
}

}  // namespace
}  // namespace bramis::devsim
