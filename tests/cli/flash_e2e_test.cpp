// bramis-flash as a user runs it: a separate process talking in real time
// over a pseudo-terminal to bramis-devsim, which logs every request it gets.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// A child process with its standard output and error in pipes.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        int outPipe[2];
        int errPipe[2];
        if (pipe(outPipe) != 0 || pipe(errPipe) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        posix_spawn_file_actions_addclose(&actions, errPipe[0]);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        close(errPipe[1]);
        out_ = outPipe[0];
        err_ = errPipe[0];
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int number) { kill(pid_, number); }

    // Reads standard output until a line containing `text` has come; false
    // when `limit` passes first or the output ends.
    bool WaitForLine(const std::string& text, Clock::duration limit) {
        const Clock::time_point deadline = Clock::now() + limit;
        while (true) {
            for (auto end = out.find('\n', scanned_); end != std::string::npos; end = out.find('\n', scanned_)) {
                const std::string line = out.substr(scanned_, end - scanned_);
                scanned_ = end + 1;
                if (line.find(text) != std::string::npos) {
                    return true;
                }
            }
            if (Clock::now() >= deadline || !Pump(deadline)) {
                return false;
            }
        }
    }

    // Waits for the process to end, collecting all its output; the exit
    // code, or nothing when it did not end in time (it is then killed).
    std::optional<int> Wait(Clock::duration limit) {
        const Clock::time_point deadline = Clock::now() + limit;
        while (Pump(deadline)) {
        }
        int status = 0;
        while (Clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::optional<int>(-1);
            }
            usleep(10000);
        }
        return std::nullopt;
    }

    std::string out;
    std::string err;

private:
    // Takes what the pipes hold; false once both have ended or time is up.
    bool Pump(Clock::time_point deadline) {
        std::vector<pollfd> fds;
        for (const int fd : {out_, err_}) {
            if (fd >= 0) {
                fds.push_back({fd, POLLIN, 0});
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (fds.empty() || left <= 0 || poll(fds.data(), fds.size(), static_cast<int>(left)) <= 0) {
            return false;
        }
        for (const pollfd& p : fds) {
            if (p.revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            std::string& text = p.fd == out_ ? out : err;
            if (n > 0) {
                text.append(buffer, static_cast<std::size_t>(n));
            } else {
                close(p.fd);
                (p.fd == out_ ? out_ : err_) = -1;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::size_t scanned_ = 0;
    std::optional<int> status_;
};

// The emulator on its pseudo-terminal, logging each request on its output.
class Emulator {
public:
    explicit Emulator(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {BRAMIS_DEVSIM_PATH, "--events"};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<Child>(args);
        if (process_->WaitForLine("/", seconds(10))) {
            path_ = process_->out.substr(0, process_->out.find('\n'));
        }
    }
    ~Emulator() {
        process_->Signal(SIGTERM);
        process_->Wait(seconds(10));
    }
    const std::string& path() const { return path_; }
    Child& process() { return *process_; }

private:
    std::unique_ptr<Child> process_;
    std::string path_;
};

std::string TempFile(const std::string& name, std::size_t size) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              (name + "-" + std::to_string(getpid()) + ".dat"))
                                 .string();
    std::ofstream(path, std::ios::binary) << std::string(size, '\x33');
    return path;
}

TEST(FlashOverPty, VersionPrintsTheBootloaderVersion) {
    Emulator device({"--version", "2.7"});
    ASSERT_FALSE(device.path().empty());
    Child flash({BRAMIS_FLASH_PATH, "--device", device.path(), "version"});
    ASSERT_TRUE(flash.Started());
    EXPECT_EQ(flash.Wait(seconds(60)), 0) << flash.err;
    EXPECT_NE(flash.out.find("Версия загрузчика 02.07\n"), std::string::npos) << flash.out;
    EXPECT_TRUE(flash.out.ends_with("Переход в рабочий режим\n")) << flash.out;
    EXPECT_EQ(flash.err, "");
    EXPECT_TRUE(device.process().WaitForLine("run", seconds(10))) << device.process().out;
}

TEST(FlashOverPty, CtrlCDuringAWriteStillReturnsTheDeviceToWorkingMode) {
    Emulator device;
    ASSERT_FALSE(device.path().empty());
    const std::string image = TempFile("bramis-e2e-write", 188416);
    Child flash({BRAMIS_FLASH_PATH, "--device", device.path(), "write", image});
    ASSERT_TRUE(flash.Started());
    ASSERT_TRUE(device.process().WaitForLine("write 2 ", seconds(60))) << device.process().out;
    // Twice, as an impatient user does: the second changes nothing.
    flash.Signal(SIGINT);
    usleep(100000);
    flash.Signal(SIGINT);
    EXPECT_EQ(flash.Wait(seconds(60)), 3) << flash.err;
    EXPECT_TRUE(device.process().WaitForLine("run", seconds(10))) << device.process().out;
    EXPECT_NE(flash.err.find("задание отменено"), std::string::npos) << flash.err;
    EXPECT_EQ(device.process().out.find("write 5 "), std::string::npos) << device.process().out;
    std::filesystem::remove(image);
}

TEST(FlashOverPty, ABadFileEndsTheRunBeforeThePortIsOpened) {
    Emulator device;
    ASSERT_FALSE(device.path().empty());
    const std::string image = TempFile("bramis-e2e-short", 1000);
    Child flash({BRAMIS_FLASH_PATH, "--device", device.path(), "write", image});
    EXPECT_EQ(flash.Wait(seconds(30)), 2);
    EXPECT_NE(flash.err.find("Не верная длина файла"), std::string::npos) << flash.err;
    EXPECT_EQ(flash.out, "");  // not even "Открытие порта"
    EXPECT_FALSE(device.process().WaitForLine("enter", seconds(1)));
    std::filesystem::remove(image);
}

}  // namespace
