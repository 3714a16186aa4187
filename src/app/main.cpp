// bramis-programmer: the programmer's window.
#include <QApplication>

#include "programmer_app.h"

int main(int argc, char** argv) {
    // The program reads no command-line arguments, so Qt is handed none either.
    char fallbackName[] = "bramis-programmer";
    char* qtArgv[] = {argc > 0 ? argv[0] : fallbackName, nullptr};
    int qtArgc = 1;
    QApplication application(qtArgc, qtArgv);
    bramis::CProgrammerApp app;
    return app.InitInstance();
}
