// The main window without a device: its layout, texts, menu and keys, the
// file commands, the settings it reads at start and the recent files it
// leaves behind.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <memory>

#include "app/app_texts.h"
#include "app/dialog_units.h"
#include "app/message_box.h"
#include "app/resource_ids.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"

namespace bramis {
namespace {

using test::ImageFolder;
using test::MessageRecorder;
using test::Watchdog;

// Choosers that hand out prepared answers and note the folder they were
// opened in.
struct ScriptedChoosers {
    QString openAnswer;
    QString saveAnswer;
    QStringList openFolders;
    QStringList saveFolders;

    FileChoosers Get() {
        return {[this](QWidget*, const QString& folder) {
                    openFolders << folder;
                    return openAnswer;
                },
                [this](QWidget*, const QString& folder) {
                    saveFolders << folder;
                    return saveAnswer;
                }};
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<CMainDlg> MakeWindow() {
        auto window = std::make_unique<CMainDlg>(store, choosers.Get(), [this] { return documents.toStdString(); });
        // No job may start in these tests; count the attempts.
        window->ProgressWindow().SetWorkerLauncher([this](std::function<void()>) {
            ++jobsStarted;
            return std::unique_ptr<QThread>();
        });
        return window;
    }

    static QComboBox* Box(CMainDlg& window) { return window.findChild<QComboBox*>("IDC_FILE_NAME"); }
    static QPushButton* Button(CMainDlg& window, const char* name) { return window.findChild<QPushButton*>(name); }

    Watchdog watchdog;
    MessageRecorder recorder;
    MemoryProfileStore store;
    ScriptedChoosers choosers;
    ImageFolder folder;
    QString documents = QStringLiteral("/home/someone/Documents");
    int jobsStarted = 0;
};

TEST_F(MainWindowTest, ShowsTheTemplateTextsIdsTabOrderAndMenu) {
    auto window = MakeWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Программатор Брамис"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    struct Expected {
        const char* name;
        int id;
        QString text;
        DluRect rect;
    };
    const Expected buttons[] = {
        {"IDC_EXIT", 1004, QStringLiteral("Выход"), {82, 93, 50, 14}},
        {"IDC_WRITE", 1000, QStringLiteral("Записать в прибор"), {7, 40, 89, 18}},
        {"IDC_BROWSE", 1002, QStringLiteral("..."), {208, 20, 15, 12}},
        {"IDC_READ", 1001, QStringLiteral("Прочитать из прибора"), {113, 40, 89, 18}},
    };
    const DialogBaseUnits units = BaseUnitsOf(window->font());
    const int menuHeight = window->findChild<QMenuBar*>("IDR_MAIN_MENU")->height();
    for (const Expected& expected : buttons) {
        QPushButton* button = Button(*window, expected.name);
        ASSERT_NE(button, nullptr) << expected.name;
        EXPECT_EQ(button->text(), expected.text);
        EXPECT_EQ(button->property(kControlIdProperty).toInt(), expected.id);
        EXPECT_EQ(button->geometry(), MapDialogRect(units, expected.rect).translated(0, menuHeight)) << expected.name;
    }
    EXPECT_TRUE(Button(*window, "IDC_EXIT")->isDefault());
    EXPECT_EQ(window->size(), MapDialogSize(units, 230, 114) + QSize(0, menuHeight));
    const auto* label = window->findChild<QLabel*>("file_name_label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Имя файла программы:"));
    QComboBox* box = Box(*window);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isEditable());
    EXPECT_EQ(box->property(kControlIdProperty).toInt(), 1003);
    EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);

    // Tab order: Выход, Записать, ..., the file-name box, Прочитать, and round.
    const QList<QWidget*> stops{Button(*window, "IDC_EXIT"), Button(*window, "IDC_WRITE"),
                                Button(*window, "IDC_BROWSE"), box, Button(*window, "IDC_READ")};
    QList<QWidget*> order;
    for (QWidget* w = stops[0]->nextInFocusChain(); order.size() < stops.size(); w = w->nextInFocusChain())
        if (stops.contains(w) && (w->focusPolicy() & Qt::TabFocus) && (order.isEmpty() || order.back() != w))
            order << w;
    EXPECT_EQ(order, (QList<QWidget*>{stops[1], stops[2], stops[3], stops[4], stops[0]}));
    window->show();
    EXPECT_EQ(window->focusWidget(), stops[0]);

    // The menu: titles, items with their mnemonics, separators and ids.
    const QList<QAction*> menus = window->findChild<QMenuBar*>("IDR_MAIN_MENU")->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("&Операции"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Серв&ис"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("&?"));
    const auto itemsOf = [](QAction* menu) {
        QStringList items;
        for (QAction* item : menu->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-")
                                          : QStringLiteral("%1=%2").arg(item->text()).arg(
                                                item->property(kControlIdProperty).toInt()));
        return items;
    };
    EXPECT_EQ(itemsOf(menus[0]), (QStringList{QStringLiteral("Выбрать &файл ...=32771"), "-",
                                              QStringLiteral("&Записать в прибор=32772"),
                                              QStringLiteral("&Прочитать из прибора=32773"), "-",
                                              QStringLiteral("В&ыход=32778")}));
    EXPECT_EQ(itemsOf(menus[1]), (QStringList{QStringLiteral("&Настройка=32774")}));
    EXPECT_EQ(itemsOf(menus[2]), (QStringList{QStringLiteral("Вызов &справки=32775"), "-",
                                              QStringLiteral("&О программе ...=32777")}));
}

TEST_F(MainWindowTest, EscDoesNothingEnterAndCloseEndLikeExit) {
    {
        auto window = MakeWindow();
        window->show();
        QTest::keyClick(window.get(), Qt::Key_Escape);
        EXPECT_TRUE(window->isVisible());
        // Right after start the focus is on Выход: Enter ends the program.
        QTest::keyClick(Button(*window, "IDC_EXIT"), Qt::Key_Return);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), IDOK);
    }
    {
        // Enter in the file-name box reaches the default button.
        auto window = MakeWindow();
        window->show();
        QComboBox* box = Box(*window);
        box->setFocus();
        box->setEditText(QStringLiteral("typed.dat"));
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), IDOK);
        EXPECT_EQ(box->count(), 0) << "Enter must not add the typed text as an item";
    }
    {
        // Enter on Записать в прибор starts a write, which finds no file.
        auto window = MakeWindow();
        window->show();
        QPushButton* write = Button(*window, "IDC_WRITE");
        write->setFocus();
        QTest::keyClick(write, Qt::Key_Return);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Не могу открыть файл")});
        // The close box (and Alt+F4, the same request) ends it like Exit.
        EXPECT_TRUE(window->close());
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), IDOK);
    }
    {
        // The menu's Выход ends it too.
        auto window = MakeWindow();
        window->show();
        window->OnCommand(ID_OP_EXIT);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(window->result(), IDOK);
    }
}

TEST_F(MainWindowTest, WriteRefusesAnEmptyBoxAndFilesOfTheWrongLength) {
    auto window = MakeWindow();
    window->OnCommand(IDC_WRITE);
    const QString shortFile = folder.Write("short.dat", kImageSize - 1);
    const QString longFile = folder.Write("long.dat", kImageSize + 1);
    Box(*window)->setEditText(shortFile);
    window->OnCommand(ID_OP_WRITE);
    Box(*window)->setEditText(longFile);
    window->OnCommand(IDC_WRITE);

    ASSERT_EQ(recorder.messages.size(), 3u);
    EXPECT_EQ(recorder.messages[0].text, QStringLiteral("Не могу открыть файл"));
    EXPECT_EQ(recorder.messages[1].text, QStringLiteral("Не верная длина файла"));
    EXPECT_EQ(recorder.messages[2].text, QStringLiteral("Не верная длина файла"));
    for (const auto& message : recorder.messages) {
        EXPECT_EQ(message.icon, MessageIcon::Exclamation);
        EXPECT_EQ(message.caption, ApplicationTitle());
        EXPECT_EQ(message.owner, window.get());
    }
    EXPECT_EQ(jobsStarted, 0);
    // A refused file is not remembered, and the box keeps what was typed.
    EXPECT_EQ(Box(*window)->count(), 0);
    EXPECT_EQ(Box(*window)->currentText(), longFile);
    EXPECT_EQ(store.GetString(kSectionInit, kValueProgramFilesDir, "-"), "-");
}

TEST_F(MainWindowTest, ChooseFileLoadsItStartingInTheFolderLastUsed) {
    auto window = MakeWindow();
    // Cancelled: nothing happens.
    window->OnCommand(IDC_BROWSE);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(choosers.openFolders, QStringList{documents});

    choosers.openAnswer = folder.Write("first.dat", kImageSize, 3);
    window->OnCommand(ID_OP_CHOOSE_FILE);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, QStringLiteral("Файл успешно прочитан"));
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(Box(*window)->currentText(), choosers.openAnswer);
    const std::vector<std::uint8_t> expected = test::TestPattern(kImageSize, 3);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), window->Files().Image().Bytes().begin()));

    // The next dialog opens in that file's folder.
    choosers.openAnswer = folder.Path("missing.dat");
    window->OnCommand(IDC_BROWSE);
    EXPECT_EQ(choosers.openFolders.back(), folder.Folder());
    EXPECT_EQ(recorder.messages.back().text, QStringLiteral("Не могу открыть файл"));
    // The failed load changed neither the box nor the image.
    EXPECT_EQ(Box(*window)->count(), 1);
    EXPECT_EQ(Box(*window)->currentText(), folder.Path("first.dat"));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), window->Files().Image().Bytes().begin()));
}

TEST_F(MainWindowTest, SettingsAtStartAndRecentFilesSurviveARestart) {
    const QString first = folder.Write("a.dat", kImageSize, 1);
    const QString second = folder.Write("b.dat", kImageSize, 2);
    {
        auto window = MakeWindow();
        EXPECT_EQ(window->PortNumber(), 99);
        EXPECT_EQ(window->LoadImageFile(first, true), IDOK);
        EXPECT_EQ(window->LoadImageFile(second, true), IDOK);
        EXPECT_EQ(window->LoadImageFile(first, true), IDOK);  // moves to the front, listed once
        // Nothing is written before the window goes.
        EXPECT_EQ(store.GetString(kSectionProgramFileList, "File1", "-"), "-");
    }
    EXPECT_EQ(store.GetString(kSectionProgramFileList, "File1", ""), first.toStdString());
    EXPECT_EQ(store.GetString(kSectionProgramFileList, "File2", ""), second.toStdString());

    store.WriteInt(kSectionSettings, kValuePortNumber, 7);
    {
        // Autoload off: the list is there, nothing is selected or loaded.
        auto window = MakeWindow();
        EXPECT_EQ(window->PortNumber(), 7);
        QComboBox* box = Box(*window);
        ASSERT_EQ(box->count(), 2);
        EXPECT_EQ(box->itemText(0), first);
        EXPECT_EQ(box->itemText(1), second);
        EXPECT_TRUE(box->currentText().isEmpty());
    }
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 1);
    {
        // Autoload on: slot 0 is loaded silently and shown.
        auto window = MakeWindow();
        EXPECT_EQ(Box(*window)->currentText(), first);
        const std::vector<std::uint8_t> expected = test::TestPattern(kImageSize, 1);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), window->Files().Image().Bytes().begin()));
    }
    ASSERT_TRUE(QFile::remove(first));
    {
        // Autoload of a file that has gone: no message, an empty box.
        auto window = MakeWindow();
        EXPECT_TRUE(Box(*window)->currentText().isEmpty());
        EXPECT_EQ(Box(*window)->count(), 2);
    }
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(MainWindowTest, AboutBoxFromTheMenuShowsIconTextsAndOk) {
    auto window = MakeWindow();
    window->show();
    bool inspected = false;
    test::WhenIdle([&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->objectName(), QStringLiteral("IDD_ABOUT"));
        EXPECT_EQ(about->windowTitle(), QStringLiteral("О программе"));
        EXPECT_FALSE(about->findChild<QLabel*>("IDI_MAIN")->pixmap().isNull());
        EXPECT_EQ(about->findChild<QLabel*>("version")->text(), QStringLiteral("Версия 1.3"));
        // The description fits its two lines in whatever font the box has.
        const auto* description = about->findChild<QLabel*>("description");
        EXPECT_FALSE(description->text().isEmpty());
        EXPECT_LE(description->heightForWidth(description->width()), description->height());
        auto* ok = about->findChild<QPushButton*>("IDOK");
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_TRUE(ok->isDefault());
        inspected = true;
        // Esc closes it.
        QTest::keyClick(about, Qt::Key_Escape);
    });
    window->OnCommand(ID_HELP_ABOUT);
    EXPECT_TRUE(inspected);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
}  // namespace bramis
