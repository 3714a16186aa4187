// A job's progress on the window's taskbar button, where the desktop has such
// a thing (Windows' taskbar); elsewhere the calls do nothing. GUI thread.
#pragma once

class QWidget;

namespace bramis {

// The button of `window` shows `percent` (0..100) done.
void ShowTaskbarProgress(QWidget* window, int percent);

// The button of `window` turns red: the job failed.
void ShowTaskbarFailure(QWidget* window);

// The button of `window` shows no progress any more.
void ClearTaskbarProgress(QWidget* window);

}  // namespace bramis
