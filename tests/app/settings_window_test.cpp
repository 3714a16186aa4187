// The settings window through the main window's menu command, with the port
// list under the test's control: the order and data of the port items, what
// OK stores and what Cancel leaves alone, the binding of a
// number to an adapter's stable name, the port the next job opens, and the
// search for the device over emulators on virtual lines on the virtual clock.
#include "app/settings_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <map>
#include <string_view>
#include <thread>

#include "app/resource_ids.h"
#include "gui_test_support.h"
#include "link/bootloader.h"

namespace bramis {
namespace {

using test::Child;

class SettingsWindowTest : public test::MainWindowTest {
protected:
    // Runs the menu command with `inside` acting in the window it opens.
    bool OpenSettings(const std::function<void(QDialog&)>& inside) {
        return test::InModal(
            [this] { window->findChild<QAction*>(QStringLiteral("menu_%1").arg(ID_SERVICE_SETTINGS))->trigger(); },
            inside);
    }
    static QComboBox* PortList(QDialog& dialog) { return Child<QComboBox>(dialog, "IDC_PORT_NUMBER"); }
    static void Choose(QDialog& dialog, const QString& text) {
        PortList(dialog)->setCurrentIndex(PortList(dialog)->findText(text));
    }
    static void Ok(QDialog& dialog) { Child<QPushButton>(dialog, "IDOK")->click(); }
    // The port list as the user sees it: "text=data (tooltip)" per item.
    static QStringList Items(QDialog& dialog) {
        const QComboBox* list = PortList(dialog);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << QStringLiteral("%1=%2 (%3)").arg(list->itemText(i), list->itemData(i).toString(),
                                                      list->itemData(i, Qt::ToolTipRole).toString());
        return items;
    }
};

TEST_F(SettingsWindowTest, ListsThePortsInTextOrderAndKeepsTheChosenOneWhenItIsNotPluggedIn) {
    store.WriteInt(kSectionSettings, kValuePortNumber, 2);
    Restart();
    ports = {{2, "/dev/ttyS1"},
             {1, "/dev/ttyS0"},
             {.number = 10,
              .device = "/dev/ttyS9",
              .description = "FT232R USB UART (A50285BI)",
              .stablePath = "/dev/by-id",
              .location = "Port_#0002.Hub_#0001"}};
    ASSERT_TRUE(OpenSettings([this](QDialog& dialog) {
        EXPECT_EQ(Items(dialog), (QStringList{"COM1=1 (/dev/ttyS0)", "COM10 — FT232R USB UART (A50285BI)=10 "
                                              "(/dev/ttyS9\n/dev/by-id\nгнездо 2, концентратор 1)",
                                              "COM2=2 (/dev/ttyS1)"}));
        EXPECT_EQ(PortList(dialog)->toolTip(), QStringLiteral("COM2\n/dev/ttyS1"));
        // The closed list has room for its longest item, within the window.
        const QComboBox* list = PortList(dialog);
        EXPECT_GE(list->width(), list->fontMetrics().horizontalAdvance(QStringLiteral("COM10 — FT232R USB UART (A50285BI)")));
        EXPECT_LE(list->geometry().right(), dialog.width());
        // Unplugged while the window is open: the choice stays, as not plugged
        // in; a port chosen by the user stays chosen across a refresh.
        ports = {{1, "/dev/ttyS0"}, {3, "/dev/ttyS2"}};
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM2 (не подключён)"));
        Choose(dialog, "COM3");
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM3"));
    }));
    // Found afresh at each opening; port 2 has gone and OK keeps it.
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        EXPECT_EQ(Items(dialog), (QStringList{"COM1=1 (/dev/ttyS0)", "COM2 (не подключён)=2 ()", "COM3=3 (/dev/ttyS2)"}));
        Ok(dialog);
    }));
    EXPECT_EQ(window->PortNumber(), 2);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), 2);
}

TEST_F(SettingsWindowTest, CancelEscAndCloseChangeNothingOkTakesThePortAtOnceAndTheAutoloadSwitchAtTheNextStart) {
    // A stored switch other than 0 or 1 ticks the box.
    store.WriteInt(kSectionSettings, kValuePortNumber, 12);
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 5);
    Restart();
    const QString program = folder.Write("program.dat", kImageSize, 4);
    ASSERT_EQ(window->LoadImageFile(program, false), IDOK);
    ports = {{1, "/dev/ttyS0"}, {3, "/dev/ttyS2"}, {12, "/dev/ttyS11"}};
    const auto before = store.Values();
    const std::vector<std::function<void(QDialog&)>> closings{
        [](QDialog& dialog) { Child<QPushButton>(dialog, "IDCANCEL")->click(); },
        [](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
        Ok,
    };
    for (std::size_t i = 0; i < closings.size(); ++i) {
        const bool ok = i + 1 == closings.size();
        ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
            Choose(dialog, "COM3");
            EXPECT_TRUE(Child<QCheckBox>(dialog, "IDC_PROGRAM_AUTOLOAD")->isChecked());
            // On the box itself: a check box without text takes clicks nowhere else.
            for (const char* name : {"IDC_END_SOUND", "IDC_VERIFY_AFTER_WRITE"}) {
                auto* check = Child<QCheckBox>(dialog, name);
                EXPECT_EQ(check->isChecked(), name == std::string_view("IDC_END_SOUND"));  // sound on, verify off
                QStyleOptionButton box;
                box.initFrom(check);
                QTest::mouseClick(check, Qt::LeftButton, {},
                                  check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &box).center());
            }
            closings[i](dialog);
            EXPECT_EQ(dialog.result(), ok ? IDOK : IDCANCEL);
        }));
        if (ok) break;
        EXPECT_EQ(window->PortNumber(), 12);
        EXPECT_EQ(store.Values(), before);
    }
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), 3);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueEndSound, 1), 0);
    // The very next job opens COM3, and its write is read back.
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа записана и проверена")});
    EXPECT_EQ(cable->LastPortNumber(), 3u);

    // The switch is read at start: the next window loads the program by
    // itself, and its settings window opens with all as stored.
    Restart();
    EXPECT_EQ(Box()->currentText(), program);
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        for (const char* name : {"IDC_PROGRAM_AUTOLOAD", "IDC_END_SOUND", "IDC_VERIFY_AFTER_WRITE"})
            EXPECT_EQ(Child<QCheckBox>(dialog, name)->isChecked(), name != std::string_view("IDC_END_SOUND")) << name;
    }));
}

TEST_F(SettingsWindowTest, OkBindsTheNumberToTheAdapterOrItsUsbSocketOrEndsTheBinding) {
    const std::string byIdA = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A-if00-port0";
    const std::string byIdB = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B-if00-port0", byIdC = "/dev/serial/by-id/1a86";
    const std::string socketB = "/dev/by-path/usb-0:2", socketC = "/dev/by-path/usb-0:3", socketD = "/dev/by-path/usb-0:4";
    // COM5 is bound to adapter B already, spelt by hand in lower case; COM7 to
    // socket 3, whatever adapter is in it; COM40's adapter has no by-id name.
    ports = {{1, "/dev/ttyS0"},
             {5, byIdB, "FT232R USB UART (B)", byIdB, socketB},
             {7, socketC, "USB Serial", byIdC, socketC},
             {33, "/dev/ttyUSB0", "FT232R USB UART (A)", byIdA},
             {40, "/dev/ttyUSB1", "USB2.0-Serial", "", socketD}};
    const std::map<int, std::string> bound{{5, byIdB}, {7, socketC}};
    const QString toAdapter = "Закрепить номер за этим переходником", toSocket = "Закрепить номер за этим USB-гнездом";
    const struct {
        const char* port;
        bool enabled, ticked, tick;  // as the box shows up; as the user leaves it before OK
        QString shows, choose;       // what it binds to as it shows up; what the user binds to, unless empty
        std::map<int, std::string> overrides;  // afterwards
    } cases[] = {
        {"COM1", false, false, false, toAdapter, {}, bound},  // no stable name: nothing to bind
        {"COM33 — FT232R USB UART (A)", true, false, true, toAdapter, {}, {{5, byIdB}, {7, socketC}, {33, byIdA}}},
        {"COM5 — FT232R USB UART (B)", true, true, true, toAdapter, {}, bound},
        {"COM5 — FT232R USB UART (B)", true, true, false, toAdapter, {}, {{7, socketC}}},  // every spelling goes
        {"COM7 — USB Serial", true, true, true, toSocket, toAdapter, {{5, byIdB}, {7, byIdC}}},
        {"COM40 — USB2.0-Serial", true, false, true, toSocket, {}, {{5, byIdB}, {7, socketC}, {40, socketD}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        for (const std::string& name : store.ValueNames(kSectionPorts)) store.Remove(kSectionPorts, name);
        store.WriteString(kSectionPorts, "com5", byIdB);
        store.WriteString(kSectionPorts, "COM7", socketC);
        ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
            Choose(dialog, QString::fromUtf8(c.port));
            auto* bind = Child<QCheckBox>(dialog, "IDC_BIND_PORT");
            auto* target = Child<QComboBox>(dialog, "IDC_BIND_TARGET");
            EXPECT_EQ(std::make_tuple(bind->isEnabled(), bind->isChecked(), target->currentText()),
                      std::make_tuple(c.enabled, c.ticked, c.shows));
            bind->setChecked(c.tick);
            if (!c.choose.isEmpty()) target->setCurrentIndex(target->findText(c.choose));
            static_cast<CSettingsDlg&>(dialog).RefreshPorts();  // ports came or went: the choice stays
            Ok(dialog);
        }));
        EXPECT_EQ(ReadPortOverrides(store), c.overrides);
        EXPECT_EQ(store.ValueNames(kSectionPorts).size(), c.overrides.size());
    }
}

TEST_F(SettingsWindowTest, FindSelectsThePortWhoseDeviceAnswersAndStopsWhenCancelledOrClosed) {
    // COM2 is silent, COM4 answers.
    devsim::DeviceConfig silent;
    silent.faults = devsim::FaultPlan({{.kind = devsim::FaultKind::Silent, .command = CMD_ENTER_PROG}}, std::nullopt);
    std::map<int, devsim::Device> devices;
    devices.try_emplace(2, silent);
    devices.try_emplace(4);
    std::map<int, VirtualPort> cables;
    for (auto& [number, emulated] : devices) cables.try_emplace(number, emulated);
    // A stopped search is held on its first port until it is cancelled.
    std::atomic<bool> hold{false}, searching{false};
    CSettingsDlg settings([this] { return ports; }, window.get());
    settings.SetDeviceFinder([&](const std::vector<FoundPort>& tried, const std::atomic<bool>& cancel,
                                 const std::function<void(std::size_t)>& progress) {
        searching = true;
        const FindResult result = FindDevice(
            tried, cancel,
            [&](std::size_t index) {
                progress(index);
                while (hold && !cancel) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            },
            [&](const FoundPort& port) { return cables.at(port.number).Opener(); });
        searching = false;
        return result;
    });
    auto* find = Child<QPushButton>(settings, "IDC_FIND_DEVICE");
    const auto* note = Child<QLabel>(settings, "find_note");
    const auto noteSays = [&](const QString& text) { return QTest::qWaitFor([&] { return note->text() == text; }); };

    enum Stop { None, ByButton, ByClosing };
    const struct {
        std::vector<FoundPort> ports;
        Stop stop;
        QString note, chosen;
    } cases[] = {
        {{{2, "/dev/ttyUSB0"}, {4, "/dev/ttyUSB2"}}, None, "Прибор ответил на COM4", "COM4"},
        {{{2, "/dev/ttyUSB0"}}, None, "Прибор не найден: ни один порт не ответил", "COM2"},
        {{{2, "/dev/ttyUSB0"}, {4, "/dev/ttyUSB2"}}, ByButton, "Поиск остановлен", "COM2"},
        {{{2, "/dev/ttyUSB0"}, {4, "/dev/ttyUSB2"}}, ByClosing, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.note.toStdString());
        ports = c.ports;
        hold = c.stop != None;
        settings.m_nPortNumber = 2;
        ASSERT_TRUE(test::InModal([&] { settings.DoModal(); }, [&](QDialog& dialog) {
            find->click();
            if (c.stop != None) {
                ASSERT_TRUE(noteSays(QStringLiteral("Опрос COM2…")));
                EXPECT_EQ(find->text(), QStringLiteral("Остановить"));
                EXPECT_FALSE(Child<QPushButton>(dialog, "IDC_CHECK_PORT")->isEnabled());
                if (c.stop == ByClosing) {
                    dialog.close();  // returns once the search has ended
                    EXPECT_FALSE(searching);
                    return;
                }
                find->click();
            }
            EXPECT_TRUE(noteSays(c.note));
            EXPECT_EQ(find->text(), QStringLiteral("Найти прибор"));
            EXPECT_EQ(PortList(dialog)->currentText(), c.chosen);
        }));
        EXPECT_FALSE(searching);
        for (auto& [number, emulated] : devices) {
            EXPECT_EQ(emulated.CurrentMode(), devsim::Mode::Working) << number;
            EXPECT_FALSE(cables.at(number).IsOpen()) << number;
        }
    }
    // Only the search that found it asked COM4; only the one that found none said so.
    EXPECT_EQ(devices.at(4).RequestCount(CMD_ENTER_PROG), 1);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Прибор не найден: ни один порт не ответил")});
}

// The check of the chosen port runs beside the window's loop: an answering
// device is all clear, a silent one a problem; a window closed mid-check
// waits for it, and its late end changes nothing.
TEST_F(SettingsWindowTest, CheckListsWhatStandsInTheWayOfTheChosenPortWithoutHoldingTheWindow) {
    const QString node = folder.Path(QStringLiteral("device"));
    ASSERT_TRUE(QFile(node).open(QIODevice::WriteOnly));  // a file stands in for the device node
    ports = {{5, node.toStdString()}};
    store.WriteInt(kSectionSettings, kValuePortNumber, 5);
    Restart();
    std::atomic<bool> slow{false};
    std::atomic<int> opened{0};
    window->Channel().SetPortOpener([&](unsigned number) {
        ++opened;
        if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return cable->Opener()(number);
    });
    // The list's lines, "!" before each marked as a problem.
    const auto lines = [](const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            const QListWidgetItem* item = list->item(i);
            texts << (item->data(Qt::UserRole).toBool() ? "!" : "") + item->text();
            EXPECT_FALSE(item->icon().isNull()) << item->text().toStdString();
        }
        return texts;
    };
    ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
        auto* check = Child<QPushButton>(dialog, "IDC_CHECK_PORT");
        const auto* list = Child<QListWidget>(dialog, "check_results");
        EXPECT_TRUE(list->isHidden());
        for (const bool silent : {false, true}) {
            if (silent) Connect({{.kind = devsim::FaultKind::Silent}});
            check->click();
            EXPECT_FALSE(check->isEnabled());
            EXPECT_FALSE(Child<QPushButton>(dialog, "IDC_FIND_DEVICE")->isEnabled());
            ASSERT_TRUE(QTest::qWaitFor([&] { return check->isEnabled(); }));
            const QStringList found = lines(list);
            EXPECT_EQ(found.contains(QStringLiteral("прибор ответил и возвращён в рабочий режим")), !silent) << found.join('|').toStdString();
            EXPECT_EQ(found.contains(QStringLiteral("!прибор не ответил\nЧто делать: проверьте питание прибора, "
                                                    "кабель и номер порта")),
                      silent);
            EXPECT_EQ(found.back(),
                      silent ? QStringLiteral("!COM5: Найдено проблем: 1") : QStringLiteral("COM5: Ничего не мешает"));
            EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
        }
        EXPECT_LT(list->geometry().bottom(), Child<QPushButton>(dialog, "IDOK")->y());
        EXPECT_LE(list->geometry().right(), dialog.width());
    }));
    slow = true;
    const int before = opened;
    ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
        Child<QPushButton>(dialog, "IDC_CHECK_PORT")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return opened > before; }));
        dialog.close();  // returns once the check has ended
    }));
    QTest::qWait(50);  // its end, queued to the window that has gone
    EXPECT_FALSE(cable->IsOpen());
}

}  // namespace
}  // namespace bramis
