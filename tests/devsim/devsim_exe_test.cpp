// bramis-devsim as a user runs it: a separate process serving a real
// pseudo-terminal at wire speed, in real time, driven by the programmer's own
// serial channel and bootloader commands. The machine is shared and noisy:
// time limits are generous. (The read rule over a pseudo-terminal is the
// POSIX port's own test.)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "devsim/flash_file.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"

namespace bramis::devsim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One run of the emulator, its stdout and stderr on one pipe.
class Emulator {
public:
    explicit Emulator(std::vector<std::string> args) {
        args.insert(args.begin(), BRAMIS_DEVSIM_EXE);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::array<int, 2> out{};
        EXPECT_EQ(pipe(out.data()), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    // Starts at wire speed with `args` and waits for the terminal's path.
    static std::unique_ptr<Emulator> Serving(std::vector<std::string> args) {
        args.insert(args.begin(), "--wire-speed");
        auto emulator = std::make_unique<Emulator>(std::move(args));
        emulator->path = emulator->ReadLine();
        EXPECT_EQ(emulator->path.rfind("/dev/pts/", 0), 0U) << emulator->path;
        return emulator;
    }
    ~Emulator() {
        if (pid_ > 0) {
            Stop(SIGKILL);
        }
        close(out_);
    }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // The next line of output, or "" when none comes within `timeoutMs`; with
    // -1, everything up to the end.
    std::string ReadLine(int timeoutMs = 5000) {
        std::string line;
        char c = 0;
        pollfd watch{out_, POLLIN, 0};
        while (poll(&watch, 1, timeoutMs < 0 ? 5000 : timeoutMs) == 1 && read(out_, &c, 1) == 1 &&
               (c != '\n' || timeoutMs < 0)) {
            line += c;
        }
        return line;
    }

    // Sends `signal` (unless 0) and returns the exit code, or -1 when killed.
    int Stop(int signal) {
        if (signal != 0) {
            kill(pid_, signal);
        }
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string path;

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

class DevsimExeTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("bramis_devsim_exe_" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    SerialChannel channel;
};

TEST_F(DevsimExeTest, ServesTheProgrammerReportsRequestsAndSavesTheFlash) {
    std::vector<std::uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i % 251);
    }
    const std::string imagePath = (folder / "image.dat").string();
    const std::string savePath = (folder / "saved.dat").string();
    const std::string linkPath = (folder / "device").string();
    std::string error;
    ASSERT_TRUE(SaveFlashFile(imagePath, std::span<const std::uint8_t, kImageSize>(image.data(), kImageSize), error));
    const auto emulator = Emulator::Serving(
        {"--events", "--image", imagePath, "--save", savePath, "--link", linkPath, "--version", "4.2"});
    EXPECT_EQ(fs::read_symlink(linkPath), emulator->path);

    channel.SetPortOpener(DevicePathOpener(linkPath));
    ASSERT_EQ(channel.OpenPort(1), LINK_OK) << channel.LastOpenError();
    const std::uint8_t* data = image.data() + 7 * kBlockSize;
    std::vector<std::uint8_t> block(kBlockSize + 2);
    int major = 0;
    int minor = 0;
    const auto started = Clock::now();
    EXPECT_EQ(EnterProgramming(channel), LINK_OK);
    EXPECT_EQ(GetLoaderVersion(channel, major, minor), LINK_OK);
    EXPECT_EQ(ReadBlock(channel, 0, block.data()), LINK_OK);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBlockSize, block.begin()));
    EXPECT_EQ(EraseProgram(channel), LINK_OK);
    EXPECT_EQ(WriteBlock(channel, 3, data), LINK_OK);
    EXPECT_EQ(ReadBlock(channel, 3, block.data()), LINK_OK);
    EXPECT_TRUE(std::equal(data, data + kBlockSize, block.begin()));
    EXPECT_EQ(RunProgram(channel), LINK_OK);
    const double elapsedMs = MsSince(started);
    channel.ClosePort();

    EXPECT_EQ(std::pair(major, minor), std::pair(4, 2));
    // Each exchange went right the first time: pacing, pre-delays, the wire
    // time of two block reads and a silent chunk read per reply make ~4.9 s.
    EXPECT_GT(elapsedMs, 4700.0);
    EXPECT_LT(elapsedMs, 15000.0);
    for (const char* expected :
         {"enter", "version", "read 0", "erase status 01", "write 3 status 55", "read 3", "run"}) {
        EXPECT_EQ(emulator->ReadLine(), expected);
    }
    // Saved before "run" was reported: erased, but for block 3.
    std::ifstream in(savePath, std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(saved.size(), kImageSize);
    EXPECT_TRUE(std::equal(data, data + kBlockSize, saved.begin() + 3 * kBlockSize));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), 0xFF), static_cast<long>(kImageSize - kBlockSize));

    EXPECT_EQ(emulator->Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(linkPath)));
}

TEST_F(DevsimExeTest, OneProgrammerAtATimeAndAgainAfterItLeaves) {
    const auto emulator = Emulator::Serving({});
    channel.SetPortOpener(DevicePathOpener(emulator->path));
    // Another client holds the port the way the programmer does, and leaves
    // without clearing its exclusive-use flag.
    const int holder = open(emulator->path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(channel.OpenPort(1), LINK_FAILED);
    EXPECT_NE(channel.LastOpenError().find("порт занят другой программой"), std::string::npos) << channel.LastOpenError();
    close(holder);
    // The flag went with it, so a user who is not root could open the port
    // now; the server lives on for the next client.
    usleep(500 * 1000);
    const int probe = open(emulator->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    int exclusive = 1;
    EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    close(probe);
    EXPECT_EQ(exclusive, 0);
    ASSERT_EQ(channel.OpenPort(1), LINK_OK) << channel.LastOpenError();
    EXPECT_EQ(EnterProgramming(channel), LINK_OK);
    channel.ClosePort();
}

TEST_F(DevsimExeTest, ExplainsBadCommandLinesAndBadImages) {
    Emulator unknown({"--bogus"});
    EXPECT_EQ(unknown.Stop(0), 2);
    EXPECT_NE(unknown.ReadLine(-1).find("Unknown option 'bogus'"), std::string::npos);

    const std::string shortImage = (folder / "short.dat").string();
    std::ofstream(shortImage) << "too short";
    Emulator badImage({"--image", shortImage});
    EXPECT_EQ(badImage.Stop(0), 2);
    EXPECT_NE(badImage.ReadLine(-1).find("188416"), std::string::npos);

    // A mistyped --link that names a file keeps the file.
    const std::string keptFile = (folder / "kept.dat").string();
    std::ofstream(keptFile) << "keep me";
    Emulator overFile({"--link", keptFile});
    const std::string said = overFile.ReadLine();
    EXPECT_NE(said.find("not a symbolic link"), std::string::npos) << said;
    // Stopped by hand only when it went on to serve: that must not hang the test.
    EXPECT_EQ(overFile.Stop(said.rfind("/dev/pts/", 0) == 0 ? SIGTERM : 0), 1);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(keptFile)));
    std::ifstream kept(keptFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");

    Emulator help({"--help"});
    EXPECT_EQ(help.ReadLine(), "usage: bramis-devsim [options]");
    EXPECT_EQ(help.Stop(0), 0);
}

}  // namespace
}  // namespace bramis::devsim
