// Inhibitor locks over D-Bus with sd-bus: logind keeps the system awake while
// the lock's file descriptor is open; the screensaver interface, while the
// connection that asked lives or until UnInhibit.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>

#include "sleep_blocker.h"

namespace bramis {
namespace {

// Never hold up a job for long on a bus that does not answer.
constexpr std::uint64_t kCallTimeoutUs = 1'000'000;

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;

class LogindLock : public SleepBlocker {
public:
    explicit LogindLock(int fd) : fd_(fd) {}
    ~LogindLock() override { close(fd_); }

private:
    int fd_;
};

class ScreensaverInhibit : public SleepBlocker {
public:
    ScreensaverInhibit(Bus bus, std::uint32_t cookie) : bus_(std::move(bus)), cookie_(cookie) {}
    ~ScreensaverInhibit() override {
        sd_bus_call_method(bus_.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                           "org.freedesktop.ScreenSaver", "UnInhibit", nullptr, nullptr, "u", cookie_);
    }

private:
    Bus bus_;
    std::uint32_t cookie_;
};

class NoBlock : public SleepBlocker {};

Bus Open(int (*open)(sd_bus**)) {
    sd_bus* bus = nullptr;
    if (open(&bus) < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    return Bus(bus);
}

std::unique_ptr<SleepBlocker> FromLogind(const std::string& who, const std::string& why) {
    const Bus bus = Open(sd_bus_open_system);
    sd_bus_message* reply = nullptr;
    if (!bus || sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", "Inhibit", nullptr, &reply, "ssss",
                                   "sleep:idle", who.c_str(), why.c_str(), "block") < 0) {
        return nullptr;
    }
    int fd = -1;
    // The descriptor belongs to the reply: keep a copy of our own.
    const int read = sd_bus_message_read(reply, "h", &fd);
    const int kept = read >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1;
    sd_bus_message_unref(reply);
    return kept >= 0 ? std::make_unique<LogindLock>(kept) : nullptr;
}

std::unique_ptr<SleepBlocker> FromScreensaver(const std::string& who, const std::string& why) {
    Bus bus = Open(sd_bus_open_user);
    sd_bus_message* reply = nullptr;
    if (!bus || sd_bus_call_method(bus.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                   "org.freedesktop.ScreenSaver", "Inhibit", nullptr, &reply, "ss", who.c_str(),
                                   why.c_str()) < 0) {
        return nullptr;
    }
    std::uint32_t cookie = 0;
    const int read = sd_bus_message_read(reply, "u", &cookie);
    sd_bus_message_unref(reply);
    return read >= 0 ? std::make_unique<ScreensaverInhibit>(std::move(bus), cookie) : nullptr;
}

}  // namespace

std::unique_ptr<SleepBlocker> BlockSystemSleep(const std::string& who, const std::string& why) {
    if (auto lock = FromLogind(who, why)) return lock;
    if (auto inhibit = FromScreensaver(who, why)) return inhibit;
    return std::make_unique<NoBlock>();
}

}  // namespace bramis
