// bramis-devsim as a user runs it: a separate process on a pseudo-terminal,
// driven by the programmer's bootloader commands.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "devsim/flash_file.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"

namespace bramis::devsim {
namespace {

namespace fs = std::filesystem;

// One run of the emulator with its stdout and stderr on pipes.
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
        std::array<int, 2> err{};
        EXPECT_EQ(pipe(out.data()), 0);
        EXPECT_EQ(pipe(err.data()), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Emulator() {
        if (pid_ > 0) {
            Stop(SIGKILL);
        }
        close(out_);
        close(err_);
    }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // The next line on stdout, or "" when none comes within `timeoutMs`.
    std::string ReadLine(int timeoutMs = 5000) {
        std::string line;
        char c = 0;
        pollfd watch{out_, POLLIN, 0};
        while (poll(&watch, 1, timeoutMs) == 1 && read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    // Everything on stderr once the process has ended.
    std::string Errors() const {
        std::string text;
        std::array<char, 256> buffer{};
        ssize_t n = 0;
        while ((n = read(err_, buffer.data(), buffer.size())) > 0) {
            text.append(buffer.data(), static_cast<std::size_t>(n));
        }
        return text;
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

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

class DevsimExeTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("bramis_devsim_exe_" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override {
        SetPortOpener({});
        fs::remove_all(folder);
    }

    fs::path folder;
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

    Emulator emulator({"--wire-speed", "--events", "--image", imagePath, "--save", savePath, "--link", linkPath,
                       "--version", "4.2"});
    const std::string slave = emulator.ReadLine();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0U) << slave;
    EXPECT_EQ(fs::read_symlink(linkPath), slave);

    SetPortOpener(DevicePathOpener(linkPath));
    ASSERT_EQ(OpenPort(1), LINK_OK) << LastOpenError();
    std::vector<std::uint8_t> block(kBlockSize + 2);
    EXPECT_EQ(EnterProgramming(), LINK_OK);
    EXPECT_EQ(ReadBlock(0, block.data()), LINK_OK);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBlockSize, block.begin()));
    EXPECT_EQ(EraseProgram(), LINK_OK);
    EXPECT_EQ(WriteBlock(3, image.data()), LINK_OK);
    EXPECT_EQ(RunProgram(), LINK_OK);
    ClosePort();

    for (const char* expected : {"enter", "read 0", "erase status 01", "write 3 status 55", "run"}) {
        EXPECT_EQ(emulator.ReadLine(), expected);
    }
    // Saved before "run" was reported: erased, but for block 3.
    std::ifstream in(savePath, std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(saved.size(), kImageSize);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBlockSize, saved.begin() + 3 * kBlockSize));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), 0xFF), static_cast<long>(kImageSize - kBlockSize));

    EXPECT_EQ(emulator.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(linkPath)));
}

TEST_F(DevsimExeTest, ExplainsBadCommandLinesAndBadImages) {
    Emulator unknown({"--bogus"});
    EXPECT_EQ(unknown.Stop(0), 2);
    EXPECT_NE(unknown.Errors().find("unknown option '--bogus'"), std::string::npos);

    const std::string shortImage = (folder / "short.dat").string();
    std::ofstream(shortImage) << "too short";
    Emulator badImage({"--image", shortImage});
    EXPECT_EQ(badImage.Stop(0), 2);
    EXPECT_NE(badImage.Errors().find("188416"), std::string::npos);

    Emulator help({"--help"});
    EXPECT_EQ(help.ReadLine(), "usage: bramis-devsim [options]");
    EXPECT_EQ(help.Stop(0), 0);
}

}  // namespace
}  // namespace bramis::devsim
