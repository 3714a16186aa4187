#include "help_page.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

#include "app_texts.h"
#include "message_box.h"

namespace bramis {
namespace {

bool OpenWithDesktop(const QUrl& url) { return QDesktopServices::openUrl(url); }

UrlOpener& CurrentOpener() {
    static UrlOpener opener = OpenWithDesktop;
    return opener;
}

}  // namespace

QStringList HelpPageFolders() { return HelpPageFolders(QCoreApplication::applicationDirPath()); }

QStringList HelpPageFolders(const QString& programFolder) {
    QStringList folders{programFolder};
#ifdef BRAMIS_INSTALLED_HELP_DIR
    // Relative to the program's folder, so that an installed tree may move.
    folders << QDir::cleanPath(programFolder + QLatin1Char('/') + QString::fromUtf8(BRAMIS_INSTALLED_HELP_DIR));
#endif
#ifdef BRAMIS_SOURCE_RES_DIR
    folders << QString::fromUtf8(BRAMIS_SOURCE_RES_DIR);
#endif
    return folders;
}

QString FindHelpPage(const QStringList& folders, const QString& fileName) {
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (candidate.isFile() && candidate.isReadable()) return candidate.absoluteFilePath();
    }
    return {};
}

void SetUrlOpener(UrlOpener opener) {
    CurrentOpener() = opener ? std::move(opener) : UrlOpener(OpenWithDesktop);
}

bool OpenUrl(const QUrl& url) { return CurrentOpener()(url); }

void OpenHelpPage(QWidget* owner) {
    const QString path = FindHelpPage(HelpPageFolders());
    if (path.isEmpty()) {
        ShowMessage(owner, texts::HelpNotFound(QString::fromLatin1(kHelpFileName)), MessageIcon::Exclamation);
        return;
    }
    if (!OpenUrl(QUrl::fromLocalFile(path)))
        ShowMessage(owner, texts::HelpNotOpened(QDir::toNativeSeparators(path)), MessageIcon::Exclamation);
}

}  // namespace bramis
