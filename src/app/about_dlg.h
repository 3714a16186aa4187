// The About box (IDD_ABOUT): the icon, what the program is for, its version
// and OK. OK, Esc and the close box close it.
#pragma once

#include <QDialog>

namespace bramis {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the box in its template layout. GUI thread.
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace bramis
