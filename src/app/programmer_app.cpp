#include "programmer_app.h"

#include <QApplication>
#include <iostream>

#include "app_icon.h"
#include "main_dlg.h"
#include "settings/qsettings_profile_store.h"

namespace bramis {

int CProgrammerApp::InitInstance() {
    QApplication::setWindowIcon(AppIcon());
    std::string warning;
    const std::unique_ptr<ProfileStore> store = OpenUserSettings(warning);
    if (!warning.empty()) {
        std::cerr << warning << '\n';
    }
    {
        // The window goes before the store: its destructor writes the
        // recent-file list there.
        CMainDlg mainWindow(*store);
        mainWindow.exec();
    }
    return 0;
}

}  // namespace bramis
