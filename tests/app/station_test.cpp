// The production station against emulated devices on virtual lines, one per
// port: slots bound to ports (a port in two slots refused), writes at once
// in every slot (one failing alone), the results, counters and settings
// across a restart, the journal's slot column, and the end of the window
// mid-job with every device sent back.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "app/app_texts.h"
#include "app/shift_report.h"
#include "app/station_dlg.h"
#include "controls/labeled_progress_ctrl.h"
#include "gui_test_support.h"
#include "link/bootloader.h"

namespace bramis {
namespace {

using devsim::FaultKind;
using test::Child;

class StationTest : public test::MainWindowTest {
protected:
    StationTest() { store.WriteString(kSectionStation, "ImageFile", image.toStdString()); }
    ~StationTest() override { station.reset(); }

    // A device with `faults` on COM `port`; it meets the others in
    // programming mode (MeetInProgramming) when asked.
    devsim::Device& Plug(int port, std::vector<devsim::FaultRule> faults = {}) {
        devsim::DeviceConfig config;
        config.faults = devsim::FaultPlan(std::move(faults), std::nullopt);
        auto& plugged = devices[port] = std::make_unique<devsim::Device>(config);
        cables[port] = std::make_unique<VirtualPort>(*plugged);
        return *plugged;
    }
    // Each device, on entering programming mode, waits (at most 10 s) until
    // every plugged device has: the jobs then run at the same time.
    void MeetInProgramming() {
        for (auto& [port, plugged] : devices) {
            plugged->SetModeHandler([this](devsim::Mode mode) {
                if (mode != devsim::Mode::Programming) return;
                ++entered;
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (entered < static_cast<int>(devices.size()) && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
        }
    }
    void Open(CStationDlg& opened) {
        opened.SetPortOpener([this](unsigned number) { return cables.at(static_cast<int>(number))->Opener()(number); });
    }
    void Make() {
        station.reset();
        station = std::make_unique<CStationDlg>(store, FileChoosers{}, [this] { return ports; });
        Open(*station);
    }
    // Serves the slots' calls as they come, for at most 30 s.
    void WaitUntil(const std::function<bool()>& done) {
        QTimer wake;  // the deadline is looked at even while nothing comes
        wake.start(100);
        const QDeadlineTimer deadline(30000);
        while (!done()) {
            ASSERT_FALSE(deadline.hasExpired());
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    void WaitForAll() {
        WaitUntil([this] { return !station->AnyRunning(); });
        station->FlushJournal();
    }
    QString Text(const char* name) { return Child<QLabel>(*station, name)->text(); }
    // A slot's cause in whole: the slot shows two lines of it.
    QString Cause(int slot) { return Child<QLabel>(*station, qPrintable(QStringLiteral("slot%1_cause").arg(slot)))->toolTip(); }

    QString image = folder.Write("station.dat", kImageSize, 4);
    std::map<int, std::unique_ptr<devsim::Device>> devices;
    std::map<int, std::unique_ptr<VirtualPort>> cables;
    std::atomic<int> entered{0};
    std::unique_ptr<CStationDlg> station;
};

TEST_F(StationTest, SlotsOnTheirOwnPortsWriteAtOnceOneFailsAloneAndTheCountersOutliveARestart) {
    Plug(5);
    Plug(6, {{.kind = FaultKind::Drop, .command = CMD_WRITE_BLOCK, .block = 30}});
    MeetInProgramming();
    ports = {{.number = 5, .device = "/dev/ttyUSB0", .description = "FT232R USB UART (A1)"}};
    Make();
    EXPECT_EQ(Child<QComboBox>(*station, "slot1_port")->itemText(1), "COM5 — FT232R USB UART (A1)");
    EXPECT_FALSE(Child<QCheckBox>(*station, "station_verify")->isChecked());
    ASSERT_TRUE(station->SetSlotPort(1, 5));
    EXPECT_FALSE(station->SetSlotPort(2, 5));
    EXPECT_EQ(recorder.Texts(), QStringList{"COM5 уже назначен слоту 1"});
    EXPECT_EQ(station->Slot(2).PortNumber(), 0);
    ASSERT_TRUE(station->SetSlotPort(2, 6));
    EXPECT_EQ(Child<QComboBox>(*station, "slot2_port")->currentText(), "COM6 (не подключён)");
    // An adapter plugged in while the window is open joins the list; each slot keeps its port.
    ports.push_back({.number = 6, .device = "/dev/ttyUSB1", .description = "USB Serial"});
    station->RefreshPorts();
    EXPECT_EQ(Child<QComboBox>(*station, "slot2_port")->currentText(), "COM6 — USB Serial");
    EXPECT_EQ(station->Slot(1).PortNumber(), 5);

    station->StartAll();
    EXPECT_TRUE(station->Slot(1).Running() && station->Slot(2).Running());
    WaitForAll();
    EXPECT_EQ(entered, 2) << "both devices were in programming mode at once";
    EXPECT_EQ(Text("slot1_result"), "Годен");
    EXPECT_EQ(Cause(1), "Программа успешно записана");
    EXPECT_TRUE(test::HoldsPattern(devices[5]->Flash(), 4));
    EXPECT_EQ(devices[5]->CurrentMode(), devsim::Mode::Working);
    EXPECT_EQ(Text("slot2_result"), "Брак");
    EXPECT_EQ(Cause(2), "Порт пропал: кабель или USB-адаптер отключён?\nЗапись программы, блок 31 из "
                                   "368\n" + texts::ProgramErased());
    EXPECT_EQ(Text("slot1_counters"), "годен 1 · брак 0 · всего 1");
    EXPECT_EQ(Text("slot2_counters"), "годен 0 · брак 1 · всего 1");

    // Every job a record of the one journal, with its slot.
    std::vector<QStringList> rows = JournalRows();
    ASSERT_EQ(rows.size(), 2u);
    std::sort(rows.begin(), rows.end(), [](auto& a, auto& b) { return a[kColumnSlot] < b[kColumnSlot]; });
    EXPECT_EQ(rows[0][kColumnProgram], "bramis-programmer");
    EXPECT_EQ(rows[0][kColumnPort], "COM5");
    EXPECT_EQ(rows[0][kColumnSlot], "1");
    EXPECT_EQ(rows[0][kColumnResult], "успешно");
    EXPECT_EQ(rows[1][kColumnSlot], "2");
    EXPECT_EQ(rows[1][kColumnResult], "ошибка");

    // A file of the wrong size is refused at the job, and counted as no unit.
    folder.Write("station.dat", kImageSize - 1, 4);
    station->StartSlot(1);
    EXPECT_FALSE(station->Slot(1).Running());
    EXPECT_EQ(Text("slot1_result"), "Брак");
    EXPECT_TRUE(Cause(1).startsWith(QString::fromStdString(words::ImageFileMessage(ImageFileStatus::WrongLength))))
        << Cause(1).toStdString();
    EXPECT_EQ(Text("slot1_counters"), "годен 1 · брак 0 · всего 1");
    EXPECT_EQ(JournalRows().size(), 2u);

    // A journal that cannot be written is said in the station; the unit counts.
    folder.Write("station.dat", kImageSize, 4);
    store.WriteString(kSectionSettings, kValueJournalFile, folder.Folder().toStdString());
    station->StartSlot(1);
    WaitForAll();
    EXPECT_TRUE(Text("station_warning").startsWith("Журнал заданий ")) << Text("station_warning").toStdString();
    EXPECT_EQ(Text("slot1_counters"), "годен 2 · брак 0 · всего 2");

    // A new window finds its slots, its image, its switch and its counters.
    Child<QCheckBox>(*station, "station_verify")->setChecked(true);
    Make();
    EXPECT_EQ(station->Slot(1).PortNumber(), 5);
    EXPECT_EQ(station->Slot(2).PortNumber(), 6);
    EXPECT_EQ(station->Slot(3).PortNumber(), 0);
    EXPECT_TRUE(Child<QCheckBox>(*station, "station_verify")->isChecked());
    EXPECT_EQ(Text("slot2_counters"), "годен 0 · брак 1 · всего 1");
    EXPECT_TRUE(Text("station_counters").startsWith("Участок: годен 2 · брак 1 · всего 3 с "));
    EXPECT_EQ(store.GetString(kSectionStation, "ImageFile", ""), image.toStdString());
}

TEST_F(StationTest, AutostartWritesEachDeviceOnceAndTheNextOnlyAfterTheLineWasSilent) {
    devsim::Device& first = Plug(5);
    store.WriteInt(kSectionStation, "Slot1", 5);
    store.WriteInt(kSectionStation, "AutoStart", 1);
    Make();
    const auto removeDevice = [this] {
        return Text("slot1_result") == "Снимите прибор" && !station->Slot(1).Running();
    };
    WaitUntil(removeDevice);
    EXPECT_TRUE(test::HoldsPattern(first.Flash(), 4));
    EXPECT_EQ(Cause(1), "Программа успешно записана");
    // Asked again and sent back, never written twice.
    const int asked = first.RequestCount(CMD_GET_VERSION);
    WaitUntil([&] { return first.RequestCount(CMD_GET_VERSION) > asked + 1 && removeDevice(); });
    EXPECT_EQ(first.RequestCount(CMD_ERASE), 1);
    EXPECT_EQ(first.CurrentMode(), devsim::Mode::Working);

    // The adapter unplugged: the slot waits for its port; plugged in again
    // with the next device, which is written at once.
    cables[5]->FailOpens(PortOpenError{OpenFailure::Gone, "/dev/ttyUSB0", 2, "No such device", {}});
    WaitUntil([this] { return Text("slot1_result") == "Ожидание" && !station->Slot(1).Running(); });
    const std::unique_ptr<devsim::Device> taken = std::move(devices[5]);
    devsim::Device& next = Plug(5);
    WaitUntil(removeDevice);
    EXPECT_TRUE(test::HoldsPattern(next.Flash(), 4));
    EXPECT_EQ(next.RequestCount(CMD_ERASE), 1);
    EXPECT_EQ(taken->RequestCount(CMD_ERASE), 1);
    EXPECT_EQ(Text("slot1_counters"), "годен 2 · брак 0 · всего 2");
    station->Slot(1).Cancel();
    WaitForAll();
    EXPECT_EQ(JournalRows().size(), 2u) << "the probes and the waits are no jobs of the journal";
}

TEST_F(StationTest, ASerialNumberIsCheckedConfirmedWhenWrittenBeforeAndJournalled) {
    Plug(5);
    store.WriteInt(kSectionStation, "Slot1", 5);
    store.WriteInt(kSectionStation, "AskSerial", 1);
    Make();
    QStringList questions;
    bool answer = false;
    SetQuestionBoxFunction([&](QWidget*, const QString& text, const QString&) {
        questions << text;
        return answer;
    });
    QLineEdit* field = Child<QLineEdit>(*station, "slot1_serial");
    EXPECT_TRUE(field->isVisibleTo(station.get()));
    const auto scan = [&](const QString& serial) {
        field->setText(serial);
        QTest::keyClick(field, Qt::Key_Return);
        WaitForAll();
    };
    scan(QString());
    scan(QStringLiteral("SN\u0007-1"));
    scan(QString(65, QLatin1Char('7')));
    EXPECT_EQ(recorder.Texts(), (QStringList{"Введите заводской номер прибора слота 1",
                                             "Заводской номер не должен содержать управляющих символов",
                                             "Заводской номер длиннее 64 символов"}));
    EXPECT_EQ(devices[5]->RequestCount(CMD_ERASE), 0);

    scan(QStringLiteral(" SN-0001\t"));
    EXPECT_EQ(field->text(), QString());
    scan(QStringLiteral("SN-0001"));  // answered No
    EXPECT_EQ(questions.size(), 1);
    answer = true;
    scan(QStringLiteral("SN-0001"));
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(devices[5]->RequestCount(CMD_ERASE), 2);
    const std::vector<QStringList> rows = JournalRows();
    ASSERT_EQ(rows.size(), 2u);
    for (const QStringList& row : rows) EXPECT_EQ(row.mid(kColumnSlot), (QStringList{"1", "SN-0001"}));
    SetQuestionBoxFunction({});
}

TEST_F(StationTest, ALockedStationKeepsItsSetupAndImageAndOpensOnlyToItsPassword) {
    Plug(5);
    store.WriteInt(kSectionStation, "Slot1", 5);
    Make();
    QStringList answers{"мастер", "мастер"};
    const auto prompt = [&](QWidget*, const QString&) -> std::optional<QString> {
        if (answers.isEmpty()) return std::nullopt;
        return answers.takeFirst();
    };
    station->SetPasswordPrompt(prompt);
    station->Lock();
    const QString hash = QString::fromStdString(store.GetString(kSectionStation, "PasswordHash", ""));
#ifdef _WIN32
    const char* const scheme = "$pbkdf2-sha256$600000$";  // the system's bcrypt
#else
    const char* const scheme = "$y$";  // libcrypt's yescrypt
#endif
    EXPECT_TRUE(hash.startsWith(scheme)) << hash.toStdString();
    EXPECT_FALSE(hash.contains("мастер"));
    const auto enabled = [this](const char* name) { return Child(*station, name)->isEnabled(); };
    for (const char* name : {"station_file", "station_browse", "station_reset", "station_verify", "station_autostart",
                             "station_ask_serial", "slot1_port", "slot2_port"})
        EXPECT_FALSE(enabled(name)) << name;
    for (const char* name : {"slot1_start", "slot1_serial", "station_start_all", "station_cancel_all", "station_lock"})
        EXPECT_TRUE(enabled(name)) << name;
    EXPECT_FALSE(station->SetSlotPort(2, 6));
    window->OnCommand(ID_SERVICE_SETTINGS);
    EXPECT_EQ(recorder.Texts(), QStringList{"Участок программирования заблокирован: это изменение недоступно"});

    // The file changed on disk is refused at the job, and the lock outlives a restart.
    folder.Write("station.dat", kImageSize, 5);
    Make();
    station->SetPasswordPrompt(prompt);
    station->StartSlot(1);
    EXPECT_EQ(Text("slot1_result"), "Брак");
    EXPECT_EQ(Cause(1), texts::ImageChangedWhileLocked());
    EXPECT_EQ(devices[5]->RequestCount(CMD_ERASE), 0);

    // Five wrong passwords; the sixth try waits without being asked.
    answers = QStringList(5, "мастер?");
    for (int i = 0; i < 6; ++i) station->Unlock();
    EXPECT_TRUE(recorder.Texts().back().startsWith("Слишком много неверных попыток: повторите через "))
        << recorder.Texts().back().toStdString();
    EXPECT_EQ(recorder.Texts().count("Неверный пароль"), 5);
    store.WriteString(kSectionStation, "UnlockAfter", "2000-01-01T00:00:00");
    answers = {"мастер"};
    station->Unlock();
    EXPECT_FALSE(StationLocked(store));
    EXPECT_TRUE(enabled("slot1_port"));
    EXPECT_EQ(Child<QPushButton>(*station, "station_lock")->text(), "Заблокировать участок");
}

TEST_F(StationTest, TheShiftReportTakesTheUnitsSinceTheResetFromTheJournal) {
    Plug(5);
    store.WriteInt(kSectionStation, "Slot1", 5);
    store.WriteInt(kSectionStation, "Verify", 1);
    Make();
    // Neither a job of the main window nor a unit before the reset is the shift's.
    JournalRecord other;
    other.started = QDateTime::currentDateTime();
    other.program = QStringLiteral("bramis-programmer");
    AppendJournalRecord(JournalFile(), other);
    other.slot = 1;
    other.started = other.started.addDays(-1);
    AppendJournalRecord(JournalFile(), other);
    station->StartAll();
    WaitForAll();
    QString warning;
    const QDateTime since = QDateTime::fromString(
        QString::fromStdString(store.GetString(kSectionStation, "CountersReset", "")), Qt::ISODate);
    const std::vector<ShiftUnit> units = ShiftUnits(ReadJournal(JournalFile(), warning), since);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_TRUE(units[0].verified);
    EXPECT_EQ(units[0].verify.result, JournalResult::Succeeded);

    QString answer = folder.Path("shift.pdf");
    station->SetReportChooser([&](QWidget*, const QString&) { return answer; });
    station->SaveReport();
    QFile pdf(answer);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    answer = folder.Path("missing/shift.pdf");
    station->SaveReport();
    ASSERT_EQ(recorder.Texts().size(), 2);
    EXPECT_EQ(recorder.Texts()[0], "Отчёт смены сохранён: " + folder.Path("shift.pdf"));
    EXPECT_TRUE(recorder.Texts()[1].startsWith("Не удалось сохранить отчёт смены " + answer + ": "));
}

TEST_F(StationTest, TheEndOfTheProgramMidJobSendsEveryDeviceBack) {
    Plug(5);
    Plug(6);
    MeetInProgramming();
    store.WriteInt(kSectionStation, "Slot1", 5);
    store.WriteInt(kSectionStation, "Slot3", 6);
    QStringList menu;
    for (QAction* action : Child<QMenuBar>(*window, "IDR_MAIN_MENU")->actions()[1]->menu()->actions())
        menu << action->text();
    EXPECT_EQ(menu, (QStringList{"&Настройка", "&Журнал заданий", "&Участок программирования"}));

    // The station from the main window's menu; the program is told to end
    // once the first blocks are written.
    window->SetStationHook([this](CStationDlg& opened) {
        Open(opened);
        QTimer::singleShot(0, &opened, [&opened] { opened.StartAll(); });
    });
    bool ended = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* opened = dynamic_cast<CStationDlg*>(QApplication::activeModalWidget());
        if (opened == nullptr || ended) return;
        if (Child<CLabeledProgressCtrl>(*opened, "slot1_progress")->GetPos() > 0 ||
            Child<CLabeledProgressCtrl>(*opened, "slot3_progress")->GetPos() > 0) {
            ended = true;
            window->RequestQuit();
        }
    });
    watch.start(0);
    window->OnCommand(ID_SERVICE_STATION);
    ASSERT_TRUE(ended);
    for (auto& [port, plugged] : devices) {
        SCOPED_TRACE(port);
        EXPECT_EQ(plugged->CurrentMode(), devsim::Mode::Working);
        EXPECT_GE(plugged->RequestCount(CMD_RUN_PROGRAM), 1);
    }
    const std::vector<QStringList> rows = JournalRows();
    ASSERT_EQ(rows.size(), 2u);
    for (const QStringList& row : rows) EXPECT_EQ(row[kColumnResult], "отменено");
}

}  // namespace
}  // namespace bramis
