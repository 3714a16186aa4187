// The port doctor's reading of a Windows port's device node, through the
// node as ReadComPortNode hands it up: its problem code, name and place.
#include <gtest/gtest.h>

#include "report/port_doctor.h"

namespace bramis {
namespace {

TEST(PortDoctor, AWindowsDeviceWithAProblemCodeIsAProblemNamedByTheCode) {
    // The system lists no device (Wine may list none at all): a note, no problem.
    const std::vector<DoctorEntry> unlisted = ComPortNodeEntries({});
    ASSERT_EQ(unlisted.size(), 1u);
    EXPECT_FALSE(unlisted[0].problem);

    ComPortNode node{true, "USB Serial Port (COM5)", "Port_#0002.Hub_#0001", {"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)"}, {}};
    std::vector<DoctorEntry> entries = ComPortNodeEntries(node);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(ProblemCount(entries), 0);
    EXPECT_EQ(entries[0].found, "устройство: USB Serial Port (COM5)");
    EXPECT_EQ(entries[1].found, "подключено: гнездо 2, концентратор 1; PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)");
    node.location = "Port_#0002.Hub_#0001x";  // not the USB form: as the system names it
    EXPECT_EQ(ComPortNodeEntries(node)[1].found, "подключено: Port_#0002.Hub_#0001x; PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)");

    for (const unsigned code : {1u, 3u, 10u, 12u, 14u, 18u, 19u, 21u, 22u, 24u, 28u, 29u, 31u, 32u, 37u, 39u, 43u,
                                45u, 47u, 48u, 52u, 99u}) {
        node.problemCode = code;
        entries = ComPortNodeEntries(node);
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(ProblemCount(entries), 1);
        const DoctorEntry& problem = entries.back();
        EXPECT_TRUE(problem.found.ends_with(" (код " + std::to_string(code) + ")")) << problem.found;
        // Each common code has its own meaning; only an unknown one is left at "not working".
        EXPECT_EQ(problem.found.starts_with("устройство не работает: "), code != 99) << problem.found;
        EXPECT_FALSE(problem.remedy.empty()) << code;
    }
    node.problemCode = 28;
    EXPECT_EQ(ComPortNodeEntries(node).back().found, "устройство не работает: драйвер не установлен (код 28)");
    node.problemCode = 52;
    EXPECT_EQ(ComPortNodeEntries(node).back().found, "устройство не работает: подпись драйвера не проверена (код 52)");
}

}  // namespace
}  // namespace bramis
