// A far end for the serial tests of the Windows build, which run under Wine
// and cannot make a pseudo-terminal themselves. It serves one pseudo-terminal
// (its slave path is the first line it prints) and answers every request,
// once the line has been quiet for 20 ms, with the request's own bytes: the
// first half, a pause of as many milliseconds as the request's first byte,
// then the second half. Each time a client closes the port the line is set
// raw again, as a fresh cable would be: a pseudo-terminal refuses a request
// for parity that changes nothing else, and Wine would fail to configure the
// port a second time. It runs until it is killed.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kQuietMs = 20;

bool MakeRaw(int slave) {
    termios line{};
    if (tcgetattr(slave, &line) != 0) {
        return false;
    }
    cfmakeraw(&line);
    return tcsetattr(slave, TCSANOW, &line) == 0;
}

bool SendAll(int fd, const unsigned char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ptsname(master);
    // Holding the slave open keeps the master readable while the program
    // under test closes and reopens the port; and a cable has no echo.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    const int closes = inotify_init1(IN_NONBLOCK);
    if (slave < 0 || !MakeRaw(slave) || closes < 0 ||
        inotify_add_watch(closes, slavePath.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        std::perror(slavePath.c_str());
        return 1;
    }
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    std::vector<unsigned char> request;
    unsigned char chunk[4096];
    for (;;) {
        pollfd watch[2] = {{master, POLLIN, 0}, {closes, POLLIN, 0}};
        const int ready = poll(watch, 2, kQuietMs);
        if (ready > 0 && watch[1].revents != 0) {
            while (read(closes, chunk, sizeof chunk) > 0) {
            }
            MakeRaw(slave);
        }
        if (ready > 0 && watch[0].revents != 0) {
            const ssize_t n = read(master, chunk, sizeof chunk);
            if (n > 0) {
                request.insert(request.end(), chunk, chunk + n);
            }
        }
        if (ready != 0) {
            continue;
        }
        if (!request.empty()) {
            const std::size_t half = request.size() / 2;
            if (!SendAll(master, request.data(), half)) {
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(request.front()));
            if (!SendAll(master, request.data() + half, request.size() - half)) {
                return 1;
            }
            request.clear();
        }
    }
}
