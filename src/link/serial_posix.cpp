// The serial port on POSIX systems: termios for the line, poll() and the
// monotonic clock for the read-return rule that termios VTIME cannot express.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "port_checks.h"
#include "serial_os.h"

namespace bramis {
namespace {

double MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1.0e6;
}

timespec ToTimespec(double ms) {
    const auto ns = static_cast<long long>(ms * 1.0e6);
    return timespec{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
}

PortOpenError SystemReason(const std::string& devicePath, int error) {
    OpenFailure failure = OpenFailure::Other;
    switch (error) {
        case ENOENT: failure = OpenFailure::NoSuchDevice; break;
        case EACCES:
        case EPERM: failure = OpenFailure::NoAccess; break;
        case EBUSY:
        case EWOULDBLOCK: failure = OpenFailure::Busy; break;
        case ENOTTY:
        case EINVAL:
        case EISDIR: failure = OpenFailure::NotASerialPort; break;
        case ENXIO:
        case ENODEV:
        case EIO: failure = OpenFailure::Gone; break;
        default: break;
    }
    return PortOpenError{failure, devicePath, error, std::strerror(error), {}};
}

// Errors after which the port is gone from the system: a USB adapter
// unplugged, or the far end of a pseudo-terminal closed.
bool MeansVanished(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

class PosixPort final : public PortBackend {
public:
    PosixPort(int fd, std::string device) : fd_(fd), device_(std::move(device)) {}
    PosixPort(const PosixPort&) = delete;
    PosixPort& operator=(const PosixPort&) = delete;
    ~PosixPort() override { close(fd_); }

    void WriteAll(const std::uint8_t* data, std::size_t length) override {
        std::size_t written = 0;
        while (written < length) {
            const ssize_t n = write(fd_, data + written, length - written);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EINTR) {
                NoteError(errno);
                return;  // the missing reply tells the caller
            }
        }
    }

    void PurgeInput() override {
        if (tcflush(fd_, TCIFLUSH) != 0) {
            NoteError(errno);
        }
    }

    void Drain() override {
        while (tcdrain(fd_) != 0) {
            if (errno != EINTR) {
                NoteError(errno);
                return;
            }
        }
    }

    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override {
        const double startMs = MonotonicMs();
        double lastByteMs = 0.0;
        std::size_t got = 0;
        while (got < want) {
            const double deadlineMs = ChunkDeadlineMs(startMs, lastByteMs, got);
            const double leftMs = deadlineMs - MonotonicMs();
            if (leftMs <= 0.0) {
                break;
            }
            pollfd watch{fd_, POLLIN, 0};
            const timespec timeout = ToTimespec(leftMs);
            const int ready = ppoll(&watch, 1, &timeout, nullptr);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            if (ready == 0) {
                continue;  // the deadline check above ends the call
            }
            if ((watch.revents & POLLIN) == 0) {
                // Hang-up, error or a closed descriptor without data: the port is gone.
                vanished_ = (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
                break;
            }
            const ssize_t n = read(fd_, buffer + got, want - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
                lastByteMs = MonotonicMs();
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                NoteError(n == 0 ? 0 : errno);
                break;  // hang-up or error: nothing more will come in this call
            }
        }
        return got;
    }

    bool Vanished() const override { return vanished_; }

    void SleepMs(std::uint32_t ms) override {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += static_cast<time_t>(ms / 1000U);
        until.tv_nsec += static_cast<long>(ms % 1000U) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }

    double NowMs() const override { return MonotonicMs(); }

    std::string Device() const override { return device_; }

private:
    void NoteError(int error) {
        if (MeansVanished(error)) {
            vanished_ = true;
        }
    }

    int fd_;
    std::string device_;
    bool vanished_ = false;
};

// Raw 8E1 at 9600 baud without flow control. Parity is generated on output;
// input parity checking stays off so that a byte with a parity error is
// delivered as received rather than replaced.
void SetLine(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | PARENB | CREAD | CLOCAL;
    // Reads never wait inside the driver; poll() times them.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
}

// Unix98 pseudo-terminal slaves have the majors 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

// Configures an open descriptor; returns 0 or the errno of the failed step.
int Configure(int fd) {
    if (ioctl(fd, TIOCEXCL) != 0) {
        return errno;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno;
    }
    // Non-blocking only kept open() from waiting for carrier; writes block from here on.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return errno;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return errno;
    }
    SetLine(tio);
    // A pseudo-terminal has no parity bit: it drops PARENB silently when other
    // settings change too, and refuses with EINVAL a call that would change
    // nothing else (a second open). It then gets the line without parity.
    // No read-back check of PARENB for the same reason.
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int error = errno;
        tio.c_cflag &= ~static_cast<tcflag_t>(PARENB);
        if (error != EINVAL || !IsPseudoTerminal(fd) || tcsetattr(fd, TCSANOW, &tio) != 0) {
            return error;
        }
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
        return errno;  // pseudo-terminals have no modem lines; real ports must take the change
    }
    return 0;
}

}  // namespace

std::string OsDeviceForPort(unsigned portNumber) {
    struct Range {
        unsigned first;
        const char* prefix;
    };
    // 32 numbers for each kind of device, so a stored number keeps meaning the same adapter.
    static constexpr Range kRanges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& range : kRanges) {
        if (portNumber >= range.first && portNumber < range.first + 32) {
            return range.prefix + std::to_string(portNumber - range.first);
        }
    }
    return {};
}

PortOpenResult OpenOsPort(const std::string& devicePath) {
    // A port another program has open stays untouched: opening it would change
    // its line settings and modem lines under that program. Where /proc cannot
    // be read, the lock below is all there is.
    if (const auto holders = PortHolders(devicePath, getpid()); holders && !holders->empty()) {
        return {nullptr, PortOpenError{OpenFailure::Busy, devicePath, 0, {}, {holders->front().pid, holders->front().name}}};
    }
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {nullptr, SystemReason(devicePath, errno)};
    }
    const int error = Configure(fd);
    if (error != 0) {
        close(fd);
        return {nullptr, SystemReason(devicePath, error)};
    }
    return {std::make_unique<PosixPort>(fd, devicePath), {}};
}

}  // namespace bramis
