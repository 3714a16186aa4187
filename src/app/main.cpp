// bramis-programmer: the programmer's window.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "programmer_app.h"

int main(int argc, char** argv) {
    // The program reads no command-line arguments, so Qt is handed none either.
    char fallbackName[] = "bramis-programmer";
    char* qtArgv[] = {argc > 0 ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;
    QApplication application(qtArgc, qtArgv);
    // Qt's own texts (standard buttons, file dialogs) in Russian, like the
    // program's: shipped beside the program on Windows, Qt's on Linux.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ru"), QCoreApplication::applicationDirPath() + QStringLiteral("/translations")) ||
        qtTexts.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
    }
    bramis::CProgrammerApp app;
    return app.InitInstance();
}
