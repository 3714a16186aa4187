// The settings window through the main window's menu command, with the port
// list under the test's control: layout and texts, the order and data of the
// port items, what OK stores and what Cancel leaves alone, the binding of a
// number to an adapter's stable name, the port the next job opens, and the
// search for the device over emulators on virtual lines on the virtual clock.
#include "app/settings_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

#include <map>
#include <string_view>

#include "app/dialog_units.h"
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
    static QCheckBox* Autoload(QDialog& dialog) { return Child<QCheckBox>(dialog, "IDC_PROGRAM_AUTOLOAD"); }
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

TEST_F(SettingsWindowTest, LabelsShowWholeAndAHiddenBindingRowMovesTheRowsBelowIt) {
    ports = {{33, "/dev/ttyUSB0", "FT232R USB UART (A50285BI)", "/dev/serial/by-id/usb-FTDI_A50285BI"}};
    ASSERT_TRUE(OpenSettings([this](QDialog& dialog) {
        // The window is as much wider than its layout as the font needs to
        // show every label whole beside its control; the buttons stay centred.
        const QSize templateSize = MapDialogSize(BaseUnitsOf(dialog.font()), 223, 124);
        EXPECT_GE(dialog.width(), templateSize.width());
        EXPECT_EQ(dialog.height(), templateSize.height());
        EXPECT_NEAR(Child(dialog, "IDOK")->x(), dialog.width() - Child(dialog, "IDCANCEL")->geometry().right(), 2);
        // "СОМ" in the port label is Cyrillic, not the Latin look-alikes.
        const std::tuple<const char*, QString, const char*> labels[] = {
            {"port_label", QString::fromUtf16(u"Номер \u0421\u041E\u041C порта для связи с прибором"),
             "IDC_PORT_NUMBER"},
            {"autoload_label", QStringLiteral("Запоминать имя файла последней программы"), "IDC_PROGRAM_AUTOLOAD"},
            {"end_sound_label", QStringLiteral("Звуковой сигнал по окончании"), "IDC_END_SOUND"},
            {"verify_label", QStringLiteral("Проверять запись чтением"), "IDC_VERIFY_AFTER_WRITE"},
            {"bind_port_label", QStringLiteral("Закрепить номер за этим переходником"), "IDC_BIND_PORT"}};
        for (const auto& [name, text, control] : labels) {
            const auto* label = Child<QLabel>(dialog, name);
            EXPECT_EQ(label->text(), text);
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(text)) << name;
            EXPECT_LE(label->geometry().right(), Child(dialog, control)->x()) << name;
        }
        // The search tells what it does before it is started.
        EXPECT_EQ(Child<QLabel>(dialog, "find_note")->text(),
                  QStringLiteral("Посылает запрос входа в программирование на каждый порт"));

        // Without a port that has a stable name (always so on Windows) the
        // binding row goes and the rows below take its place.
        const int okTop = Child(dialog, "IDOK")->y();
        ports = {{1, "/dev/ttyS0"}};
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_TRUE(Child(dialog, "IDC_BIND_PORT")->isHidden());
        EXPECT_TRUE(Child(dialog, "bind_port_label")->isHidden());
        const int rowHeight = okTop - Child(dialog, "IDOK")->y();
        EXPECT_EQ(Child(dialog, "IDC_FIND_DEVICE")->y(), Child(dialog, "IDC_BIND_PORT")->y());
        EXPECT_EQ(dialog.height(), templateSize.height() - rowHeight);
        EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    }));
}

TEST_F(SettingsWindowTest, ListsThePortsInTextOrderAndKeepsTheChosenOneWhenItIsNotPluggedIn) {
    // Nothing stored: the main window's 99, which is not found, stays chosen.
    ports = {{2, "/dev/ttyS1"}, {1, "/dev/ttyS0"}, {10, "/dev/ttyS9", "FT232R USB UART (A50285BI)", "/dev/by-id"}};
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        EXPECT_EQ(Items(dialog), (QStringList{"COM1=1 (/dev/ttyS0)", "COM10 — FT232R USB UART (A50285BI)=10 "
                                              "(/dev/ttyS9\n/dev/by-id)",
                                              "COM2=2 (/dev/ttyS1)", "COM99 (не подключён)=99 ()"}));
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM99 (не подключён)"));
        EXPECT_TRUE(PortList(dialog)->toolTip().isEmpty());
    }));
    // The stored port is selected, and the closed list names its device.
    store.WriteInt(kSectionSettings, kValuePortNumber, 2);
    Restart();
    ASSERT_TRUE(OpenSettings([this](QDialog& dialog) {
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM2"));
        EXPECT_EQ(PortList(dialog)->toolTip(), QStringLiteral("/dev/ttyS1"));
        // Unplugged while the window is open: the choice stays, as not plugged
        // in; plugged in again, it is the port found again.
        ports = {{1, "/dev/ttyS0"}, {3, "/dev/ttyS2"}};
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(Items(dialog), (QStringList{"COM1=1 (/dev/ttyS0)", "COM2 (не подключён)=2 ()", "COM3=3 (/dev/ttyS2)"}));
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM2 (не подключён)"));
        ports.push_back({2, "/dev/ttyUSB0"});
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM2"));
        EXPECT_EQ(PortList(dialog)->toolTip(), QStringLiteral("/dev/ttyUSB0"));
        // A port chosen by the user stays chosen across a refresh.
        Choose(dialog, "COM3");
        static_cast<CSettingsDlg&>(dialog).RefreshPorts();
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM3"));
    }));

    // Found afresh at each opening: nothing is left of the last list. A port
    // found twice shows twice; numbers outside 1..255 are shown as the system
    // named them, without a device. Port 2 has gone and OK keeps it.
    ports = {{3, "/dev/ttyS2"}, {-5, ""}, {300, ""}, {3, "/dev/ttyS2"}, {0, ""}};
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        EXPECT_EQ(Items(dialog), (QStringList{"COM-5=-5 ()", "COM0=0 ()", "COM2 (не подключён)=2 ()",
                                              "COM3=3 (/dev/ttyS2)", "COM3=3 (/dev/ttyS2)", "COM300=300 ()"}));
        EXPECT_FALSE(Autoload(dialog)->isChecked());  // off until turned on
        Ok(dialog);
    }));
    EXPECT_EQ(window->PortNumber(), 2);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), 2);

    // A stored number that is no COM port selects nothing; Enter is OK and
    // stores -1.
    ports.clear();
    store.WriteInt(kSectionSettings, kValuePortNumber, -1);
    Restart();
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        EXPECT_EQ(PortList(dialog)->currentIndex(), -1);
        QTest::keyClick(&dialog, Qt::Key_Return);
    }));
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), -1);
    EXPECT_TRUE(recorder.messages.empty());
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
        [](QDialog& dialog) { dialog.close(); },
        Ok,
    };
    for (std::size_t i = 0; i < closings.size(); ++i) {
        const bool ok = i + 1 == closings.size();
        ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
            Choose(dialog, "COM3");
            EXPECT_EQ(PortList(dialog)->toolTip(), QStringLiteral("/dev/ttyS2"));
            EXPECT_TRUE(Autoload(dialog)->isChecked());
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
            EXPECT_FALSE(dialog.isVisible());
            EXPECT_EQ(dialog.result(), ok ? IDOK : IDCANCEL);
        }));
        if (ok) break;
        EXPECT_EQ(window->PortNumber(), 12);
        EXPECT_EQ(store.Values(), before);
    }
    EXPECT_EQ(window->PortNumber(), 3);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), 3);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueProgramAutoload, 0), 1);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueEndSound, 1), 0);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueVerifyAfterWrite, 0), 1);

    // The very next job opens COM3, and its write is read back.
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа записана и проверена")});
    EXPECT_EQ(cable->LastPortNumber(), 3u);

    // The switch is read at start: the next window loads the program by
    // itself, and its settings window opens with all as stored.
    Restart();
    EXPECT_EQ(Box()->currentText(), program);
    ASSERT_TRUE(OpenSettings([](QDialog& dialog) {
        EXPECT_TRUE(Autoload(dialog)->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(dialog, "IDC_END_SOUND")->isChecked());
        EXPECT_TRUE(Child<QCheckBox>(dialog, "IDC_VERIFY_AFTER_WRITE")->isChecked());
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM3"));
    }));
}

TEST_F(SettingsWindowTest, OkBindsTheNumberToTheAdaptersStableNameOrEndsTheBinding) {
    const std::string byIdA = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A-if00-port0";
    const std::string byIdB = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_B-if00-port0";
    // COM5 is bound to adapter B already, spelt by hand in lower case.
    ports = {{1, "/dev/ttyS0"},
             {5, byIdB, "FT232R USB UART (B)", byIdB},
             {33, "/dev/ttyUSB0", "FT232R USB UART (A)", byIdA}};
    const std::map<int, std::string> bound{{5, byIdB}};
    const struct {
        const char* port;
        bool enabled, ticked;  // as the box shows up
        bool tick;             // as the user leaves it before OK
        std::map<int, std::string> overrides;  // afterwards
    } cases[] = {
        {"COM1", false, false, false, bound},  // no stable name: nothing to bind
        {"COM33 — FT232R USB UART (A)", true, false, true, {{5, byIdB}, {33, byIdA}}},
        {"COM5 — FT232R USB UART (B)", true, true, true, bound},
        {"COM5 — FT232R USB UART (B)", true, true, false, {}},  // every spelling goes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        for (const std::string& name : store.ValueNames(kSectionPorts)) store.Remove(kSectionPorts, name);
        store.WriteString(kSectionPorts, "com5", byIdB);
        ASSERT_TRUE(OpenSettings([&](QDialog& dialog) {
            Choose(dialog, QString::fromUtf8(c.port));
            auto* bind = Child<QCheckBox>(dialog, "IDC_BIND_PORT");
            EXPECT_FALSE(bind->isHidden());
            EXPECT_EQ(bind->isEnabled(), c.enabled);
            EXPECT_EQ(bind->isChecked(), c.ticked);
            bind->setChecked(c.tick);
            static_cast<CSettingsDlg&>(dialog).RefreshPorts();  // ports came or went: the tick stays
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

}  // namespace
}  // namespace bramis
