// Pictures of the real windows for the documentation. Skipped unless
// BRAMIS_SCREENSHOT_DIR names the folder to put them in; run on a display
// with a window manager (scripts/screenshots.sh does that under Xvfb).
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "app/about_dlg.h"
#include "app/main_dlg.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"

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
}

}  // namespace
}  // namespace bramis
