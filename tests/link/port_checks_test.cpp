// The port checks against a fake root: /dev, /sys, /proc, /etc and /run laid
// out as Linux lays them out for an FTDI adapter, with every trouble at once,
// then each put right, then a tree without /proc and /sys.
#include "link/port_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_tree.h"

namespace bramis {
namespace {

namespace fs = std::filesystem;
using test::Link;
using test::WriteFile;

// One line per finding.
std::vector<std::string> Lines(const PortCheckResult& result) {
    std::vector<std::string> lines;
    for (const PortFinding& finding : result.findings) {
        lines.push_back(std::visit(
            [](const auto& f) -> std::string {
                using F = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<F, NodeMissing>) return "missing";
                if constexpr (std::is_same_v<F, NodeNotPermitted>) return "not permitted, join '" + f.group + "'";
                if constexpr (std::is_same_v<F, HeldByProcess>) return "held by " + f.name + " " + std::to_string(f.pid);
                if constexpr (std::is_same_v<F, LatencyAboveDefault>)
                    return "latency " + std::to_string(f.latencyMs) + " " + f.attributePath;
                if constexpr (std::is_same_v<F, BrlttyClaims>) return "brltty " + f.rulesFile + (f.running ? " running" : "");
                if constexpr (std::is_same_v<F, ModemManagerProbes>) return "modem manager";
                if constexpr (std::is_same_v<F, CheckNotMade>)
                    return "not checked " + std::to_string(static_cast<int>(f.check)) + " " + f.path;
            },
            finding));
    }
    return lines;
}

TEST(PortChecks, FindEveryTroubleOfAnAdapterAndNothingOnceEachIsPutRight) {
    const fs::path root = fs::path(testing::TempDir()) / "bramis-port-checks";
    fs::remove_all(root);
    WriteFile(root / "dev/ttyUSB0", "");
    fs::permissions(root / "dev/ttyUSB0", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::group_write);
    // The node's group: ours, unless that is root's, which gets a rule of its own.
    gid_t gid = getegid();
    if (gid == 0) {
        gid = 20;
        ASSERT_EQ(chown((root / "dev/ttyUSB0").c_str(), static_cast<uid_t>(-1), gid), 0);
    }
    Link("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    Link("../../ttyUSB0", root / "dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
    Link("../../ttyUSB7", root / "dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    WriteFile(root / "etc/group", "root:x:0:\nlp:x:7:\ndialout:x:" + std::to_string(gid) + ":someone\n");
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-1";
    for (const auto& [name, value] : {std::pair{"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
                                      {"product", "FT232R USB UART"}, {"serial", "A50285BI"}}) {
        WriteFile(usb / name, std::string(value) + "\n");
    }
    WriteFile(usb / "1-1:1.0/ttyUSB0/latency_timer", "32\n");
    fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
    Link("../../../../../../bus/usb-serial/drivers/ftdi_sio", usb / "1-1:1.0/ttyUSB0/driver");
    Link("../../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0", root / "sys/class/tty/ttyUSB0/device");
    WriteFile(root / "sys/class/tty/ttyUSB0/dev", "188:0\n");
    // A terminal program holding the port without a lock, ModemManager, and ourselves.
    WriteFile(root / "proc/4242/comm", "picocom\n");
    Link("/dev/ttyUSB0", root / "proc/4242/fd/3");
    WriteFile(root / "proc/77/comm", "ModemManager\n");
    WriteFile(root / "proc/900/comm", "bramis-flash\n");
    Link("/dev/ttyUSB0", root / "proc/900/fd/5");
    WriteFile(root / "usr/lib/udev/rules.d/85-brltty.rules",
              "ENV{PRODUCT}==\"403/6001/*\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", GOTO=\"brltty_usb_run\"\n");

    PortUser user{static_cast<uid_t>(geteuid() + 1), {}, 900};
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    PortCheckResult result = CheckPort(byId, user, root);
    EXPECT_EQ(result.device, "/dev/ttyUSB0");
    EXPECT_EQ(Lines(result), (std::vector<std::string>{
                                 "not permitted, join 'dialout'", "held by picocom 4242",
                                 "latency 32 /sys/class/tty/ttyUSB0/device/latency_timer",
                                 "brltty /usr/lib/udev/rules.d/85-brltty.rules", "modem manager"}));
    EXPECT_EQ(std::tie(result.access.group, result.access.userInGroup, result.access.permitted),
              std::make_tuple("dialout", false, false));
    ASSERT_TRUE(result.usb);
    EXPECT_EQ(std::tie(result.usb->vendorId, result.usb->productId, result.usb->driver, result.usb->names.serial),
              std::make_tuple("0403", "6001", "ftdi_sio", "A50285BI"));
    EXPECT_EQ(result.usb->names.stablePath, byId);
    EXPECT_EQ(result.usb->socketPath, "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");

    // Each put right: in the group, the holder gone, the timer at its default,
    // ModemManager told to ignore the port, brltty removed.
    user.groups = {gid};
    fs::remove_all(root / "proc/4242");
    WriteFile(usb / "1-1:1.0/ttyUSB0/latency_timer", "16\n");
    WriteFile(root / "run/udev/data/c188:0", "E:ID_MM_DEVICE_IGNORE=1\nG:uaccess\n");
    fs::remove(root / "usr/lib/udev/rules.d/85-brltty.rules");
    result = CheckPort("/dev/ttyUSB0", user, root);
    EXPECT_EQ(Lines(result), std::vector<std::string>{});
    EXPECT_TRUE(result.access.permitted);

    // A socket's link to an adapter no longer there, as a missing node.
    EXPECT_EQ(Lines(CheckPort("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", user, root)),
              std::vector<std::string>{"missing"});
    // A member of the node's group that may not open it either is not told to join it.
    fs::permissions(root / "dev/ttyUSB0", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Lines(CheckPort("/dev/ttyUSB0", user, root)), std::vector<std::string>{"not permitted, join ''"});
    // Nor is anyone told to join root's group (a check only root may set up).
    if (geteuid() == 0) {
        fs::permissions(root / "dev/ttyUSB0", fs::perms::group_read | fs::perms::group_write, fs::perm_options::add);
        ASSERT_EQ(chown((root / "dev/ttyUSB0").c_str(), static_cast<uid_t>(-1), 0), 0);
        EXPECT_EQ(Lines(CheckPort("/dev/ttyUSB0", PortUser{1, {}, 900}, root)),
                  std::vector<std::string>{"not permitted, join ''"});
    }

    // A container without /proc and /sys: which checks could not be made.
    fs::remove_all(root / "proc");
    fs::remove_all(root / "sys");
    EXPECT_EQ(Lines(CheckPort("/dev/ttyUSB0", PortUser{0, {}, 1}, root)),
              (std::vector<std::string>{"not checked 0 /proc", "not checked 1 /sys", "not checked 2 /proc"}));
    fs::remove_all(root);
}

}  // namespace
}  // namespace bramis
