// bramis-flash as a user runs it: a separate process talking in real time
// over a pseudo-terminal to bramis-devsim, which logs every request it gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;
constexpr auto npos = std::string::npos;

std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A child process with its standard output and error in files of `folder`.
class Child {
public:
    // `outToClosedPipe`: standard output is a pipe whose reader has gone, as
    // with `| head` once head has its lines.
    Child(const fs::path& folder, const std::string& name, const std::vector<std::string>& args,
          bool outToClosedPipe = false)
        : out_(folder / (name + ".out")), err_(folder / (name + ".err")) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        if (outToClosedPipe && pipe(pipeEnds) == 0) {
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
            posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        }
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        for (const int end : pipeEnds) {
            if (end >= 0) {
                close(end);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        Signal(SIGKILL);
        Wait(seconds(10));
    }

    void Signal(int number) const {
        if (pid_ > 0) {  // never kill(-1, ...)
            kill(pid_, number);
        }
    }
    std::string Out() const { return Contents(out_); }
    std::string Err() const { return Contents(err_); }

    // Waits until a line of standard output after the last one found holds
    // `text`; false when `limit` passes first.
    bool WaitForLine(const std::string& text, Clock::duration limit) {
        for (const Clock::time_point deadline = Clock::now() + limit; Clock::now() < deadline;) {
            const std::string out = Out();
            for (auto end = out.find('\n', scanned_); end != npos; end = out.find('\n', scanned_)) {
                const bool found = out.find(text, scanned_) < end;
                scanned_ = end + 1;
                if (found) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // The exit code once the process has ended (-1 when a signal ended it);
    // nothing when it did not end within `limit`.
    std::optional<int> Wait(Clock::duration limit) {
        const Clock::time_point deadline = Clock::now() + limit;
        int status = 0;
        while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) != pid_) {
            if (Clock::now() >= deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    fs::path out_;
    fs::path err_;
    pid_t pid_ = -1;
    std::size_t scanned_ = 0;
};

// A folder of scratch files while this lives.
struct ScratchFolder {
    ScratchFolder() { fs::create_directories(path); }
    ~ScratchFolder() { fs::remove_all(path); }
    const fs::path path = fs::temp_directory_path() / ("bramis-e2e-" + std::to_string(getpid()));
};

TEST(FlashOverPty, VersionABadFileAndEveryWayAWriteIsStopped) {
    const ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    setenv("XDG_DATA_HOME", folder.c_str(), 1);  // the journal of jobs, not the user's
    // The emulator logs each request; its first line is its terminal.
    Child device(folder, "devsim", {BRAMIS_DEVSIM_PATH, "--events", "--version", "2.7"});
    ASSERT_TRUE(device.WaitForLine("/", seconds(10))) << device.Err();
    const std::string port = device.Out().substr(0, device.Out().find('\n'));

    Child version(folder, "version", {BRAMIS_FLASH_PATH, "--device", port, "version"});
    EXPECT_EQ(version.Wait(seconds(60)), 0) << version.Err();
    EXPECT_NE(version.Out().find("Версия загрузчика 02.07\n"), npos) << version.Out();
    EXPECT_TRUE(version.Out().ends_with("Переход в рабочий режим\n")) << version.Out();
    EXPECT_EQ(version.Err(), "");
    EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();

    // A bad file ends the run before the port is opened.
    const std::string shortFile = (folder / "short.dat").string();
    std::ofstream(shortFile, std::ios::binary) << std::string(1000, '\x33');
    Child bad(folder, "bad", {BRAMIS_FLASH_PATH, "--device", port, "write", shortFile});
    EXPECT_EQ(bad.Wait(seconds(30)), 2);
    EXPECT_NE(bad.Err().find("Не верная длина файла"), npos) << bad.Err();
    EXPECT_EQ(bad.Out(), "");  // not even "Открытие порта"
    EXPECT_FALSE(device.WaitForLine("enter", seconds(1)));

    // Ways a job is told to stop, each of which must still send the device
    // back to its working mode: Ctrl+C then an impatient termination request
    // (the second changes nothing), a closed terminal or remote session, and
    // output into a pipe that has closed, which must not end the job at all.
    const std::string image = (folder / "image.dat").string();
    std::ofstream(image, std::ios::binary) << std::string(188416, '\x33');
    const struct {
        const char* name;
        std::vector<int> signals;
        bool outToClosedPipe;
    } rows[] = {
        {"int-term", {SIGINT, SIGTERM}, false},
        {"hup", {SIGHUP}, false},
        {"pipe", {SIGTERM}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Child write(folder, row.name, {BRAMIS_FLASH_PATH, "--device", port, "write", image}, row.outToClosedPipe);
        // Block 2 is written after the stage lines went to the closed pipe.
        ASSERT_TRUE(device.WaitForLine("write 2 ", seconds(60))) << device.Out();
        for (const int number : row.signals) {
            write.Signal(number);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(write.Wait(seconds(60)), 3) << write.Err();
        EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();
        EXPECT_NE(write.Err().find("Отмена: задание остановится после текущего шага"), npos) << write.Err();
        EXPECT_TRUE(write.Err().ends_with("bramis-flash: задание отменено\n  программа прибора стёрта или записана не "
                                          "полностью: прибор заработает только после успешной записи\n"))
            << write.Err();
    }
    EXPECT_EQ(device.Out().find("write 5 "), npos) << device.Out();

    // Two devices at once: Ctrl+C cancels both jobs and sends each device back.
    Child other(folder, "devsim2", {BRAMIS_DEVSIM_PATH, "--events"});
    ASSERT_TRUE(other.WaitForLine("/", seconds(10))) << other.Err();
    const std::string otherPort = other.Out().substr(0, other.Out().find('\n'));
    Child both(folder, "both", {BRAMIS_FLASH_PATH, "--device", port, "--device", otherPort, "write", image});
    ASSERT_TRUE(device.WaitForLine("write 2 ", seconds(60))) << device.Out();
    ASSERT_TRUE(other.WaitForLine("write 2 ", seconds(60))) << other.Out();
    both.Signal(SIGINT);
    EXPECT_EQ(both.Wait(seconds(60)), 3) << both.Err();
    EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();
    EXPECT_TRUE(other.WaitForLine("run", seconds(10))) << other.Out();
    EXPECT_NE(both.Out().find("  " + otherPort + ": отменено ("), npos) << both.Out();
}

}  // namespace
