#include "programmer_app.h"

#include <QApplication>

#include "app_icon.h"
#include "main_dlg.h"
#include "qt_translations.h"
#include "qsettings_profile_store.h"

namespace bramis {

int CProgrammerApp::InitInstance() {
    QApplication::setWindowIcon(AppIcon());
    LoadQtTranslations(*QCoreApplication::instance());
    QSettingsProfileStore store;
    {
        // The window goes before the store: its destructor writes the
        // recent-file list there.
        CMainDlg mainWindow(store);
        mainWindow.exec();
    }
    return 0;
}

}  // namespace bramis
