// Notifications as the tray's balloon (a toast on Windows 10 and later),
// sounds as the system's own message beeps.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "app_icon.h"
#include "job_end_alert.h"

namespace bramis {

void ShowDesktopNotification(QWidget* window, const QString& title, const QString& text, bool failed) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    constexpr int kShownMs = 15000;
    auto* tray = new QSystemTrayIcon(AppIcon(), window);
    tray->show();
    tray->showMessage(title, text, failed ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information, kShownMs);
    QTimer::singleShot(kShownMs, tray, &QObject::deleteLater);
}

void PlayDesktopSound(bool failed) { MessageBeep(failed ? MB_ICONHAND : MB_OK); }

}  // namespace bramis
