// Pictures of the real windows for the documentation. Skipped unless
// BRAMIS_SCREENSHOT_DIR names the folder to put them in; run on a display
// with a window manager (scripts/screenshots.sh does that under Xvfb).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <QTimer>

#include "app/about_dlg.h"
#include "app/main_dlg.h"
#include "app/resource_ids.h"
#include "controls/labeled_progress_ctrl.h"
#include "devsim/device.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis {
namespace {

QString ScreenshotFolder() { return qEnvironmentVariable("BRAMIS_SCREENSHOT_DIR"); }

// Saves what the screen shows of `window`, frame and title bar included.
void Shoot(QWidget& window, const QString& name) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(400);  // the window manager's frame comes a moment later
    const QRect frame = window.frameGeometry();
    const QPixmap picture = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    ASSERT_TRUE(picture.save(QDir(ScreenshotFolder()).filePath(name)));
}

TEST(Screenshots, MainWindowAndAboutBox) {
    if (ScreenshotFolder().isEmpty()) GTEST_SKIP() << "BRAMIS_SCREENSHOT_DIR is not set";
    test::Watchdog watchdog;
    MemoryProfileStore store;
    CMainDlg window(store, {}, [] { return std::string(); });
    window.findChild<QComboBox*>("IDC_FILE_NAME")->setEditText(QStringLiteral("/home/user/Прошивки/bramis-1.3.dat"));
    window.move(40, 40);
    window.show();
    Shoot(window, QStringLiteral("main-window.png"));

    CAboutDlg about(&window);
    about.show();
    Shoot(about, QStringLiteral("about-box.png"));
    about.close();

    // The progress window in the middle of a write: the device holds the
    // worker at block 150 until the picture is taken.
    devsim::DeviceConfig config;
    config.versionMajor = 1;
    config.versionMinor = 3;
    devsim::Device device(config);
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    device.SetEventHandler([&](const devsim::RequestEvent& event) {
        if (event.command != CMD_WRITE_BLOCK || event.block != 150) return;
        holding = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    VirtualPort cable(device);
    SetPortOpener(cable.Opener());
    test::ImageFolder folder;
    window.LoadImageFile(folder.Write(QStringLiteral("bramis-1.3.dat"), kImageSize), false);
    CProgressDlg& progress = window.ProgressWindow();
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!holding || release) return;
        Shoot(progress, QStringLiteral("progress-window.png"));
        release = true;
    });
    poll.start();
    test::MessageRecorder recorder;
    window.OnCommand(IDC_WRITE);
    SetPortOpener({});
    EXPECT_TRUE(release);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа успешно записана")});
}

TEST(Screenshots, SettingsWindow) {
    if (ScreenshotFolder().isEmpty()) GTEST_SKIP() << "BRAMIS_SCREENSHOT_DIR is not set";
    test::Watchdog watchdog;
    MemoryProfileStore store;
    store.WriteInt(kSectionSettings, kValuePortNumber, 33);
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 1);
    CMainDlg window(store, {}, [] { return std::string(); });
    window.SetPortDiscovery([] {
        return std::vector<FoundPort>{{1, "/dev/ttyS0"}, {2, "/dev/ttyS1"}, {33, "/dev/ttyUSB0"}, {65, "/dev/ttyACM0"}};
    });
    window.move(40, 40);
    window.show();
    bool shot = false;
    test::WhenIdle([&] {
        QWidget* settings = QApplication::activeModalWidget();
        if (settings == nullptr) return;
        settings->move(80, 120);
        Shoot(*settings, QStringLiteral("settings-window.png"));
        shot = true;
        settings->close();
    });
    window.OnCommand(ID_SERVICE_SETTINGS);
    EXPECT_TRUE(shot);
}

}  // namespace
}  // namespace bramis
