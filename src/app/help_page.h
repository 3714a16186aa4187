// The programmer's help: a Russian HTML page that lies beside the program
// file (installed on Linux, in the data folder next to the program's folder;
// in a build tree, in the sources' res/ folder), opened in the desktop's
// browser.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace bramis {

// File name of the help page.
inline constexpr char kHelpFileName[] = "bramis-programmer.html";

// Folders searched for the help page, in order: the program file's folder,
// the installed data folder beside it (../share/bramis from bin/), then the
// sources' res/ folder of the build. GUI thread.
QStringList HelpPageFolders();

// The same folders for a program that lies in `programFolder`. Any thread.
QStringList HelpPageFolders(const QString& programFolder);

// The first of `folders` that holds a readable `fileName`, as an absolute
// path; empty when none does. Any thread.
QString FindHelpPage(const QStringList& folders, const QString& fileName = QString::fromLatin1(kHelpFileName));

// Opens a URL with the desktop's browser or file manager; returns false when
// that failed.
using UrlOpener = std::function<bool(const QUrl&)>;

// Replaces the opener (QDesktopServices by default; empty restores it). GUI thread.
void SetUrlOpener(UrlOpener opener);

// Opens `url` with the opener: the help page, the journal's folder. GUI thread.
bool OpenUrl(const QUrl& url);

// Opens the help page in the browser, or tells `owner` in a message box why it
// cannot. GUI thread.
void OpenHelpPage(QWidget* owner);

}  // namespace bramis
