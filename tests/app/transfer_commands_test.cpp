// The write and read commands of the main window, through the progress window
// and the real worker, against the emulated device on the virtual clock:
// success, the Save dialog, cancels at their cancel points, every error box
// and a second job on the same window.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "app/main_dlg.h"
#include "app/message_box.h"
#include "app/resource_ids.h"
#include "controls/labeled_progress_ctrl.h"
#include "devsim/device.h"
#include "gui_test_support.h"
#include "image/memory_profile_store.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis {
namespace {

using devsim::Device;
using devsim::DeviceConfig;
using devsim::FaultKind;
using devsim::FaultPlan;
using devsim::FaultRule;
using test::ImageFolder;
using test::MessageRecorder;
using test::Watchdog;

// A fault that strikes both attempts the link makes of `command` (on `block`).
FaultRule Both(FaultKind kind, std::uint8_t command, int block = devsim::kAny, int value = devsim::kDefault) {
    FaultRule rule;
    rule.kind = kind;
    rule.command = command;
    rule.block = block;
    rule.attempt = 0;
    rule.times = 2;
    rule.value = value;
    return rule;
}

// What the progress window showed when something happened.
struct Snapshot {
    QString stage;
    QString version;
    int bar = -1;
    bool visible = false;
};

class TransferCommandsTest : public ::testing::Test {
protected:
    // The device with `faults`, its flash filled with `seed`'s pattern, on a
    // virtual cable that the channel opens whatever the port number.
    void Connect(std::vector<FaultRule> faults = {}) {
        DeviceConfig config;
        config.versionMajor = 2;
        config.versionMinor = 7;
        config.faults = FaultPlan(std::move(faults), std::nullopt);
        device = std::make_unique<Device>(config);
        const std::vector<std::uint8_t> pattern = test::TestPattern(kImageSize, 9);
        std::copy(pattern.begin(), pattern.end(), device->Flash().begin());
        cable = std::make_unique<VirtualPort>(*device);
        SetPortOpener(cable->Opener());
    }

    void SetUp() override {
        window = std::make_unique<CMainDlg>(
            store,
            FileChoosers{[this](QWidget*, const QString&) { return openAnswer; },
                         [this](QWidget*, const QString& initialFolder) {
                             saveFolders << initialFolder;
                             return saveAnswer;
                         }},
            [] { return std::string(); });
        QObject::connect(Line("IDC_STAGE_TEXT"), &QLineEdit::textChanged, [this](const QString& stage) {
            if (!stage.isEmpty()) stages << stage;
            if (onStage) onStage(stage);
        });
        recorder.onShow = [this](const test::RecordedMessage&) { shownWith.push_back(Now()); };
    }

    void TearDown() override { SetPortOpener({}); }

    QLineEdit* Line(const char* name) { return window->ProgressWindow().findChild<QLineEdit*>(name); }
    CLabeledProgressCtrl* Bar() {
        return window->ProgressWindow().findChild<CLabeledProgressCtrl*>("IDC_JOB_PROGRESS");
    }
    QComboBox* Box() { return window->findChild<QComboBox*>("IDC_FILE_NAME"); }
    Snapshot Now() {
        return {Line("IDC_STAGE_TEXT")->text(), Line("IDC_VERSION_TEXT")->text(), Bar()->GetPos(),
                window->ProgressWindow().isVisible()};
    }
    bool FlashBlockIs(int block, const std::vector<std::uint8_t>& image) {
        const auto flash = device->Flash().subspan(static_cast<std::size_t>(block) * kBlockSize, kBlockSize);
        return std::equal(flash.begin(), flash.end(), image.begin() + block * static_cast<int>(kBlockSize));
    }
    bool FlashBlockErased(int block) {
        const auto flash = device->Flash().subspan(static_cast<std::size_t>(block) * kBlockSize, kBlockSize);
        return std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; });
    }
    // Presses Cancel once the stage line shows `stage`: the worker waits
    // while the line is set, so the request is there before that stage's work.
    void CancelAt(const QString& stage) {
        onStage = [this, stage](const QString& shown) {
            if (shown == stage) window->ProgressWindow().findChild<QPushButton*>("IDCANCEL")->click();
        };
    }

    Watchdog watchdog;
    MessageRecorder recorder;
    MemoryProfileStore store;
    ImageFolder folder;
    std::unique_ptr<Device> device;
    std::unique_ptr<VirtualPort> cable;
    std::unique_ptr<CMainDlg> window;
    QString openAnswer;
    QString saveAnswer;
    QStringList saveFolders;
    QStringList stages;
    std::vector<Snapshot> shownWith;
    std::function<void(const QString&)> onStage;
};

TEST_F(TransferCommandsTest, WritesATypedAndAChosenFileAndEachJobStartsClean) {
    Connect();
    const QString typed = folder.Write("typed.dat", kImageSize, 1);
    std::vector<Snapshot> atStart;
    onStage = [&](const QString& stage) {
        if (stage == QString::fromUtf8(kStageOpeningPort)) atStart.push_back(Now());
    };

    Box()->setEditText(typed);
    window->OnCommand(IDC_WRITE);
    ASSERT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа успешно записана")});
    EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Запись"));
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(recorder.messages[0].owner, window.get());
    EXPECT_FALSE(shownWith[0].visible) << "the notice comes after the progress window has closed";
    EXPECT_EQ(shownWith[0].bar, 368);
    EXPECT_EQ(shownWith[0].version, QStringLiteral("Версия загрузчика 02.07"));
    EXPECT_EQ(shownWith[0].stage, QStringLiteral("Переход в рабочий режим"));
    EXPECT_EQ(stages, (QStringList{"Открытие порта", "Переход в режим программирования",
                                   "Определение версии загрузчика", "Стирание программы", "Запись программы",
                                   "Переход в рабочий режим"}));
    EXPECT_TRUE(std::equal(device->Flash().begin(), device->Flash().end(), test::TestPattern(kImageSize, 1).begin()));
    EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
    EXPECT_FALSE(cable->IsOpen());
    EXPECT_EQ(cable->LastPortNumber(), 99u);
    EXPECT_EQ(Box()->currentText(), typed);

    // A chosen file, changed on disk after it was chosen: what is on disk at
    // the moment of the write goes to the device.
    openAnswer = folder.Write("chosen.dat", kImageSize, 2);
    window->OnCommand(ID_OP_CHOOSE_FILE);
    folder.Write("chosen.dat", kImageSize, 3);
    window->OnCommand(ID_OP_WRITE);
    EXPECT_EQ(recorder.Texts(), (QStringList{"Программа успешно записана", "Файл успешно прочитан",
                                             "Программа успешно записана"}));
    EXPECT_TRUE(std::equal(device->Flash().begin(), device->Flash().end(), test::TestPattern(kImageSize, 3).begin()));
    ASSERT_EQ(Box()->count(), 2);
    EXPECT_EQ(Box()->itemText(0), openAnswer);

    // Neither job started with anything of the one before.
    ASSERT_EQ(atStart.size(), 2u);
    for (const Snapshot& start : atStart) {
        EXPECT_TRUE(start.version.isEmpty());
        EXPECT_EQ(start.bar, 0);
        EXPECT_TRUE(start.visible);
    }
}

TEST_F(TransferCommandsTest, ReadsIntoItsOwnBufferThenSavesOrKeepsItInMemory) {
    Connect();
    const std::vector<std::uint8_t> program = test::TestPattern(kImageSize, 9);
    const std::uint8_t* bufferOfTheJob = nullptr;
    onStage = [&](const QString&) { bufferOfTheJob = g_transferContext.imageBuffer; };

    saveAnswer = folder.Path("read back.dat");
    window->OnCommand(IDC_READ);
    ASSERT_EQ(recorder.Texts(), QStringList{QStringLiteral("Программа успешно прочитана")});
    EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Чтение"));
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::None);
    EXPECT_NE(bufferOfTheJob, window->Files().Image().Buffer().data());
    EXPECT_EQ(test::ReadWholeFile(saveAnswer), program);
    EXPECT_EQ(Box()->currentText(), saveAnswer);
    EXPECT_EQ(saveFolders, QStringList{QString()});
    EXPECT_EQ(device->RequestCount(CMD_ERASE), 0);

    // A second read, its Save dialog cancelled: nothing written, nothing said,
    // the program kept in memory, and the next dialog opens in the folder
    // of the file saved before.
    std::copy(program.rbegin(), program.rend(), device->Flash().begin());
    saveAnswer.clear();
    window->OnCommand(ID_OP_READ);
    EXPECT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(saveFolders.back(), folder.Folder());
    EXPECT_TRUE(std::equal(program.rbegin(), program.rend(), window->Files().Image().Bytes().begin()));
    EXPECT_EQ(test::ReadWholeFile(folder.Path("read back.dat")), program);
    EXPECT_EQ(Box()->count(), 1);
}

TEST_F(TransferCommandsTest, CancelWhileTheDeviceDoesNotAnswerEndsSilently) {
    FaultRule silent;
    silent.kind = FaultKind::Silent;
    silent.command = CMD_ENTER_PROG;
    silent.attempt = devsim::kAny;
    Connect({silent});
    // Let it try a while before the user gives up.
    onStage = [this](const QString& stage) {
        if (stage == QString::fromUtf8(kStageEnteringProgramming))
            QTimer::singleShot(50, &window->ProgressWindow(), [this] {
                window->ProgressWindow().findChild<QPushButton*>("IDCANCEL")->click();
            });
    };
    window->LoadImageFile(folder.Write("a.dat", kImageSize), false);
    window->OnCommand(IDC_WRITE);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_GE(device->RequestCount(CMD_ENTER_PROG), 2);
    EXPECT_EQ(device->RequestCount(CMD_RUN_PROGRAM), 0);
    EXPECT_FALSE(cable->IsOpen());
    EXPECT_FALSE(window->ProgressWindow().isVisible());
    EXPECT_EQ(stages.back(), QStringLiteral("Переход в режим программирования"));

    // The same through RunJob itself: the result is IDCANCEL.
    std::vector<std::uint8_t> buffer(kImageBufferSize);
    EXPECT_EQ(window->ProgressWindow().RunJob(3, buffer.data(), TransferMode::Read), IDCANCEL);
    EXPECT_TRUE(recorder.messages.empty());
}

TEST_F(TransferCommandsTest, CancelDuringTheEraseStillWritesBlockZero) {
    Connect();
    CancelAt(QString::fromUtf8(kStageErasing));
    const QString file = folder.Write("a.dat", kImageSize, 4);
    Box()->setEditText(file);
    window->OnCommand(IDC_WRITE);
    EXPECT_TRUE(recorder.messages.empty());
    const std::vector<std::uint8_t> image = test::TestPattern(kImageSize, 4);
    EXPECT_TRUE(FlashBlockIs(0, image));
    EXPECT_TRUE(FlashBlockErased(1));
    EXPECT_EQ(device->RequestCount(CMD_WRITE_BLOCK), 1);
    EXPECT_EQ(Bar()->GetPos(), 0);
    EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
    EXPECT_EQ(stages.back(), QStringLiteral("Переход в рабочий режим"));
}

TEST_F(TransferCommandsTest, EveryWorkerErrorIsShownInTheOpenProgressWindowFirst) {
    struct Case {
        std::vector<FaultRule> faults;
        bool openFails;
        int command;
        const char* text;
        const char* caption;  // "" for the application title
        const char* stage;    // the stage line while the box is open
        int bar;
    };
    const Case cases[] = {
        {{}, true, IDC_WRITE, "Не могу открыть порт", "", "Открытие порта", 0},
        {{Both(FaultKind::Status, CMD_ERASE, devsim::kAny, 0x2A)}, false, IDC_WRITE, "Ошибка стирания", "Ошибка",
         "Стирание программы", 0},
        {{Both(FaultKind::Status, CMD_WRITE_BLOCK, 200, 0x5A)}, false, IDC_WRITE, "Ошибка записи", "Ошибка",
         "Запись программы", 200},
        {{Both(FaultKind::CorruptCrc, CMD_READ_BLOCK, 5)}, false, IDC_READ, "Ошибка чтения", "Ошибка",
         "Чтение программы", 5},
    };
    const QString file = folder.Write("a.dat", kImageSize, 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Connect(c.faults);
        if (c.openFails) cable->FailOpens("unplugged");
        recorder.messages.clear();
        shownWith.clear();
        stages.clear();
        Box()->setEditText(file);
        ASSERT_EQ(window->LoadImageFile(file, true), IDOK);
        window->OnCommand(c.command);

        ASSERT_EQ(recorder.messages.size(), 1u);
        const test::RecordedMessage& box = recorder.messages[0];
        EXPECT_EQ(box.text, QString::fromUtf8(c.text));
        EXPECT_EQ(box.caption, *c.caption ? QString::fromUtf8(c.caption) : ApplicationTitle());
        EXPECT_EQ(box.icon, MessageIcon::Exclamation);
        EXPECT_EQ(box.owner, &window->ProgressWindow());
        EXPECT_TRUE(shownWith[0].visible);
        EXPECT_EQ(shownWith[0].stage, QString::fromUtf8(c.stage));
        EXPECT_EQ(shownWith[0].bar, c.bar);
        EXPECT_FALSE(window->ProgressWindow().isVisible());
        // The device went back to its working mode wherever it had left it.
        EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
        EXPECT_FALSE(cable->IsOpen());
    }
    // The failed read did not touch the image or ask where to save.
    EXPECT_TRUE(saveFolders.isEmpty());
    const std::vector<std::uint8_t> image = test::TestPattern(kImageSize, 6);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), window->Files().Image().Bytes().begin()));
}

TEST_F(TransferCommandsTest, StoredPortOverridesReachTheSystemOpener) {
    // The OS opener, with COM7 pointed at a device that does not exist.
    SetPortOpener({});
    const std::string missing = folder.Path("no-such-tty").toStdString();
    store.WriteString(kSectionPorts, "COM7", missing);
    store.WriteInt(kSectionSettings, kValuePortNumber, 7);
    window = std::make_unique<CMainDlg>(store, FileChoosers{}, [] { return std::string(); });
    window->LoadImageFile(folder.Write("a.dat", kImageSize), false);
    window->OnCommand(IDC_WRITE);
    EXPECT_EQ(recorder.Texts(), QStringList{QStringLiteral("Не могу открыть порт")});
    EXPECT_NE(LastOpenError().find(missing), std::string::npos) << LastOpenError();
}

}  // namespace
}  // namespace bramis
