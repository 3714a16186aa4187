// The settings window with the system's own port discovery on Linux, in real
// time: pseudo-terminals given as "Ports" overrides are listed with their
// device paths, one held in exclusive use by another program included, and a
// job on the port chosen reaches the emulator behind it.
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "app/resource_ids.h"
#include "app/settings_dlg.h"
#include "devsim/pty_server.h"
#include "gui_test_support.h"
#include "job/transfer_worker.h"
#include "link/port_discovery.h"
#include "link/serial_channel.h"

namespace bramis {
namespace {

using test::Child;

constexpr uid_t kNobody = 65534;

// A pseudo-terminal whose slave is kept open in exclusive use, as another
// serial program would: a further open fails with EBUSY (except for root).
struct HeldTerminal {
    HeldTerminal() {
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
        slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        held = slave >= 0 && ioctl(slave, TIOCEXCL) == 0;
    }
    ~HeldTerminal() {
        close(slave);
        close(master);
    }

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    int slave = -1;
    bool held = false;
    std::string path;
};

// Whether the probing rule lists `device` for an unprivileged user, whom
// another process's exclusive use keeps out (root is never kept out): 0
// listed, 1 absent, other values when that user is not kept out at all.
int ProbeAsNobody(const std::string& device) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 || errno != EBUSY) _exit(2);
        _exit(ProbeSerialDevice(device) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}

using SettingsPorts = test::MainWindowTest;

TEST_F(SettingsPorts, OverriddenAndHeldPortsAreListedAndAJobReachesTheDeviceOnThePortChosen) {
    devsim::DeviceConfig config;
    config.versionMajor = 4;
    config.versionMinor = 2;
    devsim::Device served(config);
    devsim::PtyServer server(served, false);
    std::string error;
    ASSERT_TRUE(server.Open(error)) << error;
    std::thread serving([&] { server.Run(); });
    const auto stop = qScopeGuard([&] {
        server.Stop();
        serving.join();
    });
    HeldTerminal held;
    ASSERT_TRUE(held.held) << held.path;

    store.WriteString(kSectionPorts, "COM200", server.SlavePath());
    store.WriteString(kSectionPorts, "COM201", held.path);
    store.WriteString(kSectionPorts, "COM202", folder.Path("no-such-tty").toStdString());
    // COM203 is bound to a USB socket, whose link leads to the served terminal for now.
    const std::filesystem::path socket = folder.Path("pci-0000:00:14.0-usb-0:3:1.0-port0").toStdString();
    std::filesystem::create_symlink(server.SlavePath(), socket);
    store.WriteString(kSectionPorts, "COM203", socket.string());
    Restart();
    window->Channel().SetPortOpener({});
    window->SetPortDiscovery({});

    // The system's discovery: the served and the held terminal are there,
    // each with its device; the missing one is not.
    ASSERT_TRUE(test::InModal([&] { window->OnCommand(ID_SERVICE_SETTINGS); }, [&](QDialog& dialog) {
        auto* list = Child<QComboBox>(dialog, "IDC_PORT_NUMBER");
        const int served200 = list->findText(QStringLiteral("COM200"));
        const int held201 = list->findText(QStringLiteral("COM201"));
        ASSERT_GE(served200, 0);
        ASSERT_GE(held201, 0);
        EXPECT_EQ(list->findText(QStringLiteral("COM202")), -1);
        EXPECT_EQ(list->itemData(served200, Qt::ToolTipRole).toString().toStdString(), server.SlavePath());
        EXPECT_EQ(list->itemData(held201, Qt::ToolTipRole).toString().toStdString(), held.path);
        // The adapter pulled out of the socket: its link goes, the number stays, not plugged in.
        list->setCurrentIndex(list->findText(QStringLiteral("COM203")));
        std::filesystem::remove(socket);
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(list->currentText(), QStringLiteral("COM203 (не подключён)"));
        list->setCurrentIndex(list->findText(QStringLiteral("COM200")));
        Child<QPushButton>(dialog, "IDOK")->click();
    }));
    ASSERT_EQ(window->PortNumber(), 200);

    // Root is never kept out, so the rule's "busy counts as present" shows
    // only for another user: one that may open the terminal but finds it held.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(held.path.c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(ProbeAsNobody(held.path), 0);
    }

    // A read on COM200 reaches the emulator; cancelled after its first block.
    QString version;
    QObject::connect(Child<QLineEdit>(window->ProgressWindow(), "IDC_STAGE_TEXT"), &QLineEdit::textChanged,
                     [&](const QString& stage) {
                         if (stage != Stage(TransferStage::Reading)) return;
                         version = Child<QLineEdit>(window->ProgressWindow(), "IDC_VERSION_TEXT")->text();
                         Child<QPushButton>(window->ProgressWindow(), "IDCANCEL")->click();
                     });
    window->OnCommand(IDC_READ);
    EXPECT_EQ(version, QStringLiteral("Версия загрузчика 04.02"));
    EXPECT_TRUE(recorder.messages.empty()) << recorder.Texts().join(' ').toStdString();
}

}  // namespace
}  // namespace bramis
