// The Open and Save dialogs of image files, as replaceable functions so that
// tests drive the write and read commands without a native dialog.
#pragma once

#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace bramis {

// Runs a file dialog owned by `owner` that starts in `initialFolder` (the
// platform's default folder when empty). Returns the full path chosen, or an
// empty string when the user cancelled. GUI thread.
using FileChooser = std::function<QString(QWidget* owner, const QString& initialFolder)>;

struct FileChoosers {
    FileChooser chooseOpen;  // Open dialog; the chosen file need not exist
    FileChooser chooseSave;  // Save dialog; asks before an existing file is replaced
};

// The Qt file dialogs with the image-file filter (program files first, then
// all files) and the default extension .dat. GUI thread.
FileChoosers SystemFileChoosers();

// Where the desktop gives no file dialog of its own and Qt's is used: its
// sizes and dates in Russian and its columns wide enough for them. Leaves a
// dialog that will be the desktop's alone. GUI thread, before it is shown.
void MakeFallbackDialogReadable(QFileDialog& dialog);

}  // namespace bramis
