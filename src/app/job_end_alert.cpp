#include "job_end_alert.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include "app_texts.h"

namespace bramis {
namespace {

JobEndAlerts& CurrentAlerts() {
    static JobEndAlerts alerts;
    return alerts;
}

// The window of the program that last had the focus, and whether the focus
// has gone to another program since. A window of the program that closes
// (the progress window at the end of a job) takes the focus along for a
// moment on its way to the window below: the program is still in front.
QPointer<QWindow> g_lastFocused;
bool g_focusElsewhere = true;  // until a window of the program first has it

void WatchTheFocus() {
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application == nullptr) return;
    QObject::connect(application, &QGuiApplication::focusWindowChanged, [](QWindow* focused) {
        g_focusElsewhere = focused == nullptr && g_lastFocused && g_lastFocused->isVisible();
        if (focused != nullptr) g_lastFocused = focused;
    });
}
Q_COREAPP_STARTUP_FUNCTION(WatchTheFocus)

}  // namespace

void AlertJobEnded(QWidget* window, bool failed, const QString& text, bool sound) {
    const JobEndAlerts& alerts = CurrentAlerts();
    // While a window of the program is active (the progress window, a
    // message box), the technician is looking at it.
    if (window != nullptr && g_focusElsewhere) {
        if (alerts.askForAttention)
            alerts.askForAttention(window);
        else
            QApplication::alert(window);
        (alerts.notify ? alerts.notify : ShowDesktopNotification)(window, texts::MainCaption(), text, failed);
    }
    if (sound) (alerts.playSound ? alerts.playSound : PlayDesktopSound)(failed);
}

void SetJobEndAlerts(JobEndAlerts alerts) { CurrentAlerts() = std::move(alerts); }

}  // namespace bramis
