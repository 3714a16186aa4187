// The settings window with the system's own port discovery on Linux, in real
// time: pseudo-terminals given as "Ports" overrides are listed with their
// device paths, one held in exclusive use by another process included, and a
// job on the port chosen reaches the emulator behind it.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <cerrno>
#include <mutex>
#include <thread>

#include "app/main_dlg.h"
#include "app/resource_ids.h"
#include "app/settings_dlg.h"
#include "devsim/device.h"
#include "devsim/pty_server.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "link/port_discovery.h"
#include "link/serial_channel.h"

namespace bramis {
namespace {

constexpr uid_t kNobody = 65534;

// A pseudo-terminal whose slave a child process keeps open in exclusive use,
// as another serial program would.
class HeldTerminal {
public:
    HeldTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        path_ = ptsname(master_);
        int ready[2];
        if (pipe(ready) != 0) return;
        holder_ = fork();
        if (holder_ == 0) {
            // Only async-signal-safe calls in the child of a threaded process.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY);
            const char held = fd >= 0 && ioctl(fd, TIOCEXCL) == 0 ? 'y' : 'n';
            [[maybe_unused]] const ssize_t ignored = write(ready[1], &held, 1);
            for (;;) pause();
        }
        close(ready[1]);
        char held = 'n';
        if (holder_ > 0 && read(ready[0], &held, 1) == 1) held_ = held == 'y';
        close(ready[0]);
    }
    ~HeldTerminal() {
        if (holder_ > 0) {
            kill(holder_, SIGKILL);
            waitpid(holder_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    HeldTerminal(const HeldTerminal&) = delete;
    HeldTerminal& operator=(const HeldTerminal&) = delete;

    bool Held() const { return held_; }
    const std::string& Path() const { return path_; }

private:
    int master_ = -1;
    pid_t holder_ = -1;
    bool held_ = false;
    std::string path_;
};

// How the probing rule judges `device` for an unprivileged user, whom another
// process's exclusive use keeps out (root is never kept out).
enum class UnprivilegedProbe { Listed, Absent, NotKeptOut };

UnprivilegedProbe ProbeAsNobody(const std::string& device) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0 || errno != EBUSY) _exit(2);
        _exit(ProbeSerialDevice(device) ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 4;
    return code == 0 ? UnprivilegedProbe::Listed : code == 1 ? UnprivilegedProbe::Absent : UnprivilegedProbe::NotKeptOut;
}

// The emulated device served on a pseudo-terminal by a thread of its own,
// noting the commands it receives.
class ServedDevice {
public:
    ServedDevice() : device_(Config()), server_(device_, false) {
        device_.SetEventHandler([this](const devsim::RequestEvent& event) {
            const std::lock_guard lock(mutex_);
            commands_.push_back(event.command);
        });
        std::string error;
        if (server_.Open(error)) thread_ = std::thread([this] { server_.Run(); });
    }
    ~ServedDevice() {
        if (thread_.joinable()) {
            server_.Stop();
            thread_.join();
        }
    }
    ServedDevice(const ServedDevice&) = delete;
    ServedDevice& operator=(const ServedDevice&) = delete;

    bool Serving() const { return thread_.joinable(); }
    const std::string& Path() const { return server_.SlavePath(); }
    std::vector<std::uint8_t> Commands() {
        const std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    static devsim::DeviceConfig Config() {
        devsim::DeviceConfig config;
        config.versionMajor = 4;
        config.versionMinor = 2;
        return config;
    }

    devsim::Device device_;
    devsim::PtyServer server_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::uint8_t> commands_;
};

TEST(SettingsPorts, OverriddenAndHeldPortsAreListedAndAJobReachesTheDeviceOnThePortChosen) {
    test::Watchdog watchdog;
    test::MessageRecorder recorder;
    ServedDevice served;
    ASSERT_TRUE(served.Serving());
    HeldTerminal held;
    ASSERT_TRUE(held.Held()) << held.Path();
    test::ImageFolder folder;

    MemoryProfileStore store;
    store.WriteString(kSectionPorts, "COM200", served.Path());
    store.WriteString(kSectionPorts, "COM201", held.Path());
    store.WriteString(kSectionPorts, "COM202", folder.Path("no-such-tty").toStdString());
    SetPortOpener({});
    CMainDlg window(store, FileChoosers{}, [] { return std::string(); });

    // The system's discovery: the served and the held terminal are there,
    // each with its device; the missing one is not.
    QStringList listed;
    test::WhenIdle([&] {
        auto* dialog = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        QComboBox* list = dialog->findChild<QComboBox*>("IDC_PORT_NUMBER");
        for (int i = 0; i < list->count(); ++i) listed << list->itemText(i);
        const int served200 = list->findText(QStringLiteral("COM200"));
        const int held201 = list->findText(QStringLiteral("COM201"));
        EXPECT_GE(served200, 0);
        EXPECT_GE(held201, 0);
        if (served200 >= 0 && held201 >= 0) {
            EXPECT_EQ(list->itemData(served200, Qt::ToolTipRole).toString().toStdString(), served.Path());
            EXPECT_EQ(list->itemData(held201, Qt::ToolTipRole).toString().toStdString(), held.Path());
            list->setCurrentIndex(served200);
        }
        dialog->findChild<QPushButton*>("IDOK")->click();
    });
    window.OnCommand(ID_SERVICE_SETTINGS);
    EXPECT_FALSE(listed.contains(QStringLiteral("COM202"))) << listed.join(' ').toStdString();
    ASSERT_EQ(window.PortNumber(), 200);

    // Root is never kept out, so the rule's "busy counts as present" shows
    // only for another user: one that may open the terminal but finds it held.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(held.Path().c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(ProbeAsNobody(held.Path()), UnprivilegedProbe::Listed);
    }

    // A read on COM200 reaches the emulator; cancelled after its first block.
    QString version;
    QObject::connect(window.ProgressWindow().findChild<QLineEdit*>("IDC_STAGE_TEXT"), &QLineEdit::textChanged,
                     [&](const QString& stage) {
                         if (stage != QString::fromUtf8(kStageReading)) return;
                         version = window.ProgressWindow().findChild<QLineEdit*>("IDC_VERSION_TEXT")->text();
                         window.ProgressWindow().findChild<QPushButton*>("IDCANCEL")->click();
                     });
    window.OnCommand(IDC_READ);
    EXPECT_EQ(version, QStringLiteral("Версия загрузчика 04.02"));
    EXPECT_EQ(served.Commands(), (std::vector<std::uint8_t>{CMD_ENTER_PROG, CMD_GET_VERSION, CMD_READ_BLOCK,
                                                            CMD_RUN_PROGRAM}));
    EXPECT_TRUE(recorder.messages.empty()) << recorder.Texts().join(' ').toStdString();
}

}  // namespace
}  // namespace bramis
