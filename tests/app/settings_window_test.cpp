// The settings window through the main window's menu command, with the port
// list under the test's control: layout and texts, the order and data of the
// port items, what OK stores and what Cancel leaves alone, and the port the
// next job opens, against the emulator on the virtual clock.
#include "app/settings_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <memory>

#include "app/dialog_units.h"
#include "app/main_dlg.h"
#include "app/resource_ids.h"
#include "devsim/device.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis {
namespace {

using test::Watchdog;

// The port list as the user sees it: item text, item data and tooltip.
struct Item {
    QString text;
    int data = 0;
    QString device;
    bool operator==(const Item&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Item& item) {
    return out << item.text.toStdString() << '=' << item.data << " (" << item.device.toStdString() << ')';
}

std::vector<Item> ItemsOf(QComboBox* box) {
    std::vector<Item> items;
    for (int i = 0; i < box->count(); ++i)
        items.push_back({box->itemText(i), box->itemData(i).toInt(), box->itemData(i, Qt::ToolTipRole).toString()});
    return items;
}

class SettingsWindowTest : public ::testing::Test {
protected:
    // A new main window on the store, as at a start of the program; its
    // settings window finds `ports`.
    void Restart() {
        window.reset();
        window = std::make_unique<CMainDlg>(store, FileChoosers{}, [] { return std::string(); });
        window->SetPortDiscovery([this] {
            ++discoveries;
            return ports;
        });
    }
    void SetUp() override { Restart(); }
    void TearDown() override { SetPortOpener({}); }

    // Runs the menu command; `inside` acts in the open window, which is then
    // closed with Cancel unless `inside` closed it. Returns whether it opened.
    bool OpenSettings(const std::function<void(CSettingsDlg&)>& inside) {
        bool opened = false;
        test::WhenIdle([&] {
            auto* dialog = qobject_cast<CSettingsDlg*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            opened = true;
            inside(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        window->findChild<QAction*>(QStringLiteral("menu_%1").arg(ID_SERVICE_SETTINGS))->trigger();
        return opened;
    }

    static QComboBox* PortList(CSettingsDlg& dialog) { return dialog.findChild<QComboBox*>("IDC_PORT_NUMBER"); }
    static QCheckBox* Autoload(CSettingsDlg& dialog) { return dialog.findChild<QCheckBox*>("IDC_PROGRAM_AUTOLOAD"); }
    static void Choose(CSettingsDlg& dialog, const QString& text) {
        QComboBox* list = PortList(dialog);
        const int index = list->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list->setCurrentIndex(index);
    }
    static void Ok(CSettingsDlg& dialog) { dialog.findChild<QPushButton*>("IDOK")->click(); }

    Watchdog watchdog;
    test::MessageRecorder recorder;
    MemoryProfileStore store;
    std::unique_ptr<CMainDlg> window;
    std::vector<FoundPort> ports;
    int discoveries = 0;
};

TEST_F(SettingsWindowTest, ShowsTheTemplateTextsLayoutAndTabOrder) {
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Настройка"));
        EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        const DialogBaseUnits units = BaseUnitsOf(dialog.font());
        const QSize templateSize = MapDialogSize(units, 223, 70);
        EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());

        auto* portLabel = dialog.findChild<QLabel*>("port_label");
        auto* autoloadLabel = dialog.findChild<QLabel*>("autoload_label");
        EXPECT_EQ(portLabel->text(), QStringLiteral("Номер СОМ порта для связи с прибором"));
        // С, О and М of "СОМ" are Cyrillic, not the Latin look-alikes.
        EXPECT_EQ(portLabel->text().mid(6, 3), QString::fromUtf16(u"\u0421\u041E\u041C"));
        EXPECT_EQ(autoloadLabel->text(), QStringLiteral("Запоминать имя файла последней программы"));
        auto* ok = dialog.findChild<QPushButton*>("IDOK");
        auto* cancel = dialog.findChild<QPushButton*>("IDCANCEL");
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        EXPECT_EQ(cancel->text(), QStringLiteral("Отмена"));
        EXPECT_TRUE(ok->isDefault());
        QCheckBox* check = Autoload(dialog);
        EXPECT_TRUE(check->text().isEmpty());
        EXPECT_EQ(check->property(kControlIdProperty).toInt(), 1052);
        QComboBox* list = PortList(dialog);
        EXPECT_EQ(list->property(kControlIdProperty).toInt(), 1053);
        EXPECT_FALSE(list->isEditable());
        EXPECT_EQ(list->maxVisibleItems(), 7);

        // The template's places, in a window as much wider as the font needs
        // to show both labels whole: the labels stay at the left edge, the
        // controls keep their distance to the right edge, and the buttons
        // stay centred. The test font is wider than the template's.
        const int extra = dialog.width() - templateSize.width();
        EXPECT_GE(extra, 0);
        EXPECT_EQ(dialog.height(), templateSize.height());
        for (const QLabel* label : {portLabel, autoloadLabel})
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                << label->text().toStdString();
        EXPECT_EQ(portLabel->pos(), MapDialogRect(units, {7, 9, 140, 8}).topLeft());
        EXPECT_EQ(autoloadLabel->pos(), MapDialogRect(units, {7, 26, 154, 8}).topLeft());
        EXPECT_LE(portLabel->geometry().right(), list->geometry().left());
        EXPECT_LE(autoloadLabel->geometry().right(), check->geometry().left());
        EXPECT_EQ(check->geometry(), MapDialogRect(units, {167, 26, 16, 8}).translated(extra, 0));
        const QRect field = MapDialogRect(units, {164, 7, 52, 12}).translated(extra, 0);
        EXPECT_EQ(list->pos(), field.topLeft());
        EXPECT_EQ(list->width(), field.width());
        EXPECT_EQ(ok->y(), MapDialogRect(units, {51, 49, 50, 14}).y());
        EXPECT_EQ(cancel->y(), ok->y());
        EXPECT_EQ(cancel->x() - ok->x(), MapDialogRect(units, {51, 0, 71, 0}).width());
        EXPECT_LE(std::abs(ok->x() + cancel->geometry().right() + 1 - dialog.width()), 2);

        // Tab order: OK, Отмена, the check box, the port list, and round.
        const QList<QWidget*> stops{ok, cancel, check, list};
        QList<QWidget*> order;
        for (QWidget* w = ok->nextInFocusChain(); order.size() < stops.size(); w = w->nextInFocusChain())
            if (stops.contains(w) && (w->focusPolicy() & Qt::TabFocus) && (order.isEmpty() || order.back() != w))
                order << w;
        EXPECT_EQ(order, (QList<QWidget*>{cancel, check, list, ok}));
        EXPECT_EQ(dialog.focusWidget(), ok);
    }));
}

TEST_F(SettingsWindowTest, ListsThePortsInTextOrderWithTheirNumbersAndDevices) {
    ports = {{2, "/dev/ttyS1"}, {1, "/dev/ttyS0"}, {10, "/dev/ttyS9"}};
    store.WriteInt(kSectionSettings, kValuePortNumber, 2);
    Restart();
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        QComboBox* list = PortList(dialog);
        EXPECT_EQ(ItemsOf(list), (std::vector<Item>{{"COM1", 1, "/dev/ttyS0"},
                                                    {"COM10", 10, "/dev/ttyS9"},
                                                    {"COM2", 2, "/dev/ttyS1"}}));
        // The stored port is selected, and the closed list names its device.
        EXPECT_EQ(list->currentText(), QStringLiteral("COM2"));
        EXPECT_EQ(list->toolTip(), QStringLiteral("/dev/ttyS1"));
    }));

    // Found afresh at each opening: nothing is left of the last list. A port
    // found twice shows twice; numbers outside 1..255 are shown as the system
    // named them, without a device.
    ports = {{3, "/dev/ttyS2"}, {-5, ""}, {300, ""}, {3, "/dev/ttyS2"}, {0, ""}};
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        QComboBox* list = PortList(dialog);
        EXPECT_EQ(ItemsOf(list), (std::vector<Item>{{"COM-5", -5, ""},
                                                    {"COM0", 0, ""},
                                                    {"COM3", 3, "/dev/ttyS2"},
                                                    {"COM3", 3, "/dev/ttyS2"},
                                                    {"COM300", 300, ""}}));
        EXPECT_EQ(list->currentIndex(), -1) << "port 2 is gone";
        EXPECT_TRUE(list->toolTip().isEmpty());
    }));
    EXPECT_EQ(discoveries, 2);
}

TEST_F(SettingsWindowTest, AStoredPortNotFoundIsNotSelectedAndOkStoresMinusOne) {
    // No "PortNumber" stored: the main window's 99, and no COM99 present.
    ports = {{1, "/dev/ttyS0"}, {33, "/dev/ttyUSB0"}};
    ASSERT_EQ(window->PortNumber(), 99);
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        QComboBox* list = PortList(dialog);
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->currentIndex(), -1);
        EXPECT_TRUE(list->currentText().isEmpty());
        EXPECT_FALSE(Autoload(dialog)->isChecked());
        Ok(dialog);
    }));
    EXPECT_EQ(window->PortNumber(), -1);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), -1);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueProgramAutoload, -7), 0);

    // No ports at all: the same, and Enter is OK.
    ports.clear();
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        EXPECT_EQ(PortList(dialog)->count(), 0);
        QTest::keyClick(&dialog, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), IDOK);
    }));
    EXPECT_EQ(window->PortNumber(), -1);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(SettingsWindowTest, OkTakesThePortAtOnceAndTheAutoloadSwitchAtTheNextStart) {
    test::ImageFolder folder;
    const QString program = folder.Write("program.dat", kImageSize, 4);
    ASSERT_EQ(window->LoadImageFile(program, false), IDOK);
    ports = {{1, "/dev/ttyS0"}, {3, "/dev/ttyS2"}, {12, "/dev/ttyS11"}};
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        Choose(dialog, "COM3");
        QTest::mouseClick(Autoload(dialog), Qt::LeftButton);
        EXPECT_TRUE(Autoload(dialog)->isChecked());
        EXPECT_EQ(PortList(dialog)->toolTip(), QStringLiteral("/dev/ttyS2"));
        Ok(dialog);
    }));
    EXPECT_EQ(window->PortNumber(), 3);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 0), 3);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueProgramAutoload, 0), 1);

    // The very next job opens COM3.
    devsim::Device device(devsim::DeviceConfig{});
    VirtualPort cable(device);
    SetPortOpener(cable.Opener());
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа успешно записана")});
    EXPECT_EQ(cable.LastPortNumber(), 3u);

    // The switch is read at start: the next window loads the program by itself.
    Restart();
    EXPECT_EQ(window->PortNumber(), 3);
    EXPECT_EQ(window->findChild<QComboBox*>("IDC_FILE_NAME")->currentText(), program);

    // The box opens ticked, and unticked with OK stores 0.
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        EXPECT_TRUE(Autoload(dialog)->isChecked());
        EXPECT_EQ(PortList(dialog)->currentText(), QStringLiteral("COM3"));
        Autoload(dialog)->setChecked(false);
        Ok(dialog);
    }));
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueProgramAutoload, -7), 0);
    Restart();
    EXPECT_TRUE(window->findChild<QComboBox*>("IDC_FILE_NAME")->currentText().isEmpty());
}

TEST_F(SettingsWindowTest, CancelEscAndTheCloseBoxChangeNothing) {
    store.WriteInt(kSectionSettings, kValuePortNumber, 12);
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 0);
    Restart();
    ports = {{3, "/dev/ttyS2"}, {12, "/dev/ttyS11"}};
    const auto before = store.Values();

    const std::vector<std::function<void(CSettingsDlg&)>> closings{
        [](CSettingsDlg& dialog) { dialog.findChild<QPushButton*>("IDCANCEL")->click(); },
        [](CSettingsDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
        [](CSettingsDlg& dialog) { dialog.close(); },
    };
    for (const auto& closeIt : closings) {
        bool closed = false;
        ASSERT_TRUE(OpenSettings([&](CSettingsDlg& dialog) {
            Choose(dialog, "COM3");
            Autoload(dialog)->setChecked(true);
            closeIt(dialog);
            closed = !dialog.isVisible();
            EXPECT_EQ(dialog.result(), IDCANCEL);
        }));
        EXPECT_TRUE(closed);
        EXPECT_EQ(window->PortNumber(), 12);
        EXPECT_EQ(store.Values(), before);
    }

    // A stored switch other than 0 or 1 ticks the box; OK stores 1.
    store.WriteInt(kSectionSettings, kValueProgramAutoload, 5);
    ASSERT_TRUE(OpenSettings([](CSettingsDlg& dialog) {
        EXPECT_TRUE(Autoload(dialog)->isChecked());
        Ok(dialog);
    }));
    EXPECT_EQ(store.GetInt(kSectionSettings, kValueProgramAutoload, 0), 1);
    EXPECT_EQ(window->PortNumber(), 12);
}

}  // namespace
}  // namespace bramis
