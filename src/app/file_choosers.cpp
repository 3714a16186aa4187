#include "file_choosers.h"

#include <QFileDialog>

#include "app_texts.h"

namespace bramis {
namespace {

QString RunImageFileDialog(QWidget* owner, const QString& initialFolder, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(owner, QString(), initialFolder, texts::ImageFileFilter());
    dialog.setAcceptMode(mode);
    // A typed name need not exist: the load then says it cannot open it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(texts::ImageFileSuffix());
    if (dialog.exec() != QDialog::Accepted) return {};
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
