// Desktops without a progress indicator on a window's taskbar entry: the
// progress window and the title show the job's progress.
#include "taskbar_progress.h"

namespace bramis {

void ShowTaskbarProgress(QWidget*, int) {}
void ShowTaskbarFailure(QWidget*) {}
void ClearTaskbarProgress(QWidget*) {}

}  // namespace bramis
