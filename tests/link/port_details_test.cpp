// The adapter details read from a fake sysfs tree laid out as the kernel lays
// out a usb-serial adapter, a cdc-acm one and a built-in port.
#include "link/port_details.h"

#include <gtest/gtest.h>

#include "fake_tree.h"

namespace bramis {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

// /sys/class/tty/NAME/device, a link into the device tree.
void AddTty(const fs::path& sys, const std::string& name, const fs::path& deviceFolder) {
    fs::create_directories(deviceFolder);
    fs::create_directories(sys / "class/tty" / name);
    fs::create_directory_symlink(deviceFolder, sys / "class/tty" / name / "device");
}

TEST(PortDetails, UsbAdaptersAreNamedFromTheirUsbDeviceByIdAndByPathLinksWhateverPathNamesThem) {
    const fs::path root = fs::path(testing::TempDir()) / "bramis-sysfs";
    fs::remove_all(root);
    const fs::path sys = root / "sys", dev = root / "dev";
    const fs::path byId = dev / "serial/by-id";
    // usb-serial: the tty's device lies below the interface, below the USB device.
    const fs::path ftdi = sys / "devices/pci0000:00/usb1/1-1";
    WriteFile(ftdi / "idVendor", "0403\n");
    WriteFile(ftdi / "manufacturer", "FTDI\n");
    WriteFile(ftdi / "product", "FT232R USB UART\n");
    WriteFile(ftdi / "serial", "A50285BI\n");
    AddTty(sys, "ttyUSB0", ftdi / "1-1:1.0/ttyUSB0");
    // cdc-acm: the tty's device is the interface; no product string, no serial.
    const fs::path acm = sys / "devices/pci0000:00/usb1/1-2";
    WriteFile(acm / "idVendor", "2341\n");
    WriteFile(acm / "manufacturer", "Arduino\n");
    AddTty(sys, "ttyACM0", acm / "1-2:1.0");
    AddTty(sys, "ttyS0", sys / "devices/platform/serial8250");
    for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0"}) WriteFile(dev / node, "");
    fs::create_directories(byId);
    fs::create_symlink(dev / "ttyUSB0", byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

    // The USB socket the adapter is in, named by both of udev's schemes.
    const fs::path byPath = dev / "serial/by-path", socket = byPath / "pci-0000:00:14.0-usbv2-0:1:1.0-port0";
    test::Link(dev / "ttyUSB0", byPath / "pci-0000:00:14.0-usb-0:1:1.0-port0");
    fs::create_symlink(dev / "ttyUSB0", socket);

    const auto details = [&](const fs::path& device) { return ReadSysfsPortDetails(device.string(), sys, byId, byPath); };
    const PortDetails usb = details(dev / "ttyUSB0");
    EXPECT_EQ(DescribeAdapter(usb), "FT232R USB UART (A50285BI)");
    EXPECT_EQ(usb.manufacturer, "FTDI");
    EXPECT_EQ(usb.stablePath, (byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string());
    EXPECT_EQ(fs::path(usb.socketPath).parent_path(), byPath);
    // An override naming the adapter by its stable link, or by either link of
    // its socket, finds the same details, and that very link.
    EXPECT_EQ(DescribeAdapter(details(usb.stablePath)), "FT232R USB UART (A50285BI)");
    EXPECT_EQ(details(socket).socketPath + " " + details(socket).stablePath, socket.string() + " " + usb.stablePath);
    // Another adapter in that socket: the socket's name follows it.
    fs::remove(socket);
    fs::create_symlink(dev / "ttyACM0", socket);
    EXPECT_EQ(DescribeAdapter(details(socket)) + " " + details(socket).socketPath, "Arduino " + socket.string());

    const PortDetails arduino = details(dev / "ttyACM0");
    EXPECT_EQ(DescribeAdapter(arduino), "Arduino");
    EXPECT_EQ(arduino.stablePath, "");
    // A built-in port and a missing device: nothing known, nothing made up.
    EXPECT_EQ(DescribeAdapter(details(dev / "ttyS0")), "");
    EXPECT_EQ(DescribeAdapter(details(dev / "ttyUSB7")), "");
    PortDetails serialOnly;
    serialOnly.serial = "123";
    EXPECT_EQ(DescribeAdapter(serialOnly), "123");
}

}  // namespace
}  // namespace bramis
