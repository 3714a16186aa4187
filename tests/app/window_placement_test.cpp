// Where the windows land: every message box in the middle of the window that
// owns it, whatever came before, a path in it whole; the journal window within the screen at any
// scale (ctest runs it at double scale on a small screen too).
#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
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
    cable->FailOpens(PortOpenError{OpenFailure::Gone, "/dev/ttyUSB9", 5, "I/O error", {}});
    window->OnCommand(IDC_READ);   // the progress window's box
    window->OnCommand(IDC_WRITE);  // the main window's: no file named
    EXPECT_EQ(owners, (QStringList{"IDD_SETTINGS", "IDD_PROGRESS", "IDD_MAIN"}));
}

TEST(MessageBoxes, KeepALineWithAPathWhole) {
    const QString line =
        QStringLiteral("Не могу открыть файл справки /home/техник/Программатор Брамис/share/bramis-programmer.html");
    int room = -1;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        const auto* label = Child<QLabel>(*box, "qt_msgbox_label");
        room = label->contentsRect().width() - label->fontMetrics().horizontalAdvance(line);
        box->accept();
    });
    ShowMessage(nullptr, line, MessageIcon::Exclamation);
    EXPECT_GE(room, 0);
}

TEST_F(MainWindowTest, TheJournalWindowOpensWithinTheScreenWithLongPathsCutAndKeepsItsSize) {
    JournalRecord record;
    record.started = QDateTime::currentDateTime();
    record.file = QStringLiteral("/home/user/") + QStringLiteral("Прошивки заказчиков/").repeated(8) + "bramis.dat";
    record.imageSha256 = QString(64, QLatin1Char('c'));
    ASSERT_EQ(AppendJournalRecord(JournalFile(), record), QString());
    window->show();
    const auto openJournal = [this](const std::function<void(QDialog&)>& inside) {
        return test::InModal([this] { window->OnCommand(ID_SERVICE_JOURNAL); }, inside);
    };
    QSize resized;
    ASSERT_TRUE(openJournal([&](QDialog& dialog) {
        EXPECT_TRUE(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
        const auto* table = Child<QTableView>(dialog, "journal_table");
        const QFontMetrics metrics = table->fontMetrics();
        EXPECT_GE(table->columnWidth(kColumnStarted), metrics.horizontalAdvance(QStringLiteral("09.12.2026 07:56:42")));
        EXPECT_LT(table->columnWidth(kColumnFile), metrics.horizontalAdvance(record.file));
        EXPECT_EQ(table->model()->index(0, kColumnFile).data(Qt::ToolTipRole).toString(),
                  QDir::toNativeSeparators(record.file));
        resized = dialog.size() - QSize(40, 30);
        dialog.resize(resized);
    }));
    ASSERT_TRUE(openJournal([&](QDialog& dialog) { EXPECT_EQ(dialog.size(), resized); }));
}

}  // namespace
}  // namespace bramis
