// Linux: what around a serial port may stand between the programmer and the
// device: who may open the node, other programs holding it, an FTDI chip's
// latency timer, brltty and ModemManager; with the adapter's USB identity and
// stable names. Read from /proc, /sys, /dev, /etc and /run under a root
// folder, so that tests may point it at a fake tree. Opens no port. The
// findings are kinds and values; each front end words them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

#include "port_details.h"

namespace bramis {

// Who asks: the user the programmer runs as.
struct PortUser {
    uid_t uid = 0;
    std::vector<gid_t> groups;  // primary and supplementary
    pid_t pid = 0;              // the asking process, never reported as a holder
};

// The user the calling process runs as. Any thread.
PortUser CurrentPortUser();

// The adapter behind the port, when it is a USB one.
struct UsbAdapter {
    PortDetails names;        // maker, product, serial; stablePath: the by-id link
    std::string vendorId;     // "0403"
    std::string productId;    // "6001"
    std::string driver;       // "ftdi_sio", "ch341", "cp210x", "pl2303", "cdc_acm"
    std::string socketPath;   // the /dev/serial/by-path link naming the USB socket
    std::optional<int> latencyTimerMs;  // FTDI chips only
};

// The findings. Each names what stands in the way, with the values a message needs.
struct NodeMissing {};  // no such device node
struct NodeNotPermitted {
    std::string group;      // the node's group, "" where joining it is no answer (root's group)
    gid_t gid = 0;
};
struct HeldByProcess {
    pid_t pid = 0;
    std::string name;  // its command name
};
struct LatencyAboveDefault {
    int latencyMs = 0;
    std::string attributePath;  // the sysfs file that sets it, as the system names it
};
struct BrlttyClaims {
    std::string rulesFile;  // brltty's udev rule that names this adapter
    bool running = false;
};
struct ModemManagerProbes {};  // running, and the port not marked to be ignored
enum class PortCheck { Holders, Adapter, ModemManager };
struct CheckNotMade {
    PortCheck check;
    std::string path;  // what could not be read, as the system names it
};
using PortFinding = std::variant<NodeMissing, NodeNotPermitted, HeldByProcess, LatencyAboveDefault, BrlttyClaims,
                                 ModemManagerProbes, CheckNotMade>;

// Above this an FTDI chip's latency timer holds replies longer than its default.
inline constexpr int kDefaultLatencyTimerMs = 16;

// Who may open the node.
struct NodeAccess {
    std::string group;  // the node's group by name (its number where /etc/group has none)
    gid_t gid = 0;
    bool userInGroup = false;
    bool permitted = false;  // the user may read and write it (by owner, group, others or access list)
};

struct PortCheckResult {
    std::string device;              // the node, links followed, as the system names it
    NodeAccess access;
    std::optional<UsbAdapter> usb;
    std::vector<PortFinding> findings;  // empty: nothing stands in the way
};

// The processes but `self` that hold `device` (as CheckPort takes it) open,
// as CheckPort finds them; nothing when /proc under `root` cannot be read or
// the device's links loop. Any thread.
std::optional<std::vector<HeldByProcess>> PortHolders(const std::string& device, pid_t self,
                                                      const std::filesystem::path& root = "/");

// Checks `device` (a node or a link to one, as the system names it, e.g.
// "/dev/ttyUSB0") for `user` in the tree under `root` ("/" on the machine
// itself). A process that ends while it looks is no error. Any thread.
PortCheckResult CheckPort(const std::string& device, const PortUser& user, const std::filesystem::path& root = "/");

}  // namespace bramis
