// Pictures of the real windows for the documentation. Skipped unless
// BRAMIS_SCREENSHOT_DIR names the folder to put them in; run on a display
// with a window manager (scripts/screenshots.sh does that under Xvfb).
#include <gtest/gtest.h>

#include <QDir>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/about_dlg.h"
#include "app/qt_translations.h"
#include "app/resource_ids.h"
#include "gui_test_support.h"
#include "link/bootloader.h"

namespace bramis {
namespace {

// Saves what the screen shows of `window`, frame and title bar included.
void Shoot(QWidget& window, const QString& name) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(400);  // the window manager's frame comes a moment later
    const QRect frame = window.frameGeometry();
    const QPixmap picture = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    ASSERT_TRUE(picture.save(QDir(qEnvironmentVariable("BRAMIS_SCREENSHOT_DIR")).filePath(name)));
}

class Screenshots : public test::MainWindowTest {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("BRAMIS_SCREENSHOT_DIR")) GTEST_SKIP() << "BRAMIS_SCREENSHOT_DIR is not set";
        // Qt's own buttons in Russian, as the program has them.
        static const bool translated = LoadQtTranslations(*QCoreApplication::instance());
        ASSERT_TRUE(translated);
    }
};

TEST_F(Screenshots, MainWindowAboutBoxProgressAndJournalWindows) {
    Box()->setEditText(QStringLiteral("/home/user/Прошивки/bramis-1.3.dat"));
    window->move(40, 40);
    window->show();
    Shoot(*window, QStringLiteral("main-window.png"));
    CAboutDlg about(window.get());
    about.show();
    Shoot(about, QStringLiteral("about-box.png"));
    about.close();

    // The progress window in the middle of a write: the device holds the
    // worker at block 150 until the picture is taken.
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    device->SetEventHandler([&](const devsim::RequestEvent& event) {
        if (event.command != CMD_WRITE_BLOCK || event.block != 150) return;
        holding = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    window->LoadImageFile(folder.Write(QStringLiteral("bramis-1.3.dat"), kImageSize), false);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!holding || release) return;
        Shoot(window->ProgressWindow(), QStringLiteral("progress-window.png"));
        release = true;
    });
    poll.start(10);
    window->OnCommand(IDC_WRITE);
    EXPECT_TRUE(release);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа успешно записана")});
    // The journal, with that write in it.
    EXPECT_TRUE(test::InModal([&] { window->OnCommand(ID_SERVICE_JOURNAL); },
                              [](QDialog& journal) { Shoot(journal, QStringLiteral("journal-window.png")); }));
}

TEST_F(Screenshots, SettingsWindow) {
    store.WriteInt(kSectionSettings, kValuePortNumber, 33);
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 1);
    Restart();
    ports = {{1, "/dev/ttyS0"},
             {2, "/dev/ttyS1"},
             {33, "/dev/ttyUSB0", "FT232R USB UART (A50285BI)",
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
             {65, "/dev/ttyACM0"}};
    window->move(40, 40);
    window->show();
    EXPECT_TRUE(test::InModal([&] { window->OnCommand(ID_SERVICE_SETTINGS); }, [](QDialog& settings) {
        settings.move(80, 120);
        Shoot(settings, QStringLiteral("settings-window.png"));
    }));
}

}  // namespace
}  // namespace bramis
