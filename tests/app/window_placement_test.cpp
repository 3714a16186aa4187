// Where the windows land: every message box in the middle of the window that
// owns it, whatever came before.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "gui_test_support.h"

namespace bramis {
namespace {

using test::Child;
using test::MainWindowTest;

TEST_F(MainWindowTest, EveryMessageBoxLandsInTheMiddleOfItsOwnerAfterACancelledFind) {
    SetMessageBoxFunction({});  // the real boxes, closed here as they come
    QStringList owners;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        const QWidget* owner = box->parentWidget()->window();
        owners << owner->objectName();
        EXPECT_LE((box->frameGeometry().center() - owner->frameGeometry().center()).manhattanLength(), 2)
            << owner->objectName().toStdString();
        box->accept();
    });
    boxes.start(10);
    window->move(120, 90);
    window->show();

    // A search that finds nothing, then the settings window cancelled.
    ports = {{2, "/nonexistent/ttyUSB0"}};
    ASSERT_TRUE(test::InModal([&] { window->OnCommand(ID_SERVICE_SETTINGS); }, [&](QDialog& settings) {
        Child<QPushButton>(settings, "IDC_FIND_DEVICE")->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !owners.isEmpty(); }));
        Child<QPushButton>(settings, "IDCANCEL")->click();
    }));
    cable->FailOpens("unplugged");
    window->OnCommand(IDC_READ);   // the progress window's box
    window->OnCommand(IDC_WRITE);  // the main window's: no file named
    EXPECT_EQ(owners, (QStringList{"IDD_SETTINGS", "IDD_PROGRESS", "IDD_MAIN"}));
}

}  // namespace
}  // namespace bramis
