#include "file_choosers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "app_texts.h"

namespace bramis {
namespace {

QString RunImageFileDialog(QWidget* owner, const QString& initialFolder, QFileDialog::AcceptMode mode) {
    // Told to start in a folder that does not exist, the dialog would start in
    // its parent with the folder's name typed as the file name: Enter in Save
    // would then write a file of that name. The home folder instead.
    const QString folder =
        initialFolder.isEmpty() || QFileInfo(initialFolder).isDir() ? initialFolder : QDir::homePath();
    QFileDialog dialog(owner, QString(), folder, texts::ImageFileFilter());
    dialog.setAcceptMode(mode);
    // A typed name need not exist: the load then says it cannot open it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(texts::ImageFileSuffix());
    const int answer = dialog.exec();
    // After the question whether to replace a file, the owner is not given
    // back the activation by itself.
    if (owner != nullptr) owner->window()->activateWindow();
    if (answer != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace

FileChoosers SystemFileChoosers() {
    return {
        [](QWidget* owner, const QString& folder) { return RunImageFileDialog(owner, folder, QFileDialog::AcceptOpen); },
        [](QWidget* owner, const QString& folder) { return RunImageFileDialog(owner, folder, QFileDialog::AcceptSave); },
    };
}

}  // namespace bramis
