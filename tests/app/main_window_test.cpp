// The main window with its About box and help: its keys, the file commands
// that refuse or load a file, the settings read at start, the recent files
// left behind, and where the help page is found.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
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

TEST_F(MainWindowTest, TheAboutBoxFromTheMenuFitsItsDescriptionAndClosesOnEsc) {
    window->show();
    auto* about = window->findChild<QAction*>(QStringLiteral("menu_%1").arg(ID_HELP_ABOUT));
    ASSERT_TRUE(test::InModal([&] { about->trigger(); }, [](QDialog& box) {
        const auto* description = Child<QLabel>(box, "description");
        EXPECT_LE(description->heightForWidth(description->width()), description->height());
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_FALSE(box.isVisible());
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
