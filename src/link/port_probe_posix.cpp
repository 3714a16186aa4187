// The probing rule on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "port_discovery.h"

namespace bramis {

bool ProbeSerialDevice(const std::string& device) {
    // Non-blocking, so that a port waiting for carrier does not hold the probe.
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    return errno == EBUSY || errno == EACCES;
}

}  // namespace bramis
