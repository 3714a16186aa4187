// The help page: where it is looked for, how it is opened, and that it
// explains every message the program can show.
#include "app/help_page.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "app/app_texts.h"
#include "app/main_dlg.h"
#include "app/resource_ids.h"
#include "gui_test_support.h"
#include "image/image_file.h"
#include "image/memory_profile_store.h"
#include "job/transfer_worker.h"

namespace bramis {
namespace {

bool Touch(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("<html></html>") > 0;
}

TEST(HelpPage, FoundInTheFirstFolderThatHoldsIt) {
    QTemporaryDir besideProgram;
    QTemporaryDir sources;
    const QStringList folders{besideProgram.path(), sources.path()};
    EXPECT_TRUE(FindHelpPage(folders).isEmpty());
    ASSERT_TRUE(Touch(sources.filePath(kHelpFileName)));
    EXPECT_EQ(FindHelpPage(folders), QDir(sources.path()).absoluteFilePath(kHelpFileName));
    ASSERT_TRUE(Touch(besideProgram.filePath(kHelpFileName)));
    EXPECT_EQ(FindHelpPage(folders), QDir(besideProgram.path()).absoluteFilePath(kHelpFileName));
    // A folder of that name is no page.
    QTemporaryDir other;
    ASSERT_TRUE(QDir(other.path()).mkdir(kHelpFileName));
    EXPECT_TRUE(FindHelpPage({other.path()}).isEmpty());
}

TEST(HelpPage, FoundInTheInstalledDataFolderBesideTheProgramsFolder) {
    // The installed layout: <prefix>/bin/bramis-programmer, <prefix>/share/bramis/<page>.
    QTemporaryDir prefix;
    QDir root(prefix.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/bramis")));
    const QString bin = root.filePath(QStringLiteral("bin"));
    // (Until it is there, the build's own res/ folder may answer.)
    EXPECT_FALSE(FindHelpPage(HelpPageFolders(bin)).startsWith(root.absolutePath()));
    ASSERT_TRUE(Touch(root.filePath(QStringLiteral("share/bramis/") + kHelpFileName)));
    EXPECT_EQ(FindHelpPage(HelpPageFolders(bin)), root.absoluteFilePath(QStringLiteral("share/bramis/") + kHelpFileName));
    // A page beside the program still comes first.
    ASSERT_TRUE(Touch(QDir(bin).filePath(kHelpFileName)));
    EXPECT_EQ(FindHelpPage(HelpPageFolders(bin)), QDir(bin).absoluteFilePath(kHelpFileName));
}

TEST(HelpPage, TheHelpCommandOpensTheShippedPageWhichExplainsEveryMessage) {
    test::Watchdog watchdog;
    test::MessageRecorder recorder;
    QList<QUrl> opened;
    SetUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    MemoryProfileStore store;
    {
        CMainDlg window(store, {}, [] { return std::string(); });
        window.OnCommand(ID_HELP_TOPICS);
        ASSERT_EQ(opened.size(), 1);
        EXPECT_TRUE(recorder.messages.empty());
        EXPECT_TRUE(opened[0].isLocalFile());
        EXPECT_EQ(QFileInfo(opened[0].toLocalFile()).fileName(), QString::fromLatin1(kHelpFileName));

        // A browser that cannot be started is reported.
        SetUrlOpener([](const QUrl&) { return false; });
        window.OnCommand(ID_HELP_TOPICS);
        ASSERT_EQ(recorder.messages.size(), 1u);
        EXPECT_EQ(recorder.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_TRUE(recorder.messages[0].text.startsWith(QStringLiteral("Не могу открыть файл справки")));
    }
    SetUrlOpener({});

    QFile page(opened[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QStringList messages{texts::FileLoaded(), texts::WriteSucceeded(), texts::ReadSucceeded(),
                         QString::fromUtf8(kMsgCannotOpenPort), QString::fromUtf8(kMsgEraseError),
                         QString::fromUtf8(kMsgWriteError),     QString::fromUtf8(kMsgReadError),
                         QString::fromUtf8(kStageEnteringProgramming)};
    for (const ImageFileStatus status : {ImageFileStatus::CannotOpen, ImageFileStatus::WrongLength,
                                         ImageFileStatus::ReadFailed, ImageFileStatus::CannotCreate,
                                         ImageFileStatus::WriteFailed})
        messages << QString::fromUtf8(ImageFileMessage(status));
    for (const QString& message : messages) EXPECT_TRUE(html.contains(message)) << message.toStdString();
}

}  // namespace
}  // namespace bramis
