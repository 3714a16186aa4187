// The progress window and the write, read and compare commands of the main
// window, through the real worker against the emulated device on the virtual
// clock: success, a write checked by reading back, the Save dialog, cancels at
// their cancel points, every error box with its cause, the progress in the
// title, the alerts (the notification only while the program is not in
// front) and the journal; and that a worker that cannot start ends the job.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include "controls/labeled_progress_ctrl.h"
#include "gui_test_support.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"

namespace bramis {
namespace {

using devsim::FaultKind;
using test::Child;

// What the progress window showed when something happened.
struct Snapshot {
    QString stage;
    QString version;
    int bar = -1;
    bool visible = false;
};

class TransferCommandsTest : public test::MainWindowTest {
protected:
    TransferCommandsTest() {
        QObject::connect(Line("IDC_STAGE_TEXT"), &QLineEdit::textChanged, [this](const QString& stage) {
            if (!stage.isEmpty()) stages << stage;
            if (onStage) onStage(stage);
        });
        recorder.onShow = [this](const test::RecordedMessage&) { shownWith.push_back(Now()); };
    }

    QLineEdit* Line(const char* name) { return Child<QLineEdit>(progress, name); }
    CLabeledProgressCtrl* Bar() { return Child<CLabeledProgressCtrl>(progress, "IDC_JOB_PROGRESS"); }
    QPushButton* Cancel() { return Child<QPushButton>(progress, "IDCANCEL"); }
    Snapshot Now() {
        return {Line("IDC_STAGE_TEXT")->text(), Line("IDC_VERSION_TEXT")->text(), Bar()->GetPos(),
                progress.isVisible()};
    }

    CProgressDlg& progress = window->ProgressWindow();
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kImageBufferSize);
    QStringList stages;
    std::vector<Snapshot> shownWith;
    std::function<void(const QString&)> onStage;
};

TEST_F(TransferCommandsTest, WritesTheFileAsOnDiskVerifiesInTheSameWindowComparesAloneAndJournalsEveryJob) {
    QStringList titles;
    QObject::connect(&progress, &CProgressDlg::jobProgress, [&](int) { titles << window->windowTitle(); });
    // A chosen file, changed on disk after it was chosen: what is on disk at
    // the moment of the write goes to the device.
    const QString file = openAnswer = folder.Write("a.dat", kImageSize, 2);
    window->OnCommand(ID_OP_CHOOSE_FILE);
    folder.Write("a.dat", kImageSize, 1);
    window->OnCommand(IDC_WRITE);
    ASSERT_EQ(recorder.Texts(), (QStringList{"Файл успешно прочитан", "Программа успешно записана"}));
    EXPECT_EQ(recorder.messages[1].caption, QStringLiteral("Запись"));
    EXPECT_FALSE(shownWith[1].visible) << "the notice comes after the progress window has closed";
    EXPECT_EQ(shownWith[1].bar, 368);
    EXPECT_EQ(shownWith[1].version, QStringLiteral("Версия загрузчика 01.03"));
    EXPECT_EQ(stages, (QStringList{"Открытие порта", "Переход в режим программирования",
                                   "Определение версии загрузчика", "Стирание программы", "Запись программы",
                                   "Переход в рабочий режим"}));
    EXPECT_TRUE(test::HoldsPattern(device->Flash(), 1));
    EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
    EXPECT_FALSE(cable->IsOpen());

    // Written again and read back, in the window of the write; the title
    // counts once up to 100 % over both jobs and is itself again at the end.
    store.WriteInt(kSectionSettings, kValueVerifyAfterWrite, 1);
    titles.clear();
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts().back(), "Программа записана и проверена");
    EXPECT_EQ(stages.mid(10).join(','), "Запись программы,Переход в рабочий режим,Открытие порта,Переход в режим "
                                        "программирования,Определение версии загрузчика,Проверка записи,Переход в "
                                        "рабочий режим");
    EXPECT_EQ(device->RequestCount(CMD_READ_BLOCK), 368);
    EXPECT_TRUE(titles.contains("50% — Программатор Брамис"));
    EXPECT_TRUE(std::is_sorted(titles.begin(), titles.end() - 1, [](const QString& a, const QString& b) {
        return a.section('%', 0, 0).toInt() < b.section('%', 0, 0).toInt();
    })) << titles.join(' ').toStdString();
    EXPECT_EQ(titles.back(), "100% — Программатор Брамис");
    EXPECT_EQ(window->windowTitle(), "Программатор Брамис");
    EXPECT_EQ(alerts.sounds, (std::vector<bool>{false, false}));

    // The file alone compared with the device, after a change in blocks 17
    // and 300 (counted from 1); without the sound.
    store.WriteInt(kSectionSettings, kValueEndSound, 0);
    std::vector<std::uint8_t> changed = test::TestPattern(kImageSize, 1);
    changed[16 * kBlockSize] ^= 1;
    changed[299 * kBlockSize + 7] ^= 0x80;
    QFile changedFile(file);
    ASSERT_TRUE(changedFile.open(QIODevice::WriteOnly));
    changedFile.write(reinterpret_cast<const char*>(changed.data()), kImageSize);
    changedFile.close();
    window->OnCommand(ID_OP_COMPARE);
    EXPECT_EQ(recorder.Texts().back(), "Программа в приборе отличается от файла: первый отличающийся блок 17, всего "
                                       "отличающихся блоков 2 из 368");
    EXPECT_EQ(device->RequestCount(CMD_ERASE), 2);
    EXPECT_EQ(alerts.sounds.size(), 2u);

    // One record per job: the file, the image's hash, the loader's version;
    // a program that differs from the file is no success.
    const std::vector<QStringList> rows = JournalRows();
    ASSERT_EQ(rows.size(), 4u);
    const QString written = Sha256Hex(test::TestPattern(kImageSize, 1).data(), kImageSize);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][kColumnJob], i < 2 ? "запись" : "проверка");
        const QStringList fields{rows[i][kColumnProgram], rows[i][kColumnPort], rows[i][kColumnFile],
                                 rows[i][kColumnSha256],  rows[i][kColumnLoaderVersion], rows[i][kColumnResult]};
        EXPECT_EQ(fields, (QStringList{"bramis-programmer", "COM99", file, written, "01.03", i < 3 ? "успешно" : "ошибка"}));
    }

    // A device whose every block needed a second attempt, after four jobs on
    // its port: check the cable, once in the program's run. A journal that
    // cannot be written: said after the job's own notice.
    JournalRecord earlier;
    earlier.device = QStringLiteral("/dev/ttyUSB7");
    for (int i = 0; i < 4; ++i) ASSERT_EQ(AppendJournalRecord(JournalFile(), earlier), QString());
    Connect({{.kind = FaultKind::Silent, .command = CMD_READ_BLOCK, .attempt = 0}});
    store.WriteString(kSectionPorts, "COM99", "/dev/ttyUSB7");
    window->OnCommand(ID_OP_COMPARE);
    EXPECT_EQ(recorder.Texts().back(), "Последние задания на порту COM99 потребовали много повторных попыток. "
                                       "Проверьте кабель и переходник.");
    store.WriteString(kSectionSettings, kValueJournalFile, folder.Folder().toStdString());
    window->OnCommand(ID_OP_COMPARE);
    ASSERT_EQ(recorder.messages.size(), 8u);
    EXPECT_TRUE(recorder.messages[7].text.startsWith("Журнал заданий")) << recorder.messages[7].text.toStdString();
}

TEST_F(TransferCommandsTest, TheNotificationAndTheTaskbarAlertComeOnlyWhenTheProgramIsNotInFront) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // The progress window closes over the main window: the program is still
    // in front, though for a moment no window of it is active.
    Box()->setEditText(folder.Write("a.dat", kImageSize));
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(alerts.sounds, std::vector<bool>{false});
    EXPECT_EQ(alerts.attentionRequests, 0);
    EXPECT_TRUE(alerts.notices.isEmpty());
    // The technician went to another program, the main window left open.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    emit qApp->focusWindowChanged(nullptr);
    AlertJobEnded(window.get(), true, QStringLiteral("Ошибка записи"), false);
    EXPECT_EQ(alerts.attentionRequests, 1);
    EXPECT_EQ(alerts.notices, QStringList{"Ошибка записи"});
    EXPECT_EQ(alerts.sounds.size(), 1u);
}

TEST_F(TransferCommandsTest, ReadsIntoItsOwnBufferThenSavesOrKeepsItInMemory) {
    // First a folder that is not there: said so and why, and the Save dialog comes again.
    saveAnswer = folder.Path("missing/read back.dat");
    recorder.onShow = [&](const test::RecordedMessage& message) {
        if (message.icon == MessageIcon::Exclamation) saveAnswer = folder.Path("read back.dat");
    };
    window->OnCommand(IDC_READ);
    ASSERT_EQ(recorder.Texts(), (QStringList{"Программа успешно прочитана",
                                             "Не могу создать файл\nпапка " +
                                                 QDir::toNativeSeparators(folder.Path("missing")) +
                                                 ": нет такого файла или папки\n\n"
                                                 "Прочитанная программа не сохранена. Выберите другое место для файла."}));
    recorder.messages.pop_back();
    EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Чтение"));
    QFile saved(saveAnswer);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const std::vector<std::uint8_t> pattern = test::TestPattern(kImageSize, 9);
    EXPECT_EQ(saved.readAll(), QByteArray(reinterpret_cast<const char*>(pattern.data()), kImageSize));
    EXPECT_EQ(Box()->currentText(), saveAnswer);
    EXPECT_EQ(device->RequestCount(CMD_ERASE), 0);

    // A second read, its Save dialog cancelled: nothing said after the
    // notice, the program kept in memory.
    std::reverse(device->Flash().begin(), device->Flash().end());
    saveAnswer.clear();
    window->OnCommand(ID_OP_READ);
    EXPECT_EQ(recorder.Texts(), (QStringList{"Программа успешно прочитана", "Программа успешно прочитана"}));
    EXPECT_TRUE(std::equal(device->Flash().begin(), device->Flash().end(), window->Files().Image().Bytes().begin()));
}

TEST_F(TransferCommandsTest, CancelEscAndCloseWhileTheDeviceDoesNotAnswerEndTheJobSilentlyAndOkIsIgnored) {
    Connect({{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG}});
    window->LoadImageFile(folder.Write("a.dat", kImageSize), false);
    const std::vector<std::function<void()>> cancels{
        [&] { Cancel()->click(); },
        [&] { QTest::keyClick(&progress, Qt::Key_Escape); },
        [&] { EXPECT_FALSE(progress.close()); },
    };
    for (std::size_t i = 0; i < cancels.size(); ++i) {
        SCOPED_TRACE(i);
        // Let it try a while before the user gives up.
        onStage = [&](const QString& stage) {
            if (stage != Stage(TransferStage::EnteringProgramming)) return;
            QTimer::singleShot(50, &progress, [&] {
                EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget() : progress.focusWidget(), Cancel());
                progress.accept();
                EXPECT_FALSE(progress.RunningJob()->CancelRequested());
                cancels[i]();
                EXPECT_TRUE(progress.RunningJob()->CancelRequested());
                EXPECT_TRUE(progress.isVisible());  // until the worker has ended
            });
        };
        // RunJobs says IDCANCEL.
        if (i == 0)
            window->OnCommand(IDC_WRITE);
        else
            EXPECT_EQ(progress.RunJobs(window->Channel(), 3, {{buffer.data(), TransferMode::Read}}).code, IDCANCEL);
        EXPECT_FALSE(progress.isVisible());
        EXPECT_FALSE(cable->IsOpen());
        EXPECT_EQ(stages.back(), QStringLiteral("Переход в режим программирования"));
    }
    // Only the write says that the device keeps its program.
    EXPECT_EQ(recorder.Texts(), QStringList{"Запись отменена. Программа прибора не изменена."});
    EXPECT_TRUE(alerts.sounds.empty()) << "a cancel is no end to tell of";
    EXPECT_GE(device->RequestCount(CMD_ENTER_PROG), 8);
    EXPECT_EQ(device->RequestCount(CMD_RUN_PROGRAM), 0);
}

TEST_F(TransferCommandsTest, CancelDuringTheEraseStillWritesBlockZeroAndSaysTheProgramIsErased) {
    // The worker waits while the stage line is set, so the request is there
    // before the erase begins.
    onStage = [this](const QString& stage) {
        if (stage == Stage(TransferStage::Erasing)) Cancel()->click();
    };
    Box()->setEditText(folder.Write("a.dat", kImageSize, 4));
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts(), QStringList{"Запись отменена.\nПрограмма прибора стёрта или записана не полностью: "
                                            "прибор заработает только после успешной записи."});
    EXPECT_TRUE(alerts.sounds.empty());
    const auto flash = device->Flash();
    EXPECT_TRUE(test::HoldsPattern(flash.first(kBlockSize), 4));
    EXPECT_TRUE(std::all_of(flash.begin() + kBlockSize, flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(device->RequestCount(CMD_WRITE_BLOCK), 1);
    EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);

    // A write whose reading back is cancelled is written, but not checked.
    store.WriteInt(kSectionSettings, kValueVerifyAfterWrite, 1);
    onStage = [this](const QString& stage) {
        if (stage == Stage(TransferStage::Verifying)) Cancel()->click();
    };
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts().back(), "Программа записана, но проверка чтением отменена: запись не проверена.");
    EXPECT_TRUE(test::HoldsPattern(device->Flash(), 4));
    EXPECT_TRUE(alerts.sounds.empty());
}

TEST_F(TransferCommandsTest, EveryWorkerErrorIsShownInTheOpenProgressWindowFirst) {
    // Each fault strikes both attempts the link makes.
    const auto both = [](FaultKind kind, std::uint8_t command, int block, int value) {
        return devsim::FaultRule{
            .kind = kind, .command = command, .block = block, .attempt = 0, .times = 2, .value = value};
    };
    const QString erased = "\nПрограмма прибора стёрта или записана не полностью: прибор заработает только после "
                           "успешной записи.";
    const struct {
        std::vector<devsim::FaultRule> faults;
        int command;
        QString text;  // the worker's message, then why
        QString caption;
        const char* stage;  // the stage line while the box is open
        int bar;
    } cases[] = {
        {{}, IDC_WRITE, "Не могу открыть порт\nCOM99 — /dev/ttyUSB9: порт занят другой программой\n"
         "Порт открыт программой «minicom» (PID 1234).", ApplicationTitle(), "Открытие порта", 0},
        {{both(FaultKind::Silent, CMD_GET_VERSION, devsim::kAny, 0)}, IDC_WRITE,
         "Ошибка чтения версии загрузчика\nПрибор не ответил", "Ошибка", "Определение версии загрузчика", 0},
        {{both(FaultKind::Status, CMD_ERASE, devsim::kAny, 0x2A)}, IDC_WRITE,
         "Ошибка стирания\nПрибор не подтвердил стирание" + erased, "Ошибка", "Стирание программы", 0},
        {{both(FaultKind::Status, CMD_WRITE_BLOCK, 200, 0x5A)}, IDC_WRITE,
         "Ошибка записи\nПрибор отказался принять блок (статус 5A), блок 201 из 368" + erased, "Ошибка",
         "Запись программы", 200},
        {{both(FaultKind::Status, CMD_WRITE_BLOCK, 0, 0x2A)}, IDC_WRITE,
         "Ошибка записи\nПрибор отказался принять блок (статус 2A), блок 1 из 368" + erased, "Ошибка",
         "Запись программы", 0},
        {{{.kind = FaultKind::Drop, .command = CMD_WRITE_BLOCK, .block = 30}}, IDC_WRITE,
         "Порт пропал: кабель или USB-адаптер отключён?\nЗапись программы, блок 31 из 368" + erased, "Ошибка",
         "Запись программы", 30},
        {{both(FaultKind::CorruptCrc, CMD_READ_BLOCK, 5, devsim::kDefault)}, IDC_READ,
         "Ошибка чтения\nОтвет прибора искажён, блок 6 из 368", "Ошибка", "Чтение программы", 5},
    };
    const QString file = folder.Write("a.dat", kImageSize, 6);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Connect(c.faults);
        if (c.faults.empty()) cable->FailOpens(PortOpenError{OpenFailure::Busy, "/dev/ttyUSB9", 0, {}, {1234, "minicom"}});
        recorder.messages.clear();
        shownWith.clear();
        alerts.sounds.clear();
        Box()->setEditText(file);
        window->OnCommand(c.command);

        ASSERT_EQ(recorder.Texts(), QStringList{c.text});
        EXPECT_EQ(alerts.sounds, std::vector<bool>{true});
        const test::RecordedMessage& box = recorder.messages[0];
        EXPECT_EQ(box.caption, c.caption);
        EXPECT_EQ(box.owner, &progress);
        EXPECT_TRUE(shownWith[0].visible);
        EXPECT_EQ(shownWith[0].stage, QString::fromUtf8(c.stage));
        EXPECT_EQ(shownWith[0].bar, c.bar);
        // The device went back to its working mode wherever it had left it,
        // unless its line had gone.
        EXPECT_TRUE(c.bar == 30 || device->CurrentMode() == devsim::Mode::Working);
        EXPECT_FALSE(cable->IsOpen());
    }
    // Each failed job is in the journal, with its stage and block.
    const std::vector<QStringList> rows = JournalRows();
    ASSERT_EQ(rows.size(), std::size(cases));
    EXPECT_EQ(rows[3].mid(kColumnResult, 3), (QStringList{"ошибка", "Запись программы", "201"}));
    // The failed read did not touch the image or ask where to save.
    EXPECT_TRUE(saveFolders.isEmpty());
    EXPECT_TRUE(test::HoldsPattern(window->Files().Image().Bytes(), 6));
}

TEST_F(TransferCommandsTest, AReplyHeldBackByTheAdaptersLatencyTimerIsToldSo) {
    adapter.latencyMs = 32.0;
    Connect();
    window->OnCommand(IDC_READ);
    EXPECT_EQ(recorder.Texts().join('|').toStdString(),
              "Ошибка чтения\nОтвет прибора прервался паузой длиннее 30 мс, блок 2 из 368\n"
              "USB-переходник придерживает принятые байты (его таймер задержки): уменьшите задержку переходника до 16 мс или меньше (в настройках его драйвера) или возьмите другой переходник.");
}

TEST_F(TransferCommandsTest, AWorkerThatCannotStartEndsTheJobAtOnce) {
    progress.SetWorkerLauncher([](std::function<void()>) { return std::unique_ptr<QThread>(); });
    EXPECT_EQ(progress.RunJobs(window->Channel(), 1, {{buffer.data(), TransferMode::Read}}).code, -1);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Не удалось запустить обмен с прибором")});
}

}  // namespace
}  // namespace bramis
