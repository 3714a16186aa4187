#include "programmer_app.h"

#include <QApplication>

#include "app_icon.h"
#include "main_dlg.h"
#include "qt_translations.h"
#include "qsettings_profile_store.h"
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
    QSettingsProfileStore store;
    {
        // The window goes before the store: its destructor writes the
        // recent-file list there.
        CMainDlg mainWindow(store);
        const TerminationRequests termination([&mainWindow] { mainWindow.RequestQuit(); },
                                              [&mainWindow] { mainWindow.QuitNow(kSessionEndWaitMs); });
        mainWindow.exec();
    }
    return 0;
}

}  // namespace bramis
