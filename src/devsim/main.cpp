// bramis-devsim: the device emulator on a pseudo-terminal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "devsim/devsim_options.h"
#include "devsim/flash_file.h"
#include "devsim/pty_server.h"

namespace {

bramis::devsim::PtyServer* g_server = nullptr;

void OnStopSignal(int) {
    g_server->Stop();
}

// Makes `linkPath` a symlink to `target`, replacing an older symlink there.
// Anything else at that path is left alone: a mistyped --link must not
// destroy a file.
bool MakeLink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = linkPath + ": exists and is not a symbolic link; not replaced";
        return false;
    }
    const std::string temporary = linkPath + ".tmp";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = linkPath + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace bramis::devsim;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<DevsimOptions> options = ParseDevsimOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "bramis-devsim: %s\nTry 'bramis-devsim --help'.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(DevsimUsage().data(), stdout);
        return 0;
    }

    Device device(MakeDeviceConfig(*options));
    if (!options->imagePath.empty() && !LoadFlashFile(options->imagePath, device.Flash(), error)) {
        std::fprintf(stderr, "bramis-devsim: %s\n", error.c_str());
        return 2;
    }
    if (!options->savePath.empty()) {
        device.SetModeHandler([&device, &path = options->savePath](Mode mode) {
            std::string failure;
            if (mode == Mode::Working && !SaveFlashFile(path, device.Flash(), failure)) {
                std::fprintf(stderr, "bramis-devsim: %s\n", failure.c_str());
            }
        });
    }
    if (options->events) {
        device.SetEventHandler([](const RequestEvent& event) {
            std::printf("%s\n", FormatEvent(event).c_str());
            std::fflush(stdout);
        });
    }

    AdapterPeer line(device, options->adapter);
    PtyServer server(line, options->timing.wireSpeed);
    if (!server.Open(error)) {
        std::fprintf(stderr, "bramis-devsim: %s\n", error.c_str());
        return 1;
    }
    if (!options->linkPath.empty() && !MakeLink(options->linkPath, server.SlavePath(), error)) {
        std::fprintf(stderr, "bramis-devsim: %s\n", error.c_str());
        return 1;
    }

    g_server = &server;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a reader of --events may go away first

    std::printf("%s\n", server.SlavePath().c_str());
    std::fflush(stdout);
    server.Run();

    // Only our own link: another emulator may have taken the name since.
    std::array<char, 256> target{};
    if (!options->linkPath.empty() &&
        readlink(options->linkPath.c_str(), target.data(), target.size() - 1) > 0 &&
        server.SlavePath() == target.data()) {
        unlink(options->linkPath.c_str());
    }
    return 0;
}
