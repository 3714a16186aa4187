#include "programmer_app.h"

#include <QApplication>
#include <QTimer>

#include <iostream>

#include "app_icon.h"
#include "main_dlg.h"
#include "message_box.h"
#include "qt_translations.h"
#include "settings/qsettings_profile_store.h"
#include "termination_requests.h"

namespace bramis {
namespace {

// How long the end of the Windows session waits for a job to send the device
// back: about what the system grants before it ends the process anyway.
constexpr int kSessionEndWaitMs = 5000;

}  // namespace

int CProgrammerApp::InitInstance() {
    QApplication::setWindowIcon(AppIcon());
    LoadQtTranslations(*QCoreApplication::instance());
    std::string warning;
    const std::unique_ptr<ProfileStore> store = OpenUserSettings(warning);
    // Once: the journal this window used to keep apart joins the one journal.
    if (const QString moved = MoveOldJournal(OldWindowJournalPath(), JournalPath(*store)); !moved.isEmpty())
        warning += (warning.empty() ? "" : "\n\n") + moved.toStdString();
    {
        // The window goes before the store: its destructor writes the
        // recent-file list there.
        CMainDlg mainWindow(*store);
        if (!warning.empty()) {
            // Said once the window is up: nobody reads a window program's stderr.
            std::cerr << warning << '\n';
            QTimer::singleShot(0, &mainWindow, [&mainWindow, &warning] {
                ShowMessage(&mainWindow, QString::fromStdString(warning), MessageIcon::Exclamation);
            });
        }
        const TerminationRequests termination([&mainWindow] { mainWindow.RequestQuit(); },
                                              [&mainWindow] { mainWindow.QuitNow(kSessionEndWaitMs); });
        mainWindow.exec();
    }
    return 0;
}

}  // namespace bramis
