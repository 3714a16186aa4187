// The port checks on Linux. Every path is the system's name of a file, read
// under the root folder; nothing here writes or opens a port.
#include "port_checks.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace bramis {

namespace fs = std::filesystem;

namespace {

// Links followed before a device path is given up as a loop.
constexpr int kMaxLinks = 16;

struct Tree {
    fs::path root;
    fs::path In(const fs::path& systemPath) const { return root / systemPath.relative_path(); }
    std::string SystemName(const fs::path& inTree) const {
        return (fs::path("/") / inTree.lexically_relative(root)).lexically_normal().string();
    }
};

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `device` with its links followed inside the tree; nothing when a link loops.
std::optional<fs::path> Resolve(const Tree& tree, fs::path device) {
    device = device.lexically_normal();
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        std::error_code error;
        const fs::path target = fs::read_symlink(tree.In(device), error);
        if (error) {
            return device;
        }
        device = (target.is_absolute() ? target : device.parent_path() / target).lexically_normal();
    }
    return std::nullopt;
}

// Whether the access list of `file` grants `user` reading and writing (how
// udev's uaccess tag lets the logged-in user open a port).
bool AclGrants(const fs::path& file, const PortUser& user) {
    std::array<std::uint8_t, 1024> acl{};
    const ssize_t size = getxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size());
    constexpr std::uint16_t kUser = 0x02, kGroup = 0x08, kMask = 0x10, kReadWrite = 0x06;
    constexpr std::size_t kHeader = 4, kEntry = 8;
    if (size < static_cast<ssize_t>(kHeader)) {
        return false;
    }
    bool named = false;
    bool masked = true;
    for (std::size_t at = kHeader; at + kEntry <= static_cast<std::size_t>(size); at += kEntry) {
        const auto tag = static_cast<std::uint16_t>(acl[at] | acl[at + 1] << 8);
        const auto perm = static_cast<std::uint16_t>(acl[at + 2] | acl[at + 3] << 8);
        std::uint32_t id = 0;
        std::memcpy(&id, &acl[at + 4], sizeof id);  // little-endian, as the kernel stores it
        const bool rw = (perm & kReadWrite) == kReadWrite;
        if (tag == kMask) {
            masked = rw;
        } else if (rw && ((tag == kUser && id == user.uid) ||
                          (tag == kGroup && std::count(user.groups.begin(), user.groups.end(), id) > 0))) {
            named = true;
        }
    }
    return named && masked;
}

std::string GroupName(const Tree& tree, gid_t gid) {
    std::ifstream in(tree.In("/etc/group"));
    for (std::string line; std::getline(in, line);) {
        // name:password:gid:members
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + 1);
        const std::size_t third = line.find(':', second + 1);
        if (third != std::string::npos && line.substr(second + 1, third - second - 1) == std::to_string(gid)) {
            return line.substr(0, first);
        }
    }
    return std::to_string(gid);
}

NodeAccess ReadAccess(const Tree& tree, const fs::path& node, const struct stat& info, const PortUser& user) {
    NodeAccess access{GroupName(tree, info.st_gid), info.st_gid,
                      std::count(user.groups.begin(), user.groups.end(), info.st_gid) > 0, false};
    const auto permits = [&info](mode_t read, mode_t write) { return (info.st_mode & (read | write)) == (read | write); };
    access.permitted = user.uid == 0 || (info.st_uid == user.uid && permits(S_IRUSR, S_IWUSR)) ||
                       (access.userInGroup && permits(S_IRGRP, S_IWGRP)) || permits(S_IROTH, S_IWOTH) ||
                       AclGrants(tree.In(node), user);
    return access;
}

// Joining root's group is no advice to give; nor is a group that may not open it either.
NodeNotPermitted Denied(const NodeAccess& access, const struct stat& info) {
    const bool joinable = access.gid != 0 && !access.userInGroup && (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return NodeNotPermitted{joinable ? access.group : std::string(), access.gid};
}

struct Process {
    pid_t pid;
    std::string name;
};

// The number N of a pseudo-terminal's slave /dev/pts/N; "" for other nodes.
std::string PtyNumber(const fs::path& node) {
    const std::string name = node.filename().string();
    const bool digits = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    return node.parent_path() == "/dev/pts" && digits ? name : std::string();
}

// Whether the descriptor `fd` of a process, a link to `target`, is the master
// side of pseudo-terminal `ptyNumber`: the kernel names the slave in the
// descriptor's fdinfo ("tty-index:").
bool IsMasterOf(const fs::path& fd, const fs::path& target, const std::string& ptyNumber) {
    if (ptyNumber.empty() || (target != "/dev/ptmx" && target != "/dev/pts/ptmx")) {
        return false;
    }
    std::ifstream info(fd.parent_path().parent_path() / "fdinfo" / fd.filename());
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("tty-index:", 0) == 0) {
            std::istringstream value(line.substr(10));
            std::string index;
            value >> index;
            return index == ptyNumber;
        }
    }
    return false;
}

// Every process but the asking one (unless `all` is null), and those of them
// holding `node` open. Processes whose descriptors may not be read (another
// user's) are not seen as holders; one that ends meanwhile is simply gone. A
// process that holds the master side of a pseudo-terminal is the other end
// of that line (the emulator, which keeps the slave open too), not a holder.
bool ScanProcesses(const Tree& tree, const fs::path& node, pid_t self, std::vector<Process>* all,
                   std::vector<Process>& holders) {
    const std::string ptyNumber = PtyNumber(node);
    std::error_code error;
    fs::directory_iterator entry(tree.In("/proc"), error);
    if (error) {
        return false;
    }
    // Stepped with error codes: a folder that vanishes while it is read ends its loop, no more.
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.empty() || name.size() > 9 ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const auto pid = static_cast<pid_t>(std::stol(name));
        if (pid == self) {
            continue;
        }
        if (all != nullptr) {
            all->push_back({pid, FirstLine(entry->path() / "comm")});
        }
        bool holds = false;
        bool otherEnd = false;
        std::error_code fdError;
        for (fs::directory_iterator fd(entry->path() / "fd", fdError); !fdError && fd != end; fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            holds = holds || (!linkError && target == node);
            otherEnd = otherEnd || (!linkError && IsMasterOf(fd->path(), target, ptyNumber));
        }
        if (holds && !otherEnd) {
            holders.push_back({pid, FirstLine(entry->path() / "comm")});
        }
    }
    return true;
}

bool Running(const std::vector<Process>& processes, std::string_view name) {
    return std::any_of(processes.begin(), processes.end(), [name](const Process& p) { return p.name == name; });
}

// The by-id and by-path names, the ids and the driver of a USB adapter.
std::optional<UsbAdapter> ReadAdapter(const Tree& tree, const fs::path& node) {
    UsbAdapter adapter;
    adapter.names = ReadSysfsPortDetails(tree.In(node).string(), tree.In("/sys"), tree.In("/dev/serial/by-id"),
                                         tree.In("/dev/serial/by-path"));
    if (adapter.names.vendorId.empty()) {
        return std::nullopt;
    }
    adapter.vendorId = adapter.names.vendorId;
    adapter.productId = adapter.names.productId;
    if (!adapter.names.stablePath.empty()) {
        adapter.names.stablePath = tree.SystemName(adapter.names.stablePath);
    }
    if (!adapter.names.socketPath.empty()) {
        adapter.names.socketPath = tree.SystemName(adapter.names.socketPath);
    }
    adapter.socketPath = adapter.names.socketPath;
    const fs::path device = tree.In("/sys/class/tty") / node.filename() / "device";
    std::error_code error;
    adapter.driver = fs::read_symlink(device / "driver", error).filename().string();
    const std::string latency = FirstLine(device / "latency_timer");
    if (!latency.empty() && std::all_of(latency.begin(), latency.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        adapter.latencyTimerMs = std::stoi(latency);
    }
    return adapter;
}

// brltty's udev rule file that claims the adapter by its ids, or "".
std::string BrlttyRuleFor(const Tree& tree, const UsbAdapter& adapter) {
    const std::string vendor = "ATTRS{idVendor}==\"" + adapter.vendorId + "\"";
    const std::string product = "ATTRS{idProduct}==\"" + adapter.productId + "\"";
    for (const char* folder : {"/usr/lib/udev/rules.d", "/lib/udev/rules.d", "/etc/udev/rules.d"}) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(tree.In(folder), error)) {
            if (entry.path().filename().string().find("brltty") == std::string::npos) {
                continue;
            }
            std::istringstream rules(Contents(entry.path()));
            for (std::string line; std::getline(rules, line);) {
                if (line.find(vendor) != std::string::npos && line.find(product) != std::string::npos) {
                    return tree.SystemName(entry.path());
                }
            }
        }
    }
    return {};
}

// Whether udev's record of the port tells ModemManager to leave it alone.
bool ModemManagerIgnores(const Tree& tree, const fs::path& node) {
    const std::string number = FirstLine(tree.In("/sys/class/tty") / node.filename() / "dev");
    const std::string record = Contents(tree.In("/run/udev/data/c" + number));
    return !number.empty() && record.find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos;
}

}  // namespace

PortUser CurrentPortUser() {
    PortUser user{getuid(), {getgid()}, getpid()};
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (getgroups(count, groups.data()) == count) {
            user.groups.insert(user.groups.end(), groups.begin(), groups.end());
        }
    }
    return user;
}

std::optional<std::vector<HeldByProcess>> PortHolders(const std::string& device, pid_t self, const fs::path& root) {
    const Tree tree{root};
    const std::optional<fs::path> node = Resolve(tree, device);
    std::vector<Process> holders;
    if (!node || !ScanProcesses(tree, *node, self, nullptr, holders)) {
        return std::nullopt;
    }
    std::vector<HeldByProcess> held;
    for (const Process& holder : holders) {
        held.push_back(HeldByProcess{holder.pid, holder.name});
    }
    return held;
}

PortCheckResult CheckPort(const std::string& device, const PortUser& user, const fs::path& root) {
    const Tree tree{root};
    PortCheckResult result;
    const std::optional<fs::path> node = Resolve(tree, device);
    struct stat info {};
    if (!node || stat(tree.In(*node).c_str(), &info) != 0) {
        result.device = node ? node->string() : device;
        result.findings.push_back(NodeMissing{});
        return result;
    }
    result.device = node->string();
    result.access = ReadAccess(tree, *node, info, user);
    if (!result.access.permitted) {
        result.findings.push_back(Denied(result.access, info));
    }

    std::vector<Process> processes;
    std::vector<Process> holders;
    const bool procRead = ScanProcesses(tree, *node, user.pid, &processes, holders);
    if (!procRead) {
        result.findings.push_back(CheckNotMade{PortCheck::Holders, "/proc"});
    }
    for (const Process& holder : holders) {
        result.findings.push_back(HeldByProcess{holder.pid, holder.name});
    }

    std::error_code error;
    if (!fs::is_directory(tree.In("/sys/class/tty"), error)) {
        result.findings.push_back(CheckNotMade{PortCheck::Adapter, "/sys"});
    } else if ((result.usb = ReadAdapter(tree, *node))) {
        if (result.usb->latencyTimerMs && *result.usb->latencyTimerMs > kDefaultLatencyTimerMs) {
            result.findings.push_back(LatencyAboveDefault{
                *result.usb->latencyTimerMs, "/sys/class/tty/" + node->filename().string() + "/device/latency_timer"});
        }
        if (const std::string rule = BrlttyRuleFor(tree, *result.usb); !rule.empty()) {
            result.findings.push_back(BrlttyClaims{rule, Running(processes, "brltty")});
        }
    }

    if (!procRead) {
        result.findings.push_back(CheckNotMade{PortCheck::ModemManager, "/proc"});
    } else if (Running(processes, "ModemManager") && !ModemManagerIgnores(tree, *node)) {
        result.findings.push_back(ModemManagerProbes{});
    }
    return result;
}

}  // namespace bramis
