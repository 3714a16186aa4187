// A program of this project run as a user runs it, as a separate process with
// its standard output and error in files: the emulator on its
// pseudo-terminal, bramis-flash talking to it.
#pragma once

#include <fcntl.h>
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

namespace bramis::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

inline std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A folder of scratch files while this lives.
struct ScratchFolder {
    ScratchFolder() { fs::create_directories(path); }
    ~ScratchFolder() { fs::remove_all(path); }
    const fs::path path = fs::temp_directory_path() / ("bramis-process-" + std::to_string(getpid()));
};

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
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (const int end : pipeEnds) {
            if (end >= 0) close(end);
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
    // The first line of standard output: where the emulator serves.
    std::string FirstLine() const { return Out().substr(0, Out().find('\n')); }

    // Waits until a line of standard output after the last one found holds
    // `text`; false when `limit` passes first.
    bool WaitForLine(const std::string& text, Clock::duration limit) {
        for (const Clock::time_point deadline = Clock::now() + limit; Clock::now() < deadline;) {
            const std::string out = Out();
            for (auto end = out.find('\n', scanned_); end != std::string::npos; end = out.find('\n', scanned_)) {
                const bool found = out.find(text, scanned_) < end;
                scanned_ = end + 1;
                if (found) return true;
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
            if (Clock::now() >= deadline) return std::nullopt;
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

}  // namespace bramis::test
