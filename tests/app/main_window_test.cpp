// The main window with its About box and help: the dialog-unit grid it is
// laid out on, texts, layout, menu and keys, the file commands that refuse or
// load a file, the settings read at start, the recent files left behind, and
// where the help page is found.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "app/app_texts.h"
#include "app/help_page.h"
#include "app/journal_dlg.h"
#include "app/qt_translations.h"
#include "gui_test_support.h"
#include "image/image_file.h"
#include "job/transfer_worker.h"
#include "journal/journal.h"

namespace bramis {
namespace {

using test::Child;
using test::MainWindowTest;

TEST(DialogUnits, ConvertLikeTheTemplatesWereDrawnAndNeighboursShareEdgesOnAnyFont) {
    // 52 letters 312 pixels wide and a 13-pixel line: 6 by 13 base units. The
    // average is rounded up: 313 pixels gives (12 + 1) / 2 = 6 as well, 338
    // pixels (13 a pair) gives 7.
    const DialogBaseUnits units = BaseUnitsFromMetrics(312, 13);
    EXPECT_EQ(units.x, 6);
    EXPECT_EQ(units.y, 13);
    EXPECT_EQ(BaseUnitsFromMetrics(313, 13).x, 6);
    EXPECT_EQ(BaseUnitsFromMetrics(338, 13).x, 7);

    // Half a pixel rounds away from zero, on both sides of zero, and the
    // product does not overflow.
    EXPECT_EQ(MulDivRound(7, 6, 4), 11);
    EXPECT_EQ(MulDivRound(-7, 6, 4), -11);
    EXPECT_EQ(MulDivRound(7, -6, 4), -11);
    EXPECT_EQ(MulDivRound(5, 13, 8), 8);  // 8.125
    EXPECT_EQ(MulDivRound(1 << 20, 1 << 20, 1 << 20), 1 << 20);

    EXPECT_EQ(MapDialogSize(units, 230, 114), QSize(345, 185));
    EXPECT_EQ(MapDialogRect(units, {82, 93, 50, 14}), QRect(123, 151, 75, 23));

    for (const DialogBaseUnits other : {DialogBaseUnits{5, 11}, DialogBaseUnits{7, 15}, DialogBaseUnits{9, 19}}) {
        // Rectangles that meet in units meet in pixels: the edge is converted
        // once, not as left plus a rounded width; a gap of one unit stays.
        const QRect left = MapDialogRect(other, {7, 40, 89, 18});
        EXPECT_EQ(left.left() + left.width(), MapDialogRect(other, {96, 40, 17, 18}).left()) << other.x;
        EXPECT_GT(MapDialogRect(other, {208, 20, 15, 12}).left(), MapDialogRect(other, {7, 20, 196, 12}).right());
    }

    // A larger font gives larger units and so a larger window.
    QFont small, large;
    small.setPixelSize(10);
    large.setPixelSize(20);
    EXPECT_GT(BaseUnitsOf(large).x, BaseUnitsOf(small).x);
    EXPECT_GT(BaseUnitsOf(large).y, BaseUnitsOf(small).y);
}

TEST_F(MainWindowTest, MainWindowAndAboutBoxShowTheirTextsInTheTemplatePlaces) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Программатор Брамис"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
              Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const auto* menuBar = Child<QMenuBar>(*window, "IDR_MAIN_MENU");
    const int menuHeight = menuBar->height();
    EXPECT_EQ(window->size(), MapDialogSize(BaseUnitsOf(window->font()), 230, 114) + QSize(0, menuHeight));
    test::ExpectPlaced(*window,
                       {{"IDC_EXIT", 1004, QStringLiteral("Выход"), {82, 93, 50, 14}},
                        {"IDC_WRITE", 1000, QStringLiteral("Записать в прибор"), {7, 40, 89, 18}},
                        {"IDC_BROWSE", 1002, QStringLiteral("..."), {208, 20, 15, 12}},
                        {"file_name_label", -1, QStringLiteral("Имя файла программы:"), {7, 7, 86, 11}},
                        {"IDC_FILE_NAME", 1003, QString(), {7, 20, 196, 12}},
                        {"IDC_READ", 1001, QStringLiteral("Прочитать из прибора"), {113, 40, 89, 18}}},
                       {0, menuHeight});

    // Tab order: Выход, Записать, ..., the file-name box, Прочитать, and round;
    // the focus starts on Выход.
    const QList<QWidget*> stops{Child(*window, "IDC_EXIT"), Child(*window, "IDC_WRITE"),
                                Child(*window, "IDC_BROWSE"), Box(), Child(*window, "IDC_READ")};
    EXPECT_EQ(test::TabOrder(stops), stops);
    window->show();
    EXPECT_EQ(window->focusWidget(), stops[0]);

    // The menu: titles, items with their mnemonics, separators and ids.
    QStringList menu;
    for (QAction* title : menuBar->actions()) {
        menu << title->text();
        for (QAction* item : title->menu()->actions())
            menu << (item->isSeparator() ? QStringLiteral("-")
                                         : item->text() + '=' + item->property(kControlIdProperty).toString());
    }
    EXPECT_EQ(menu, (QStringList{"&Операции", "Выбрать &файл ...=32771", "-", "&Записать в прибор=32772",
                                 "&Прочитать из прибора=32773", "&Сравнить прибор с файлом=32780", "-", "В&ыход=32778",
                                 "Серв&ис", "&Настройка=32774", "&Журнал заданий=32779",
                                 "&?", "Вызов &справки=32775", "-", "&О программе ...=32777"}));

    // The About box from the menu; Esc closes it.
    ASSERT_TRUE(test::InModal([&] { window->OnCommand(ID_HELP_ABOUT); }, [](QDialog& about) {
        EXPECT_EQ(about.windowTitle(), QStringLiteral("О программе"));
        EXPECT_FALSE(Child<QLabel>(about, "IDI_MAIN")->pixmap().isNull());
        test::ExpectPlaced(
            about, {{"description", -1, QStringLiteral("Обновление программного обеспечения прибора Брамис."),
                     {42, 7, 119, 22}},
                    {"version", -1, QStringLiteral("Версия 1.3"), {42, 38, 119, 8}},
                    {"IDOK", 1, QStringLiteral("OK"), {59, 75, 50, 14}}});
        // The description fits its two lines in whatever font the box has.
        const auto* description = Child<QLabel>(about, "description");
        EXPECT_LE(description->heightForWidth(description->width()), description->height());
        QTest::keyClick(&about, Qt::Key_Escape);
        EXPECT_FALSE(about.isVisible());
    }));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, EscDoesNothingWhileEnterAndCloseEndLikeExit) {
    const std::vector<std::function<void()>> endings{
        [&] { QTest::keyClick(Child(*window, "IDC_EXIT"), Qt::Key_Return); },
        // Enter in the file-name box reaches the default button, adding no item.
        [&] {
            Box()->setFocus();
            Box()->setEditText(QStringLiteral("typed.dat"));
            QTest::keyClick(Box()->lineEdit(), Qt::Key_Return);
            EXPECT_EQ(Box()->count(), 0);
        },
        [&] { EXPECT_TRUE(window->close()); },  // the close box and Alt+F4
        [&] { window->OnCommand(ID_OP_EXIT); },
    };
    for (const auto& end : endings) {
        Restart();
        window->show();
        QTest::keyClick(window.get(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible());
        end();
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), IDOK);
    }
}

TEST_F(MainWindowTest, WriteRefusesAnEmptyBoxAndFilesOfTheWrongLengthWithoutAJob) {
    // Enter on Записать в прибор starts a write, with the box still empty.
    window->show();
    auto* write = Child<QPushButton>(*window, "IDC_WRITE");
    write->setFocus();
    QTest::keyClick(write, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    const QString shortFile = folder.Write("short.dat", kImageSize - 1);
    const QString longFile = folder.Write("long.dat", kImageSize + 1);
    Box()->setEditText(shortFile);
    window->OnCommand(ID_OP_WRITE);
    Box()->setEditText(longFile);
    window->OnCommand(IDC_WRITE);

    EXPECT_EQ(recorder.Texts(),
              (QStringList{"Не могу открыть файл", "Не верная длина файла", "Не верная длина файла"}));
    for (const auto& message : recorder.messages) {
        EXPECT_EQ(message.icon, MessageIcon::Exclamation);
        EXPECT_EQ(message.caption, ApplicationTitle());
        EXPECT_EQ(message.owner, window.get());
    }
    EXPECT_EQ(cable->OpenCount(), 0);
    // A refused file is not remembered, and the box keeps what was typed.
    EXPECT_EQ(Box()->count(), 0);
    EXPECT_EQ(Box()->currentText(), longFile);
    EXPECT_EQ(store.GetString(kSectionInit, kValueProgramFilesDir, "-"), "-");
}

TEST_F(MainWindowTest, ChooseFileLoadsItStartingInTheFolderLastUsed) {
    window->OnCommand(IDC_BROWSE);  // cancelled: nothing happens
    EXPECT_TRUE(recorder.messages.empty());
    openAnswer = folder.Write("first.dat", kImageSize, 3);
    window->OnCommand(ID_OP_CHOOSE_FILE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Файл успешно прочитан")});
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(Box()->currentText(), openAnswer);
    EXPECT_TRUE(test::HoldsPattern(window->Files().Image().Bytes(), 3));

    // The next dialog opens in that file's folder; a failed load changes
    // neither the box nor the image.
    openAnswer = folder.Path("missing.dat");
    window->OnCommand(IDC_BROWSE);
    EXPECT_EQ(openFolders, (QStringList{documents, documents, folder.Folder()}));
    EXPECT_EQ(recorder.messages.back().text, QStringLiteral("Не могу открыть файл"));
    EXPECT_EQ(Box()->count(), 1);
    EXPECT_EQ(Box()->currentText(), folder.Path("first.dat"));
    EXPECT_TRUE(test::HoldsPattern(window->Files().Image().Bytes(), 3));
}

TEST(FileDialogs, AFolderThatIsNotThereStartsThemInTheHomeFolderWithNoNameTyped) {
    // As the documents folder that many Linux systems do not have: the dialog
    // must not offer its name as the file name, which Enter would then save.
    const QString missing = QDir::home().filePath(QStringLiteral("no-such-documents-folder"));
    const FileChoosers choosers = SystemFileChoosers();
    for (const FileChooser& chooser : {choosers.chooseOpen, choosers.chooseSave}) {
        QString folder, name;
        EXPECT_TRUE(test::InModal([&] { chooser(nullptr, missing); }, [&](QDialog& dialog) {
            folder = static_cast<QFileDialog&>(dialog).directory().absolutePath();
            name = Child<QLineEdit>(dialog, "fileNameEdit")->text();
        }));
        EXPECT_EQ(folder, QDir::homePath());
        EXPECT_EQ(name, QString());
    }
}

TEST_F(MainWindowTest, SettingsAtStartAndRecentFilesSurviveARestart) {
    const QString first = folder.Write("a.dat", kImageSize, 1);
    const QString second = folder.Write("b.dat", kImageSize, 2);
    EXPECT_EQ(window->PortNumber(), 99);
    EXPECT_EQ(window->LoadImageFile(first, true), IDOK);
    EXPECT_EQ(window->LoadImageFile(second, true), IDOK);
    EXPECT_EQ(window->LoadImageFile(first, true), IDOK);  // moves to the front, listed once
    // Nothing is written before the window goes.
    EXPECT_EQ(store.GetString(kSectionProgramFileList, "File1", "-"), "-");

    // Autoload off: the list is there, nothing is selected or loaded.
    store.WriteInt(kSectionSettings, kValuePortNumber, 7);
    Restart();
    EXPECT_EQ(store.GetString(kSectionProgramFileList, "File1", ""), first.toStdString());
    EXPECT_EQ(window->PortNumber(), 7);
    ASSERT_EQ(Box()->count(), 2);
    EXPECT_EQ(Box()->itemText(0), first);
    EXPECT_EQ(Box()->itemText(1), second);
    EXPECT_TRUE(Box()->currentText().isEmpty());

    // Autoload on: slot 0 is loaded silently and shown.
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 1);
    Restart();
    EXPECT_EQ(Box()->currentText(), first);
    EXPECT_TRUE(test::HoldsPattern(window->Files().Image().Bytes(), 1));

    // Autoload of a file that has gone: no message, an empty box.
    ASSERT_TRUE(QFile::remove(first));
    Restart();
    EXPECT_TRUE(Box()->currentText().isEmpty());
    EXPECT_EQ(Box()->count(), 2);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST(HelpPage, FoundInTheProgramsFolderThenTheInstalledDataFolderThenTheSources) {
    // The installed layout: <prefix>/bin/bramis-programmer, <prefix>/share/bramis/<page>.
    QTemporaryDir prefix;
    const QDir root(prefix.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/bramis")));
    const QString bin = root.filePath(QStringLiteral("bin"));
    const QString beside = QDir(bin).absoluteFilePath(kHelpFileName);
    // Until a page is there, only the build's own res/ folder may answer.
    EXPECT_FALSE(FindHelpPage(HelpPageFolders(bin)).startsWith(root.absolutePath()));
    // A folder of that name is no page.
    ASSERT_TRUE(QDir(bin).mkdir(kHelpFileName));
    EXPECT_FALSE(FindHelpPage(HelpPageFolders(bin)).startsWith(root.absolutePath()));
    ASSERT_TRUE(QDir(bin).rmdir(kHelpFileName));
    QStringList pages{beside};
#ifndef Q_OS_WIN
    // Installed elsewhere than on Windows, the page is in share/bramis.
    pages.prepend(root.absoluteFilePath(QStringLiteral("share/bramis/") + kHelpFileName));
#endif
    for (const QString& page : pages) {
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("<html></html>") > 0);
        file.close();
        EXPECT_EQ(FindHelpPage(HelpPageFolders(bin)), page);
    }
}

TEST_F(MainWindowTest, TheHelpCommandOpensTheShippedPageWhichExplainsEveryMessage) {
    QList<QUrl> opened;
    SetUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    window->OnCommand(ID_HELP_TOPICS);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(QFileInfo(opened[0].toLocalFile()).fileName(), QString::fromLatin1(kHelpFileName));

    // A browser that cannot be started is reported.
    SetUrlOpener([](const QUrl&) { return false; });
    window->OnCommand(ID_HELP_TOPICS);
    SetUrlOpener({});
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(recorder.messages[0].text.startsWith(QStringLiteral("Не могу открыть файл справки")));

    QFile page(opened[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QStringList messages{texts::FileLoaded(), texts::WriteSucceeded(), texts::ReadSucceeded(),
                         QString::fromUtf8(kMsgCannotOpenPort), QString::fromUtf8(kMsgEraseError),
                         QString::fromUtf8(kMsgWriteError),     QString::fromUtf8(kMsgReadError),
                         QString::fromUtf8(kMsgPortLost),       QString::fromUtf8(kStageEnteringProgramming)};
    for (const ImageFileStatus status : {ImageFileStatus::CannotOpen, ImageFileStatus::WrongLength,
                                         ImageFileStatus::ReadFailed, ImageFileStatus::CannotCreate,
                                         ImageFileStatus::WriteFailed, ImageFileStatus::NotAFile,
                                         ImageFileStatus::ReadOnly})
        messages << QString::fromUtf8(ImageFileMessage(status));
    for (const QString& message : messages) EXPECT_TRUE(html.contains(message)) << message.toStdString();
}

TEST(QtTranslations, QtsOwnDialogTextsAreRussian) {
    ASSERT_TRUE(LoadQtTranslations(*QCoreApplication::instance()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("Сохранить как"));
}

TEST_F(MainWindowTest, TheJournalWindowShowsTheJournalTheSettingsNameAndFiltersIt) {
    const QString path = folder.Path(QStringLiteral("журнал.csv"));
    store.WriteString(kSectionSettings, kValueJournalFile, path.toStdString());
    for (const int port : {5, 6, 5}) {
        JournalRecord record;
        record.started = QDateTime::currentDateTime();
        record.portNumber = port;
        ASSERT_EQ(AppendJournalRecord(path, record), QString());
    }
    ASSERT_TRUE(test::InModal([this] { window->OnCommand(ID_SERVICE_JOURNAL); },
                              [](QDialog& dialog) {
                                  auto& journal = static_cast<CJournalDlg&>(dialog);
                                  EXPECT_EQ(journal.VisibleRows(), 3);
                                  QTest::keyClicks(Child<QLineEdit>(dialog, "journal_filter"), "com6");
                                  EXPECT_EQ(journal.VisibleRows(), 1);
                                  EXPECT_TRUE(Child<QLabel>(dialog, "journal_place")->text().endsWith("журнал.csv"));
                                  dialog.reject();
                              }));
}

}  // namespace
}  // namespace bramis
