// The application object: opens the user's settings store, runs the main
// window modally and ends the program when that window has gone.
#pragma once

namespace bramis {

class CProgrammerApp {
public:
    // Runs the program once the QApplication exists; returns its exit code.
    // The main window's result is not used. GUI thread.
    int InitInstance();
};

}  // namespace bramis
