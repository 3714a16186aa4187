// bramis-flash's commands in-process against emulated devices on virtual
// lines: the checks made before a port is touched, the ports chosen, what
// write, read and verify leave behind, failures and why, several devices at
// once, find, the journal and the trace.
#include "cli/flash_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>  // mkfifo

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#ifndef _WIN32
#include "../image/file_size_limit.h"
#endif
#include "devsim/adapter_model.h"
#include "devsim/device.h"
#include "image/memory_profile_store.h"
#include "journal/journal.h"
#include "link/bootloader.h"
#include "link/port_discovery.h"
#include "link/virtual_line.h"

namespace bramis::cli {
namespace {

namespace fs = std::filesystem;
using devsim::FaultKind;

class FlashAppTest : public ::testing::Test {
protected:
    FlashAppTest() {
        fs::create_directories(folder_);
        fs::create_directories(journalFolder_);
        environment_.settings = &settings;
        settings.WriteString("Settings", "JournalFile", JournalFile());
        // COM numbers of Also() reach their own device, the others the one of Connect().
        environment_.portOpener = [this](unsigned number) {
            const auto own = devices_.find(static_cast<int>(number));
            return (own != devices_.end() ? own : devices_.find(kAnyPort))->second.cable->Opener()(number);
        };
        std::mt19937 random(11);
        std::generate(image.begin(), image.end(), [&random] { return static_cast<char>(random()); });
        Connect();
    }
    ~FlashAppTest() override {
        fs::remove_all(folder_);
        fs::remove_all(journalFolder_);
    }

    // The device the next run talks to (one without faults from the start), on a fresh cable.
    devsim::Device& Connect(std::vector<devsim::FaultRule> faults = {}) { return Also(kAnyPort, std::move(faults)); }
    // A further device on COM `number`, on a cable of its own; behind `adapter`
    // at wire speed when it delays replies.
    devsim::Device& Also(int number, std::vector<devsim::FaultRule> faults = {}) {
        Attached& attached = devices_[number];
        attached.cable.reset();
        devsim::DeviceConfig config;
        config.faults = devsim::FaultPlan(std::move(faults), std::nullopt);
        config.timing.wireSpeed = adapter.Delays();
        attached.device = std::make_unique<devsim::Device>(config);
        attached.adapter = std::make_unique<devsim::AdapterPeer>(*attached.device, adapter);
        attached.cable = std::make_unique<VirtualPort>(*attached.adapter);
        return *attached.device;
    }
    VirtualPort& cable(int number = kAnyPort) { return *devices_.at(number).cable; }
    std::string Flash() const {
        const devsim::Device& device = *devices_.at(kAnyPort).device;
        return std::string(device.Flash().begin(), device.Flash().end());
    }

    // bramis-flash with `args`; its output lands in `out` and `err`.
    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return RunFlashCommandLine(args, environment_, out, err);
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    std::string JournalFile() const { return (journalFolder_ / "journal.csv").string(); }
    std::vector<QStringList> Journal() const {
        QString warning;
        std::vector<QStringList> rows;
        for (const JournalRecord& record : ReadJournal(QString::fromStdString(JournalFile()), warning))
            rows.push_back(JournalFields(record));
        return rows;
    }
    std::string File(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }
    static std::string Contents(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    MemoryProfileStore settings;
    devsim::AdapterModel adapter;
    std::string image = std::string(kImageSize, '\0');
    std::ostringstream out, err;

private:
    static constexpr int kAnyPort = -1;
    struct Attached {
        std::unique_ptr<devsim::Device> device;
        std::unique_ptr<devsim::AdapterPeer> adapter;
        std::unique_ptr<VirtualPort> cable;
    };
    const std::string tag_ = std::to_string(std::random_device{}());
    fs::path folder_ = fs::temp_directory_path() / ("bramis-flash-" + tag_);
    fs::path journalFolder_ = fs::temp_directory_path() / ("bramis-journal-" + tag_);
    FlashEnvironment environment_;
    std::map<int, Attached> devices_;
};

TEST_F(FlashAppTest, BadFilesAndUsageStopBeforeThePortIsTouched) {
    EXPECT_EQ(Run({"write", Path("absent.dat")}), kExitBadUsage);
    EXPECT_EQ(err.str(), "bramis-flash: Не могу открыть файл\n  файл " + Path("absent.dat") +
                             ": нет такого файла или папки\n");
    EXPECT_EQ(Run({"write", File("short.dat", std::string(188415, 'x'))}), kExitBadUsage);
    EXPECT_EQ(err.str(), "bramis-flash: Не верная длина файла\n  размер файла 188415 байт, нужно 188416\n  файл: " +
                             Path("short.dat") + "\n");
    EXPECT_EQ(Run({"write", Path("")}), kExitBadUsage);  // a folder is no image file
    EXPECT_EQ(Run({"--port", "0", "version"}), kExitBadUsage);
    EXPECT_NE(err.str().find("bramis-flash --help"), std::string::npos);

    EXPECT_EQ(cable().OpenCount(), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_EQ(out.str(), UsageText());
}

#ifndef _WIN32  // pipes, device nodes and mode bits as POSIX systems have them
// Reading for minutes into a file that could not be saved would be in vain,
// and a read must never replace what is not a file the user may replace.
TEST_F(FlashAppTest, AReadIsRefusedBeforeThePortIsOpenedWhereItsFileCouldNotBeSaved) {
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    fs::create_directory(Path("folder.dat"));
    const std::string readOnly = File("read-only.dat", "kept");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // Links are followed to the file they lead to, or refused where they lead to none.
    fs::create_symlink("loop.dat", Path("loop.dat"));
    fs::create_symlink("folder.dat", Path("to-folder.dat"));
    fs::create_symlink("/dev/null", Path("to-device.dat"));
    fs::create_symlink("/proc/out.dat", Path("to-proc.dat"));
    const std::string notAFile = "Не могу заменить: это папка, устройство или канал, а не файл\n  файл: ";
    const std::string cannotCreate = "Не могу создать файл\n  ";
    const std::string tooLong = Path(std::string(256, 'x'));
    const struct { std::string target; std::string lines; } rows[] = {
        {Path("pipe"), notAFile + Path("pipe")},
        {"/dev/null", notAFile + "/dev/null"},
        {Path("folder.dat"), notAFile + Path("folder.dat")},
        {readOnly, "Файл защищён от записи\n  файл: " + readOnly},
        {Path("нет-папки/out.dat"), cannotCreate + "папка " + Path("нет-папки") +
                                        ": нет такого файла или папки\n  файл: " + Path("нет-папки/out.dat")},
        // A folder nobody may write in, root included.
        {"/proc/out.dat", cannotCreate + "папка /proc: нет такого файла или папки\n  файл: /proc/out.dat"},
        {tooLong, cannotCreate + "файл " + tooLong + ": слишком длинное имя"},
        {Path("loop.dat"), cannotCreate + "файл " + Path("loop.dat") + ": символические ссылки замкнуты в круг"},
        {Path("to-folder.dat"), notAFile + Path("to-folder.dat")},
        {Path("to-device.dat"), notAFile + Path("to-device.dat")},
        {Path("to-proc.dat"), cannotCreate + "папка /proc: нет такого файла или папки\n  файл: " + Path("to-proc.dat")},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run({"read", row.target}), kExitBadUsage) << row.target;
        EXPECT_EQ(err.str(), "bramis-flash: " + row.lines + "\n");
    }
    EXPECT_EQ(cable().OpenCount(), 0);
    EXPECT_TRUE(fs::is_fifo(Path("pipe")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(Contents(readOnly), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("")), fs::directory_iterator()), 7);
}

TEST_F(FlashAppTest, ANameInAnotherCodePageIsTakenByteForByteAndShownWithEscapes) {
    const std::string cp1251 = File("\xCE\xE1\xF0\xE0\xE7.dat", image);
    EXPECT_EQ(Run({"write", cp1251}), kExitOk) << err.str();
    EXPECT_EQ(Flash(), image);
    EXPECT_EQ(Run({"read", Path("\xD7\xF2.dat")}), kExitOk) << err.str();
    EXPECT_EQ(Contents(Path("\xD7\xF2.dat")), image);
    EXPECT_TRUE(out.str().ends_with("Сохранено в " + Path("\\xD7\\xF2.dat") + "\n")) << out.str();
}

// Writes fail part of the way through everywhere, as on full disks, for root as well.
TEST_F(FlashAppTest, AReadThatCanBeSavedNowhereSaysSoAndWhy) {
    const std::string target = File("kept.dat", "the file the user had");
    const int code = testing::WithFileSizeLimit(kImageSize / 2, [&] { return Run({"read", target}); });
    EXPECT_EQ(code, kExitFailed);
    EXPECT_EQ(Contents(target), "the file the user had");
    const std::string why = "файл больше, чем система разрешает программе";
    EXPECT_TRUE(err.str().ends_with("bramis-flash: Ошибка при записи файла\n  папка " +
                                    fs::path(target).parent_path().string() + ": " + why + "\n  файл: " + target + "\n  прочитанная программа не сохранена (" +
                                    why + ") ни в папке файла, ни во временной, ни в домашней папке: освободите "
                                    "место или укажите другой файл и прочитайте прибор снова\n"))
        << err.str();
}
#endif

TEST_F(FlashAppTest, ThePortIsTheGivenOrStoredNumberAndAFailedOpenIsExplained) {
    cable().FailOpens(PortOpenError{OpenFailure::Busy, "/dev/ttyUSB4", 0, {}, {1234, "minicom"}});
    EXPECT_EQ(Run({"--port", "37", "write", File("ok.dat", image)}), kExitFailed);
    EXPECT_EQ(cable().LastPortNumber(), 37U);
    EXPECT_EQ(out.str(), "Открытие порта\n");
    EXPECT_EQ(err.str(),
              "bramis-flash: Не могу открыть порт\n"
              "  COM37 — /dev/ttyUSB4: порт занят другой программой\n"
              "  Порт открыт программой «minicom» (PID 1234).\n");

    // A port from the settings, not the command line: how to choose another.
    settings.WriteString("Settings", "PortNumber", "12");
    Run({"version"});
    EXPECT_EQ(cable().LastPortNumber(), 12U);
    EXPECT_TRUE(err.str().ends_with("  порт из настроек программатора: COM12 (" + DeviceForPort(12, {}) +
                                    "); другой порт: --port N (список: bramis-flash ports) или --device ПУТЬ\n"))
        << err.str();
    Run({"--port", "3", "version"});
    EXPECT_EQ(cable().LastPortNumber(), 3U);
    settings.Remove("Settings", "PortNumber");
    Run({"version"});
    EXPECT_EQ(cable().LastPortNumber(), 99U);

    // A stored number out of range opens COM1, and the lines and the journal say so.
    cable().FailOpens(std::nullopt);
    settings.WriteString("Settings", "PortNumber", "300");
    EXPECT_EQ(Run({"version"}), kExitOk);
    EXPECT_EQ(cable().LastPortNumber(), 1U);
    EXPECT_EQ(err.str(), "bramis-flash: номер порта в настройках (300) вне 1–255: используется COM1\n");
    EXPECT_EQ(Journal().back()[kColumnPort], "COM1");
}

TEST(FlashWait, EveryPositiveWaitIsALimitTheWorkerCanCount) {
    // No --wait: no limit. 0.0004 s is not 0, which would wait for ever.
    // Milliseconds that overflow the clock's nanoseconds (or the int64 itself)
    // would end the wait at once or be undefined: beyond that there is no limit.
    for (const auto& [seconds, ms] : {std::pair<double, std::int64_t>{0, 0}, {0.2, 200}, {5, 5000}, {0.0004, 1},
                                      {1e10, 0}, {1e300, 0}, {9e8, 900000000000}}) {
        EXPECT_EQ(WaitLimitMs(seconds), ms) << seconds;
    }
}

TEST_F(FlashAppTest, WriteVerifyAndReadBack) {
    devsim::Device& device = Connect();
    const std::string file = File("image.dat", image);
    EXPECT_EQ(Run({"write", file}), kExitOk) << err.str();
    EXPECT_EQ(Flash(), image);
    EXPECT_EQ(device.CurrentMode(), devsim::Mode::Working);
    EXPECT_TRUE(out.str().ends_with("Переход в рабочий режим\nПрограмма успешно записана\n")) << out.str();
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(Run({"verify", file}), kExitOk) << err.str();
    EXPECT_TRUE(out.str().ends_with("Программа в приборе совпадает с файлом\n")) << out.str();
    device.Flash()[77 * 512 + 5] ^= 1;
    device.Flash()[300 * 512] ^= 1;
    EXPECT_EQ(Run({"verify", file}), kExitFailed);
    EXPECT_TRUE(out.str().ends_with("Программа в приборе отличается от файла: первый отличающийся блок 78, "
                                    "всего отличающихся блоков 2 из 368\n"))
        << out.str();

    // A write that reads itself back: first as written, then with a bit lost in between.
    EXPECT_EQ(Run({"write", "--verify", file}), kExitOk) << err.str();
    // The share runs once over the write and its reading back.
    EXPECT_NE(out.str().find("Запись программы\n"), std::string::npos);
    EXPECT_NE(out.str().find(" 50%  блок 368 из 368"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Проверка записи\n 60%  блок 74 из 368"), std::string::npos) << out.str();
    EXPECT_TRUE(out.str().ends_with("Переход в рабочий режим\nПрограмма записана и проверена\n")) << out.str();
    device.SetEventHandler([&device](const devsim::RequestEvent& event) {
        if (event.command == CMD_READ_BLOCK && event.block == 0) device.Flash()[200 * 512 + 9] ^= 4;
    });
    EXPECT_EQ(Run({"write", "--verify", file}), kExitFailed);
    EXPECT_TRUE(out.str().ends_with("Запись не подтверждена: программа в приборе отличается от файла: первый "
                                    "отличающийся блок 201, всего отличающихся блоков 1 из 368\n"))
        << out.str();
    device.SetEventHandler({});

    const std::string back = File("back.dat", "an older file");
    EXPECT_EQ(Run({"read", back}), kExitOk) << err.str();
    EXPECT_EQ(Contents(back), Flash());  // the image only, not the two spare bytes
    EXPECT_NE(out.str().find("Программа успешно прочитана\nСохранено в " + back + "\n"), std::string::npos)
        << out.str();
}

// The first line is the worker's message; the lines under it say where and why.
TEST_F(FlashAppTest, AFailedJobSaysWhyAndLeavesTheOldFileAsItWas) {
    const std::string erased =
        "  программа прибора стёрта или записана не полностью: прибор заработает только после успешной записи\n";
    const std::string target = File("keep.dat", "the file the user had");
    const std::string file = File("image.dat", image);
    const std::string vanished = "bramis-flash: Порт пропал: кабель или USB-адаптер отключён?\n";
    const struct { devsim::FaultRule fault; std::vector<std::string> args; std::string err; int exit = kExitFailed; }
        rows[] = {
        {{.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 5, .value = 0x2A}, {"write", file},
         "bramis-flash: Ошибка записи\n  блок 6 из 368: прибор отказался принять блок (статус 2A)\n" + erased},
        {{.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 0, .value = 0x5A}, {"write", file},
         "bramis-flash: Ошибка записи\n  блок 1 из 368: прибор отказался принять блок (статус 5A)\n" + erased},
        {{.kind = FaultKind::Silent, .command = CMD_ERASE}, {"write", file},
         "bramis-flash: Ошибка стирания\n  причина: прибор не ответил\n" + erased},
        {{.kind = FaultKind::WrongCheck, .command = CMD_GET_VERSION}, {"version"},
         "bramis-flash: Ошибка чтения версии загрузчика\n  причина: ответ прибора искажён\n"},
        {{.kind = FaultKind::CorruptCrc, .command = CMD_READ_BLOCK, .block = 100}, {"read", target},
         "bramis-flash: Ошибка чтения\n  блок 101 из 368: ответ прибора искажён\n"},
        {{.kind = FaultKind::Silent}, {"--wait", "0.2", "version"},
         "bramis-flash: прибор не перешёл в режим программирования за 0.2 с\n"},
        // Unplugged while waiting for programming mode: said at once, with or without a limit on the wait.
        {{.kind = FaultKind::Drop, .command = CMD_ENTER_PROG}, {"version"}, vanished},
        {{.kind = FaultKind::Drop, .command = CMD_ENTER_PROG}, {"--wait", "60", "version"}, vanished},
        {{.kind = FaultKind::Silent, .command = CMD_RUN_PROGRAM}, {"version"},
         "bramis-flash: предупреждение: прибор не подтвердил переход в рабочий режим\n", kExitOk},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        Connect({row.fault});
        EXPECT_EQ(Run(row.args), row.exit);
        EXPECT_EQ(err.str(), row.err);
        EXPECT_EQ(out.str().find("успешно"), std::string::npos);
        EXPECT_TRUE(row.fault.kind != FaultKind::Drop || cable().NowMs() < 100.0) << cable().NowMs();
    }
    EXPECT_EQ(Contents(target), "the file the user had");
    // Nothing else was left in the folder either.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(target).parent_path()), fs::directory_iterator()), 2);
}

TEST_F(FlashAppTest, AReplyHeldBackByTheAdaptersLatencyTimerIsToldSo) {
    adapter.latencyMs = 32.0;
    Connect();
    EXPECT_EQ(Run({"read", Path("back.dat")}), kExitFailed);
    EXPECT_EQ(err.str(), "bramis-flash: Ошибка чтения\n  блок 2 из 368: ответ прибора прервался паузой длиннее 30 мс\n"
                         "  USB-переходник придерживает принятые байты (его таймер задержки): уменьшите задержку переходника до 16 мс или меньше (в настройках его драйвера) или возьмите другой переходник.\n"
                         "bramis-flash: предупреждение: прибор не подтвердил переход в рабочий режим\n");
}

// Three devices at once: a port that does not open and a device that refuses
// a block fail alone; the summary tells each, the worst result is the exit code.
TEST_F(FlashAppTest, SeveralDevicesRunAtOnceEachFailingOnItsOwn) {
    devsim::Device& good = Also(5);
    Also(6);
    cable(6).FailOpens(PortOpenError{OpenFailure::Busy, "/dev/ttyS5", 16, "busy", {}});
    Also(7, {{.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = 100, .value = 0x2A}});
    EXPECT_EQ(Run({"--port", "5", "--port", "6", "--port", "7", "write", File("image.dat", image)}), kExitFailed);
    EXPECT_EQ(std::string(good.Flash().begin(), good.Flash().end()), image);
    EXPECT_NE(out.str().find("COM5: Программа успешно записана\n"), std::string::npos) << out.str();
    // The devices' lines may interleave: each names its own.
    EXPECT_NE(err.str().find("COM6: bramis-flash: Не могу открыть порт\n"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("COM6:   COM6 — /dev/ttyS5: порт занят"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("COM7:   блок 101 из 368: прибор отказался принять блок (статус 2A)\n"), std::string::npos)
        << err.str();
    // Every line before the summary names its device.
    const std::string text = out.str();
    const std::size_t summary = text.find("Итог:\n");
    ASSERT_NE(summary, std::string::npos) << text;
    for (std::size_t at = 0; at < summary; at = text.find('\n', at) + 1) {
        EXPECT_EQ(text.compare(at, 3, "COM"), 0) << text.substr(at, text.find('\n', at) - at);
    }
    EXPECT_NE(text.find("  COM5: успешно (", summary), std::string::npos) << text;
    EXPECT_NE(text.find("  COM6: Не могу открыть порт (", summary), std::string::npos) << text;
    EXPECT_NE(text.find("  COM7: Ошибка записи (", summary), std::string::npos) << text;

    // A read of several devices saves each into its own file.
    EXPECT_EQ(Run({"--port", "5", "--port", "7", "read", Path("fw.dat")}), kExitBadUsage);
    EXPECT_NE(err.str().find("имя файла должно содержать {port}"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"--port", "5", "--port", "7", "read", Path("fw-{port}.dat")}), kExitOk) << err.str();
    EXPECT_EQ(Contents(Path("fw-COM5.dat")), image);
    EXPECT_EQ(Contents(Path("fw-COM7.dat")).size(), kImageSize);

    // The same device twice is refused before any port opens.
    const int opensBefore = cable(5).OpenCount();
    EXPECT_EQ(Run({"--port", "5", "--port", "5", "version"}), kExitBadUsage);
    const std::string device = DeviceForPort(37, {});
    EXPECT_EQ(Run({"--port", "37", "--device", device, "version"}), kExitBadUsage);
    EXPECT_EQ(err.str(), "bramis-flash: один и тот же прибор указан дважды: COM37 (" + device + ") и " + device + "\n");
    EXPECT_EQ(cable(5).OpenCount(), opensBefore);
}

// Every job leaves a record; many retried attempts on a port warn of the
// cable; a journal that cannot be written never changes the job's result.
TEST_F(FlashAppTest, EveryJobIsJournalledAndTheJournalPrinted) {
    std::vector<devsim::FaultRule> faults;
    for (int block = 0; block < 11; ++block) {
        faults.push_back({.kind = FaultKind::Status, .command = CMD_WRITE_BLOCK, .block = block, .attempt = 0, .value = 0x5A});
    }
    // Four earlier jobs on the port without a retry: with this one, five jobs and eleven retries.
    JournalRecord earlier;
    earlier.device = QString::fromStdString(DeviceForPort(33, {}));
    for (int i = 0; i < 4; ++i) ASSERT_EQ(AppendJournalRecord(QString::fromStdString(JournalFile()), earlier), "");
    Connect(faults);
    EXPECT_EQ(Run({"--port", "33", "write", File("image.dat", image)}), kExitOk) << err.str();
    EXPECT_NE(err.str().find("Проверьте кабель и переходник."), std::string::npos) << err.str();
    Connect({{.kind = FaultKind::Silent, .command = CMD_GET_VERSION}});
    EXPECT_EQ(Run({"--port", "33", "version"}), kExitFailed);

    std::vector<QStringList> rows = Journal();
    ASSERT_EQ(rows.size(), 6U);
    rows.erase(rows.begin(), rows.begin() + 4);
    const QStringList& w = rows[0];
    EXPECT_EQ((QStringList{w[kColumnProgram], w[kColumnJob], w[kColumnPort], w[kColumnDevice], w[kColumnFile],
                           w[kColumnSha256], w[kColumnLoaderVersion], w[kColumnResult], w[kColumnRetries]}),
              (QStringList{"bramis-flash", "запись", "COM33", QString::fromStdString(DeviceForPort(33, {})),
                           QString::fromStdString(Path("image.dat")),
                           Sha256Hex(reinterpret_cast<const std::uint8_t*>(image.data()), kImageSize),
                           "01.00", "успешно", "11"}));
    EXPECT_EQ((QStringList{rows[1][kColumnResult], rows[1][kColumnStage]}),
              (QStringList{"ошибка", "Определение версии загрузчика"}));

    EXPECT_EQ(Run({"journal", "1"}), kExitOk);
    const std::string printed = out.str();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_NE(printed.find("версия  COM33  " + DeviceForPort(33, {}) + "  ошибка (Определение версии загрузчика)"),
              std::string::npos) << printed;
    // A record written elsewhere with a line break in a field stays one line.
    JournalRecord odd;
    odd.file = QStringLiteral("a\nb.dat");
    ASSERT_EQ(AppendJournalRecord(QString::fromStdString(JournalFile()), odd), "");
    EXPECT_EQ(Run({"journal", "1"}), kExitOk);
    const std::string oneLine = out.str();
    EXPECT_NE(oneLine.find("a\\x0Ab.dat"), std::string::npos) << oneLine;
    EXPECT_EQ(std::count(oneLine.begin(), oneLine.end(), '\n'), 1) << oneLine;

    settings.WriteString("Settings", "JournalFile", Path(""));  // a folder
    Connect();
    EXPECT_EQ(Run({"version"}), kExitOk);
    EXPECT_NE(err.str().find("bramis-flash: предупреждение: Журнал заданий"), std::string::npos) << err.str();
}

// The device answers on one port of two; the silent one is only asked.
TEST_F(FlashAppTest, FindTriesEachPortUntilADeviceAnswers) {
    cable().FailOpens(PortOpenError{});  // the machine's own ports
    Also(200, {{.kind = FaultKind::Silent}});
    Also(201);
    settings.WriteString("Ports", "COM200", File("silent", ""));
    settings.WriteString("Ports", "COM201", File("device", ""));
    EXPECT_EQ(Run({"find"}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("отправляется на каждый порт"), std::string::npos);
    EXPECT_NE(out.str().find("Проверка COM200\t" + Path("silent") + "\n"), std::string::npos) << out.str();
    EXPECT_TRUE(out.str().ends_with("Прибор найден: COM201\t" + Path("device") + "\n")) << out.str();

    settings.Remove("Ports", "COM201");
    EXPECT_EQ(Run({"find"}), kExitFailed);
    EXPECT_EQ(err.str(), "bramis-flash: прибор не ответил ни на одном порту\n");
}

// The doctor: nothing in the way is exit 0; a silent device and a missing
// node are problems, each with what to do.
TEST_F(FlashAppTest, DoctorNamesWhatStandsInTheWay) {
    settings.WriteString("Ports", "COM200", File("device", ""));
    const devsim::Device& device = Connect();
    EXPECT_EQ(Run({"--port", "200", "doctor"}), kExitOk) << out.str();
    EXPECT_TRUE(out.str().ends_with("  прибор ответил и возвращён в рабочий режим\nНичего не мешает\n")) << out.str();
    EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);

    // Both silent, each on its own cable: the ports are asked side by side.
    Connect({{.kind = FaultKind::Silent}});
    Also(201, {{.kind = FaultKind::Silent}});
    settings.WriteString("Ports", "COM201", Path("absent"));
    EXPECT_EQ(Run({"--port", "200", "--port", "201", "doctor"}), kExitFailed);
    EXPECT_NE(out.str().find("  проблема: прибор не ответил"), std::string::npos) << out.str();
#ifndef _WIN32
    // The system's own checks are Linux's.
    EXPECT_NE(out.str().find("  проблема: устройства " + Path("absent") + " нет"), std::string::npos) << out.str();
    EXPECT_TRUE(out.str().ends_with("Найдено проблем: 3\n")) << out.str();
#endif

    // A port held by another program is said as such, not as a silent device.
    cable().FailOpens(PortOpenError{OpenFailure::Busy, "COM200", 0, {}, {}});
    EXPECT_EQ(Run({"--port", "200", "doctor"}), kExitFailed);
    EXPECT_NE(out.str().find("  проблема: порт не открывается: COM200: порт занят другой программой; что делать: "
                             "закройте программу, которая его открыла"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("прибор не ответил"), std::string::npos) << out.str();
}

TEST_F(FlashAppTest, TraceShowsEveryRequestAndReplyInHexDuringItsJobOnly) {
    EXPECT_EQ(Run({"--trace", "version"}), kExitOk);
    const std::string trace = err.str();
    EXPECT_TRUE(trace.starts_with("     0.000 мс -> 80 7F 7F 7F 7F 55\n")) << trace;
    EXPECT_NE(trace.find(" мс <- 80 7F 7F 7F 7F 2A\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" мс -> 80 7F 7F 7F 7F 09 23\n"), std::string::npos) << trace;
    EXPECT_TRUE(trace.ends_with(" мс <- 80 7F 7F 7F 7F 08 22\n")) << trace;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 6);
    EXPECT_EQ(Run({"version"}), kExitOk);
    EXPECT_EQ(err.str(), "");
}

TEST_F(FlashAppTest, PortsListsTheNumbersWhoseDeviceOpens) {
    // Any file that opens for reading and writing stands in for a device.
    const std::string name = File("device", "");
    settings.WriteString("Ports", "COM200", name);
    settings.WriteString("Ports", "COM201", Path("absent"));
    EXPECT_EQ(Run({"ports"}), kExitOk);
    EXPECT_NE(out.str().find("COM200\t" + name + "\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("COM201"), std::string::npos);
    EXPECT_EQ(cable().OpenCount(), 0);  // probing goes to the devices, not through the channel
}

}  // namespace
}  // namespace bramis::cli
