#include "file_choosers.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QTreeView>

#include "app_texts.h"

namespace bramis {
namespace {

// Columns of Qt's own dialog's detail view.
constexpr int kSizeColumn = 1;
constexpr int kDateColumn = 3;

// Sizes and dates of Qt's own dialog in Russian, whatever the system's
// language: Qt writes sizes in binary units ("KiB") that have no Russian
// names, and dates as the system's locale does.
class RussianFileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr ||
            (index.column() != kSizeColumn && index.column() != kDateColumn))
            return QIdentityProxyModel::data(index, role);
        const QFileInfo file = files->fileInfo(mapToSource(index));
        const QLocale russian(QLocale::Russian, QLocale::Russia);
        if (index.column() == kDateColumn) return russian.toString(file.lastModified(), QLocale::ShortFormat);
        return file.isDir() ? QString() : russian.formattedDataSize(file.size(), 0, QLocale::DataSizeTraditionalFormat);
    }
};


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
    MakeFallbackDialogReadable(dialog);
    const int answer = dialog.exec();
    // After the question whether to replace a file, the owner is not given
    // back the activation by itself.
    if (owner != nullptr) owner->window()->activateWindow();
    if (answer != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace

void MakeFallbackDialogReadable(QFileDialog& dialog) {
    // Only Qt's own dialog has a detail view; the desktop's is left as it is.
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (details == nullptr) return;
    dialog.setProxyModel(new RussianFileDetails(&dialog));
    // The name takes the room the other columns leave; they are never cut.
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
}

FileChoosers SystemFileChoosers() {
    return {
        [](QWidget* owner, const QString& folder) { return RunImageFileDialog(owner, folder, QFileDialog::AcceptOpen); },
        [](QWidget* owner, const QString& folder) { return RunImageFileDialog(owner, folder, QFileDialog::AcceptSave); },
    };
}

}  // namespace bramis
