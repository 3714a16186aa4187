// The main window: its keys, the file commands that refuse or load a file,
// the settings read at start, the recent files left behind, the help command
// and the journal window. Where an installed program finds its help page is
// for scripts/package-test.sh.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimeZone>
#include <QTreeView>

#include <utility>

#include "app/file_choosers.h"
#include "app/help_page.h"
#include "app/journal_dlg.h"
#include "app/qt_translations.h"
#include "gui_test_support.h"

namespace bramis {
namespace {

using test::Child;
using test::MainWindowTest;

TEST_F(MainWindowTest, EscDoesNothingWhileEnterAndCloseEndLikeExit) {
    const std::vector<std::function<void()>> endings{
        [&] { QTest::keyClick(Child(*window, "IDC_EXIT"), Qt::Key_Return); },
        [&] { EXPECT_TRUE(window->close()); },  // the close box and Alt+F4
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
    window->OnCommand(IDC_WRITE);
    for (const std::size_t size : {kImageSize - 1, kImageSize + 1}) {
        Box()->setEditText(folder.Write("wrong.dat", size));
        window->OnCommand(ID_OP_WRITE);
    }
    // The message, and under it why.
    QStringList firstLines;
    for (const QString& text : recorder.Texts()) firstLines << text.section('\n', 0, 0);
    EXPECT_EQ(firstLines, (QStringList{"Не могу открыть файл", "Не верная длина файла", "Не верная длина файла"}));
    EXPECT_TRUE(recorder.messages[1].text.endsWith(QStringLiteral("188415 байт, нужно 188416")))
        << recorder.messages[1].text.toStdString();
    EXPECT_EQ(recorder.messages[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(recorder.messages[1].owner, window.get());
    EXPECT_EQ(cable->OpenCount(), 0);
    // A refused file is not remembered, and the box keeps what was typed.
    EXPECT_EQ(Box()->count(), 0);
    EXPECT_EQ(Box()->currentText(), folder.Path("wrong.dat"));
    EXPECT_EQ(store.GetString(kSectionInit, kValueProgramFilesDir, "-"), "-");
}

TEST_F(MainWindowTest, ChooseFileLoadsItStartingInTheFolderLastUsed) {
    window->OnCommand(IDC_BROWSE);  // cancelled: nothing happens
    EXPECT_TRUE(recorder.messages.empty());
    openAnswer = folder.Write("first.dat", kImageSize, 3);
    window->OnCommand(ID_OP_CHOOSE_FILE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Файл успешно прочитан")});
    EXPECT_EQ(Box()->currentText(), openAnswer);

    // The next dialog opens in that file's folder; a failed load changes
    // neither the box nor the image.
    openAnswer = folder.Path("missing.dat");
    window->OnCommand(IDC_BROWSE);
    EXPECT_EQ(openFolders, (QStringList{documents, documents, folder.Folder()}));
    EXPECT_TRUE(recorder.messages.back().text.startsWith(QStringLiteral("Не могу открыть файл\n")));
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
    EXPECT_EQ(QStringList({Box()->itemText(0), Box()->itemText(1), Box()->itemText(2)}),
              QStringList({first, second, QString()}));
    EXPECT_TRUE(Box()->currentText().isEmpty());

    // Autoload on: slot 0 is loaded silently and shown.
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 1);
    Restart();
    EXPECT_EQ(Box()->currentText(), first);
    EXPECT_TRUE(test::HoldsPattern(window->Files().Image().Bytes(), 1));

    // Autoload of a file that has gone: no message, an empty box, the list kept.
    ASSERT_TRUE(QFile::remove(first));
    Restart();
    EXPECT_TRUE(Box()->currentText().isEmpty());
    EXPECT_EQ(Box()->count(), 2);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, TheHelpCommandOpensTheShippedPageOrSaysWhyNot) {
    QUrl opened;
    SetUrlOpener([&](const QUrl& url) { return (opened = url).isLocalFile(); });
    window->OnCommand(ID_HELP_TOPICS);
    EXPECT_TRUE(QFile::exists(opened.toLocalFile()));
    SetUrlOpener([](const QUrl&) { return false; });
    window->OnCommand(ID_HELP_TOPICS);
    SetUrlOpener({});
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_TRUE(recorder.messages[0].text.startsWith(QStringLiteral("Не могу открыть файл справки")));
}

TEST(QtTranslations, QtsOwnDialogTextsAreRussianAndItsFileDialogReadable) {
    ASSERT_TRUE(LoadQtTranslations(*QCoreApplication::instance()));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("Сохранить как"));

#ifndef _WIN32
    // Qt's own dialog, as where the desktop has none (Windows has its own
    // dialog, and its file types come from the system): a folder and a program.
    const test::ImageFolder folder;
    folder.Write(QStringLiteral("bramis.dat"), kImageSize);
    ASSERT_TRUE(QDir(folder.Folder()).mkdir(QStringLiteral("Архив")));
    QFileDialog dialog(nullptr, QString(), folder.Folder());
    MakeFallbackDialogReadable(dialog);
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    const auto* details = Child<QTreeView>(dialog, "treeView");
    const QAbstractItemModel* files = details->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return files->rowCount(details->rootIndex()) == 2; }));
    QMap<QString, QStringList> rows;  // name: size, type, date
    for (int row = 0; row < 2; ++row) {
        const auto text = [&](int column) { return files->index(row, column, details->rootIndex()).data().toString(); };
        rows[text(0)] = QStringList{text(1), text(2), text(3)};
        for (int column = 1; column <= 3; ++column)
            EXPECT_GE(details->header()->sectionSize(column), details->fontMetrics().horizontalAdvance(text(column)));
    }
    EXPECT_EQ(rows[QStringLiteral("bramis.dat")][0], QStringLiteral("184 кБ"));
    EXPECT_EQ(rows[QStringLiteral("Архив")][1], QStringLiteral("Папка"));
    EXPECT_EQ(rows[QStringLiteral("Архив")][2],
              QLocale(QLocale::Russian).toString(QFileInfo(folder.Path("Архив")).lastModified(), QLocale::ShortFormat));
#endif
}

#ifdef _WIN32
constexpr bool kZoneFollowsTz = false;
#else
constexpr bool kZoneFollowsTz = true;
#endif

TEST_F(MainWindowTest, TheJournalWindowShowsTheJournalTheSettingsNameInLocalTimeAndFiltersIt) {
    // The PC's clock is on Moscow time (as the tests' main sets it); the
    // records were written in other zones.
    const QString path = folder.Path(QStringLiteral("журнал.csv"));
    store.WriteString(kSectionSettings, kValueJournalFile, path.toStdString());
    const QDateTime utc(QDate(2026, 12, 9), QTime(4, 56, 42), Qt::UTC);
    const std::pair<int, QDateTime> written[] = {
        {5, utc.toTimeZone(QTimeZone("Asia/Vladivostok"))},
        {6, utc.addSecs(-3600)},
        {5, utc.addSecs(60).toOffsetFromUtc(3 * 3600)},
    };
    for (const auto& [port, started] : written) {
        JournalRecord record;
        record.started = started;
        record.portNumber = port;
        ASSERT_EQ(AppendJournalRecord(path, record), QString());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("вчера" + QByteArray(kColumnCount - 1, ';') + "\r\n");
    file.close();
    SetUrlOpener([](const QUrl&) { return false; });  // a desktop without a file manager
    ASSERT_TRUE(test::InModal([this] { window->OnCommand(ID_SERVICE_JOURNAL); }, [&](QDialog& dialog) {
        auto& journal = static_cast<CJournalDlg&>(dialog);
        auto* table = Child<QTableView>(dialog, "journal_table");
        const auto starts = [table] {
            QStringList texts;
            for (int row = 0; row < table->model()->rowCount(); ++row)
                texts << table->model()->index(row, kColumnStarted).data().toString();
            return texts;
        };
        // Newest first, by the time itself; the one that cannot be read last
        // either way, as written. (Wine keeps the host's zone whatever TZ says:
        // the local time is the system's.)
        const auto local = [&utc](int seconds) {
            return utc.addSecs(seconds).toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        };
        if (kZoneFollowsTz) {
            EXPECT_EQ(local(60), QStringLiteral("09.12.2026 07:57:42"));
        }
        EXPECT_EQ(starts(), (QStringList{local(60), local(0), local(-3600), "вчера"}));
        table->sortByColumn(kColumnStarted, Qt::AscendingOrder);
        EXPECT_EQ(starts(), (QStringList{local(-3600), local(0), local(60), "вчера"}));
        QTest::keyClicks(Child<QLineEdit>(dialog, "journal_filter"), "com6");
        EXPECT_EQ(journal.VisibleRows(), 1);
        EXPECT_TRUE(Child<QLabel>(dialog, "journal_place")->text().endsWith("журнал.csv"));
        Child<QPushButton>(dialog, "journal_open_folder")->click();
        EXPECT_EQ(recorder.Texts(), QStringList{"Не могу открыть папку журнала " + folder.Folder()});
    }));
    SetUrlOpener({});
}

}  // namespace
}  // namespace bramis
