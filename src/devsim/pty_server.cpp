#include "pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <ctime>
#include <vector>

#include "link/virtual_line.h"

namespace bramis::devsim {
namespace {

double MonotonicMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Raw bytes both ways, as on a cable.
bool MakeRaw(int slave) {
    termios tio{};
    if (tcgetattr(slave, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(slave, TCSANOW, &tio) == 0;
}

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyServer::PtyServer(LinePeer& device, bool wireSpeed) : device_(device), wireSpeed_(wireSpeed) {}

PtyServer::~PtyServer() {
    for (const int fd : {master_, slave_, watch_, stopRead_, stopWrite_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool PtyServer::Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = Failure("cannot create a pseudo-terminal");
        return false;
    }
    std::array<char, 128> name{};
    if (ptsname_r(master_, name.data(), name.size()) != 0) {
        error = Failure("cannot name the pseudo-terminal");
        return false;
    }
    slavePath_ = name.data();
    // Replies to a client that has stopped reading are dropped, as a UART
    // would overrun, rather than blocking the server.
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Failure("cannot set up the pseudo-terminal");
        return false;
    }
    // While the server holds the slave open, a client closing it does not
    // hang up the master.
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || !MakeRaw(slave_)) {
        error = Failure(slavePath_.c_str());
        return false;
    }
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || inotify_add_watch(watch_, slavePath_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = Failure("cannot watch the pseudo-terminal");
        return false;
    }
    std::array<int, 2> stop{};
    if (pipe2(stop.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
        error = Failure("cannot make a pipe");
        return false;
    }
    stopRead_ = stop[0];
    stopWrite_ = stop[1];
    startMs_ = MonotonicMs();
    return true;
}

void PtyServer::Run() {
    while (true) {
        std::array<pollfd, 3> fds{{{master_, POLLIN, 0}, {watch_, POLLIN, 0}, {stopRead_, POLLIN, 0}}};
        timespec wait{};
        timespec* timeout = nullptr;
        if (!outgoing_.empty()) {
            const double leftMs = std::max(0.0, outgoing_.front().atMs - NowMs());
            const auto ns = static_cast<long long>(leftMs * 1.0e6);
            wait = timespec{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
            timeout = &wait;
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0 && errno != EINTR) {
            return;
        }
        if (fds[2].revents != 0) {
            return;
        }
        if (fds[1].revents != 0) {
            ClientClosed();
        }
        if ((fds[0].revents & POLLIN) != 0) {
            Receive();
        }
        if (device_.Unplugged()) {
            return;  // the line hangs up when the server closes the terminal
        }
        SendDue();
    }
}

void PtyServer::Stop() {
    const char wake = 1;
    [[maybe_unused]] const ssize_t ignored = write(stopWrite_, &wake, 1);
}

double PtyServer::NowMs() const {
    return MonotonicMs() - startMs_;
}

void PtyServer::Receive() {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t count = read(master_, buffer.data(), buffer.size());
    for (ssize_t i = 0; i < count; ++i) {
        const double nowMs = NowMs();
        // At wire speed a byte is complete one byte time after the line is free.
        receivedUntilMs_ = wireSpeed_ ? std::max(nowMs, receivedUntilMs_) + kByteWireMs : nowMs;
        for (const TimedByte& reply : device_.OnByte(buffer[static_cast<std::size_t>(i)], receivedUntilMs_)) {
            outgoing_.push_back(reply);
        }
    }
}

void PtyServer::SendDue() {
    const double nowMs = NowMs();
    std::vector<std::uint8_t> due;
    while (!outgoing_.empty() && outgoing_.front().atMs <= nowMs) {
        due.push_back(outgoing_.front().value);
        outgoing_.pop_front();
    }
    std::size_t sent = 0;
    while (sent < due.size()) {
        const ssize_t n = write(master_, due.data() + sent, due.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            return;  // full: nobody reads the slave
        }
    }
}

void PtyServer::ClientClosed() {
    alignas(inotify_event) std::array<char, 4096> events{};
    while (read(watch_, events.data(), events.size()) > 0) {
    }
    // A client's exclusive-use flag outlives it while the server holds the
    // slave; cleared, the next client (not root) may open the port again.
    // Another opener closing (a port probe) clears it under a connected
    // client too; that client's flock still keeps programmers out.
    ioctl(slave_, TIOCNXCL);
    // The next client finds a fresh line, not the last one's settings: a
    // pseudo-terminal refuses a parity request that changes nothing else, so
    // Wine could not configure the port a second time.
    MakeRaw(slave_);
}

}  // namespace bramis::devsim
