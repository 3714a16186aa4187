// What tells a technician who walked away from the bench that a job has
// ended: the window asks for attention, the desktop shows a notification, and
// a short sound plays, one for success and another for failure.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace bramis {

// The three ways of telling; tests replace them to record what was told.
struct JobEndAlerts {
    std::function<void(QWidget* window)> askForAttention;  // flashes the taskbar entry
    std::function<void(QWidget* window, const QString& title, const QString& text, bool failed)> notify;
    std::function<void(bool failed)> playSound;
};

// Tells of the end of a job in `window`: when the focus has gone to another
// program (not when a window of this one has just closed), it asks for
// attention and a notification says `text`; with `sound`, a sound plays in
// any case. A desktop without notifications or sounds is
// skipped silently. GUI thread.
void AlertJobEnded(QWidget* window, bool failed, const QString& text, bool sound);

// Replaces the ways of telling; empty members restore the desktop's own. GUI
// thread.
void SetJobEndAlerts(JobEndAlerts alerts);

// The desktop's own, one file per system.
void ShowDesktopNotification(QWidget* window, const QString& title, const QString& text, bool failed);
void PlayDesktopSound(bool failed);

}  // namespace bramis
