#include "job_end_alert.h"

#include <QApplication>
#include <QWidget>

#include "app_texts.h"

namespace bramis {
namespace {

JobEndAlerts& CurrentAlerts() {
    static JobEndAlerts alerts;
    return alerts;
}

}  // namespace

void AlertJobEnded(QWidget* window, bool failed, const QString& text, bool sound) {
    const JobEndAlerts& alerts = CurrentAlerts();
    // While any window of the program is active (the progress window, a
    // message box), the technician is looking at it.
    if (window != nullptr && QApplication::activeWindow() == nullptr) {
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
