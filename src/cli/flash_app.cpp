#include "cli/flash_app.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli/console.h"
#include "cli/info_commands.h"
#include "cli/terminal_view.h"
#include "image/firmware_image.h"
#include "image/image_compare.h"
#include "image/image_file.h"
#include "image/utf8_path.h"
#include "job/transfer_job.h"
#include "job/transfer_worker.h"
#include "journal/journal.h"
#include "link/bootloader.h"
#include "link/port_discovery.h"
#include "link/serial_channel.h"
#include "report/words.h"

namespace bramis::cli {

namespace {

// How often the main thread looks for Ctrl+C while the jobs run.
constexpr std::chrono::milliseconds kSignalPoll(50);

// What a file-name pattern of `read` with several devices must hold.
constexpr std::string_view kPortPlaceholder = "{port}";

// Which port a device's jobs open, and how to name it in messages.
struct PortChoice {
    int number = kDefaultPortNumber;
    std::string device;    // "" when the number maps to no device here
    bool byPath = false;   // named by --device rather than a COM number
    bool given = false;    // named on the command line rather than in the stored settings

    // "COM5", or the device path of --device.
    std::string Label() const { return byPath ? device : "COM" + std::to_string(number); }
    // "COM5 (/dev/ttyS4)", or "COM5" when it maps to no device.
    std::string Name() const { return byPath || device.empty() ? Label() : Label() + " (" + device + ")"; }
    // What tells two devices apart: the device file behind any links, else the number.
    std::string Identity() const {
        if (device.empty()) {
            return Label();
        }
        std::error_code error;
        const std::filesystem::path real = std::filesystem::weakly_canonical(device, error);
        return error ? device : real.string();
    }
};

// 1 over 3 over 0: the exit code of several devices.
int Worse(int a, int b) {
    const auto rank = [](int code) { return code == kExitFailed ? 3 : code == kExitBadUsage ? 2 : code == kExitCancelled ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::map<int, std::string> StoredPortOverrides(const FlashEnvironment& environment) {
    return environment.settings != nullptr ? ReadPortOverrides(*environment.settings) : std::map<int, std::string>();
}

// The devices the options name, in their order; the stored port without any.
std::vector<PortChoice> ChoosePorts(const CliOptions& options, const FlashEnvironment& environment) {
    const std::map<int, std::string> overrides = StoredPortOverrides(environment);
    std::vector<PortChoice> ports;
    for (const int number : options.portNumbers) {
        ports.push_back({.number = number, .device = DeviceForPort(number, overrides), .given = true});
    }
    for (const std::string& device : options.devices) {
        ports.push_back({.number = 0, .device = device, .byPath = true, .given = true});
    }
    if (ports.empty()) {
        const int number = environment.settings != nullptr
                               ? environment.settings->GetInt(kSectionSettings, kValuePortNumber, kDefaultPortNumber)
                               : kDefaultPortNumber;
        ports.push_back({.number = number, .device = DeviceForPort(number, overrides)});
    }
    return ports;
}

// The file a read from `port` saves: `pattern` with {port} replaced by the
// port's label (the last part of a device path).
std::string ReadTarget(const std::string& pattern, const PortChoice& port) {
    std::string target = pattern;
    const std::string label = port.byPath ? std::filesystem::path(port.device).filename().string() : port.Label();
    for (auto at = target.find(kPortPlaceholder); at != std::string::npos; at = target.find(kPortPlaceholder, at)) {
        target.replace(at, kPortPlaceholder.size(), label);
        at += label.size();
    }
    return target;
}

// "01.03" of "Версия загрузчика 01.03", "" when none was read.
QString LoaderVersion(const std::string& versionText) {
    const auto space = versionText.rfind(' ');
    return space == std::string::npos ? QString() : QString::fromStdString(versionText.substr(space + 1));
}

// The reply to the last request before the return to working mode, which
// follows a failed step: whether the device answered that step at all.
struct LastReply {
    std::size_t length = 0;
    bool returning = false;  // the request to return to working mode has gone out

    void Take(TraceDirection direction, const std::uint8_t* data, std::size_t size) {
        constexpr std::size_t kCommandAt = 5;  // the command code's offset in a request
        if (direction == TraceDirection::Sent && size > kCommandAt && data[kCommandAt] == CMD_RUN_PROGRAM) {
            returning = true;
        } else if (direction == TraceDirection::Received && !returning) {
            length = size;
        }
    }
};

// Why a step failed, as far as the outcome tells; `replyLength` is what the
// failed step's last reply brought.
std::string FailureCause(const TransferOutcome& outcome, std::size_t replyLength) {
    switch (outcome.result) {
        case JOB_PORT_LOST:
            return "порт пропал";
        case LINK_WRITE_STATUS_5A:
            return "прибор отказался принять блок (статус 5A)";
        case LINK_WRITE_STATUS_2A:
            return "прибор отказался принять блок (статус 2A)";
        default:
            return replyLength == 0 ? "прибор не ответил" : "ответ прибора повреждён";
    }
}

// The lines under a file's message: why, then the file unless the cause
// already names it.
std::vector<std::string> FileDetails(const FileOutcome& outcome, const std::string& path) {
    std::vector<std::string> lines;
    if (std::string cause = words::ImageFileCauseLine(outcome); !cause.empty()) {
        lines.push_back(std::move(cause));
    }
    if (outcome.cause == FileCause::None || outcome.whereIsFolder) {
        lines.push_back("файл: " + PrintablePath(path));
    }
    return lines;
}

// What the run shares with every device's thread.
struct RunShared {
    const CliOptions& options;
    const PortOpener& portOpener;  // FlashEnvironment::portOpener
    FirmwareImage& fileImage;  // write and verify: only read while the jobs run
    // Read on the main thread, as the settings store wants.
    std::map<int, std::string> portOverrides;
    QString journalPath;
    std::atomic<int> stopRequests{0};  // the cancel requests counted so far
};

// One device's jobs, run on a thread of its own: the transfer (a write and
// its verify, a read and its save, ...), its messages, the journal.
class DeviceRun {
public:
    DeviceRun(RunShared& shared, PortChoice port, std::unique_ptr<TerminalView> view, std::string readTarget)
        : shared_(shared), port_(std::move(port)), view_(std::move(view)), readTarget_(std::move(readTarget)) {}

    // The device's thread.
    void Run() {
        const auto started = std::chrono::steady_clock::now();
        exitCode_ = RunCommand();
        seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        WarnOfCable();
    }

    // Cancels the running job and any after it. Any thread.
    void Cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (job_ != nullptr) {
            job_->Cancel();
        }
    }

    TerminalView& view() { return *view_; }
    int exitCode() const { return exitCode_; }
    // "COM5: успешно (08:03)". Once Run has returned.
    std::string Summary() const {
        return port_.Label() + ": " + (exitCode_ == kExitOk ? "успешно" : result_) + " (" + FormatDuration(seconds_) + ")";
    }

private:
    int RunCommand() {
        const CliOptions& options = shared_.options;
        const double wait = options.waitSeconds.value_or(0);
        switch (options.command) {
            case Command::Version:
                return Transfer(TransferMode::Identify, nullptr,
                                options.waitSeconds.value_or(kVersionWaitSeconds));
            case Command::Write:
                if (const int code = Transfer(TransferMode::Write, shared_.fileImage.Buffer().data(), wait);
                    code != kExitOk) {
                    return code;
                }
                if (!options.verify) {
                    view_->Note("Программа успешно записана");
                    return kExitOk;
                }
                if (const int code = Transfer(TransferMode::Verify, deviceImage_.Buffer().data(), wait);
                    code != kExitOk) {
                    return code;
                }
                return Compare("Программа записана и проверена",
                               "Запись не подтверждена: программа в приборе отличается от файла");
            case Command::Read:
                if (const int code = Transfer(TransferMode::Read, deviceImage_.Buffer().data(), wait);
                    code != kExitOk) {
                    return code;
                }
                return Save();
            case Command::Verify:
                if (const int code = Transfer(TransferMode::Read, deviceImage_.Buffer().data(), wait);
                    code != kExitOk) {
                    return code;
                }
                return Compare("Программа в приборе совпадает с файлом", "Программа в приборе отличается от файла");
            default:
                return kExitBadUsage;
        }
    }

    // One job on this device, with its messages and its journal record;
    // returns its exit code.
    int Transfer(TransferMode mode, std::uint8_t* buffer, double limitSeconds) {
        SerialChannel channel;
        if (port_.byPath) {
            channel.SetPortOpener(DevicePathOpener(port_.device));
        } else {
            channel.SetPortOverrides(shared_.portOverrides);
            channel.SetPortOpener(shared_.portOpener);
        }
        LastReply reply;
        channel.SetTraceHandler(WatchReplies(reply));

        const QDateTime started = QDateTime::currentDateTime();
        TransferJob job(channel, *view_, port_.number, buffer, mode, WaitLimitMs(limitSeconds));
        if (!StartAndWait(job)) {
            view_->ShowError("Не удалось запустить обмен с прибором", "");
            result_ = view_->errorText();
            return kExitFailed;
        }
        const TransferOutcome& outcome = job.Outcome();
        stopsSeen_ = shared_.stopRequests.load();
        // A port that has gone has its own message.
        if (outcome.programmingEntered && !outcome.runProgramConfirmed && outcome.result != JOB_PORT_LOST) {
            Error("предупреждение: прибор не подтвердил переход в рабочий режим");
        }
        const int code = outcome.succeeded() ? kExitOk : ReportFailure(outcome, mode, limitSeconds, reply.length);
        Journal(mode, outcome, buffer, started);
        return code;
    }

    // Starts `job` unless the run is cancelled already and waits for its end.
    bool StartAndWait(TransferJob& job) {
        {
            std::lock_guard lock(mutex_);
            if (cancelled_) {
                job.Cancel();
            }
            if (!job.Start(StdThreadLauncher(StartThreadWithoutCancelSignals))) {
                return false;
            }
            job_ = &job;
        }
        job.Wait();
        std::lock_guard lock(mutex_);
        job_ = nullptr;
        return true;
    }

    // Notes the replies for the failure's cause, and with --trace shows
    // every request and reply in hex: ms since the first, the direction, the
    // bytes.
    TraceHandler WatchReplies(LastReply& reply) {
        return [this, &reply, originMs = std::optional<double>()](
                   TraceDirection direction, const std::uint8_t* data, std::size_t length, double atMs) mutable {
            reply.Take(direction, data, length);
            if (!shared_.options.trace) {
                return;
            }
            if (!originMs) {
                originMs = atMs;
            }
            char head[48];
            std::snprintf(head, sizeof head, "%10.3f мс %s", atMs - *originMs,
                          direction == TraceDirection::Sent ? "->" : "<-");
            std::string line = head;
            if (length == 0) {
                line += " (нет ответа)";
            }
            for (std::size_t i = 0; i < length; ++i) {
                char byte[4];
                std::snprintf(byte, sizeof byte, " %02X", data[i]);
                line += byte;
            }
            view_->Note(line, true);
        };
    }

    // Says why a job failed, as far as the worker did not already; returns
    // the exit code.
    int ReportFailure(const TransferOutcome& outcome, TransferMode mode, double limitSeconds, std::size_t replyLength) {
        int code = kExitFailed;
        if (outcome.enterProgrammingTimedOut) {
            result_ = "прибор не перешёл в режим программирования за " + FormatSeconds(limitSeconds) + " с";
            Error(result_);
        } else if (view_->errorShown()) {
            result_ = view_->errorText();
            if (outcome.stage == TransferStage::OpeningPort) {
                ExplainOpenFailure(outcome);
            } else if (outcome.block) {
                Detail("блок " + std::to_string(*outcome.block + 1) + " из " + std::to_string(kBlockCount) + ": " +
                       FailureCause(outcome, replyLength));
            } else if (outcome.result != JOB_PORT_LOST) {
                Detail("причина: " + FailureCause(outcome, replyLength));
            }
        } else if (outcome.cancelled) {
            // Only a job that the cancel itself ended counts as cancelled: a
            // step that failed on its own while the cancel waited is a failure.
            result_ = "отменено";
            Error("задание отменено");
            code = kExitCancelled;
        } else {
            result_ = "не выполнено на этапе «" + StageText(outcome.stage) + "»";
            Error("задание " + result_);
        }
        const bool eraseBegun = outcome.stage == TransferStage::Erasing || outcome.stage == TransferStage::Writing;
        if (mode == TransferMode::Write && eraseBegun) {
            Detail("программа прибора стёрта или записана не полностью: прибор заработает только после "
                   "успешной записи");
        }
        return code;
    }

    void ExplainOpenFailure(const TransferOutcome& outcome) {
        const std::string reason = outcome.openError.empty() ? "причина неизвестна" : outcome.openError;
        Detail(port_.byPath ? "причина: " + reason : "порт " + port_.Label() + ", " + reason);
        if (const std::string hint = PortAccessHint(port_.device); !hint.empty()) {
            Detail(hint);
        }
        if (!port_.given) {
            Detail("порт из настроек программатора: " + port_.Name() + "; другой порт: --port N (список: " +
                   kApplicationTitle + " ports) или --device ПУТЬ");
        }
    }

    int Save() {
        view_->Note("Программа успешно прочитана");
        const auto stopRequested = [this] { return shared_.stopRequests.load() > stopsSeen_; };
        FileOutcome saved = SaveFileAtomically(readTarget_, deviceImage_.Bytes(), stopRequested);
        if (saved.status == ImageFileStatus::Stopped) {
            result_ = "отменено, файл не изменён";
            Error("задание " + result_);
            return kExitCancelled;
        }
        if (!saved.done()) {
            result_ = words::ImageFileMessage(saved.status);
            Error(result_);
            for (const std::string& line : FileDetails(saved, readTarget_)) {
                Detail(line);
            }
            // Minutes of reading are not thrown away for a file that would not save.
            SaveCopyElsewhere(readTarget_, deviceImage_.Bytes(), saved);
            Detail(words::UnsavedReadLine(saved));
            return kExitFailed;
        }
        view_->Note("Сохранено в " + PrintablePath(readTarget_));
        return kExitOk;
    }

    int Compare(const std::string& same, const std::string& different) {
        const BlockDifferences differences = CompareImages(deviceImage_.Bytes(), shared_.fileImage.Bytes());
        if (differences.count == 0) {
            view_->Note(same);
            return kExitOk;
        }
        result_ = "отличается от файла";
        view_->Note(different + ": первый отличающийся блок " + std::to_string(differences.firstBlock + 1) +
                    ", всего отличающихся блоков " + std::to_string(differences.count) + " из " +
                    std::to_string(kBlockCount));
        return kExitFailed;
    }

    // Appends the job's record; a journal that cannot be written only warns.
    void Journal(TransferMode mode, const TransferOutcome& outcome, const std::uint8_t* image,
                 const QDateTime& started) {
        JournalRecord record;
        record.started = started;
        record.durationMs = started.msecsTo(QDateTime::currentDateTime());
        record.program = QStringLiteral("bramis-flash");
        record.user = CurrentUserName();
        record.job = mode == TransferMode::Write    ? JournalJob::Write
                     : mode == TransferMode::Identify ? JournalJob::Version
                     : shared_.options.command == Command::Read ? JournalJob::Read
                                                               : JournalJob::Verify;
        record.portNumber = port_.byPath ? 0 : port_.number;
        record.device = QString::fromStdString(port_.device);
        record.file = QString::fromStdString(PrintablePath(
            mode == TransferMode::Read && shared_.options.command == Command::Read ? readTarget_ : shared_.options.file));
        // A write's image is known whatever happened; a read's only once whole.
        if (image != nullptr && (mode == TransferMode::Write || outcome.succeeded())) {
            record.imageSha256 = Sha256Hex(image, kImageSize);
        }
        record.loaderVersion = LoaderVersion(view_->versionText());
        TakeOutcome(record, outcome);
        if (const QString warning = AppendJournalRecord(shared_.journalPath, record); !warning.isEmpty()) {
            Error("предупреждение: " + warning.toStdString());
        }
    }

    // Many retried attempts in this device's last jobs point to the cable.
    void WarnOfCable() {
        QString warning;
        if (!port_.device.empty() &&
            CableNeedsChecking(ReadJournal(shared_.journalPath, warning), QString::fromStdString(port_.device))) {
            Error("предупреждение: в последних заданиях на этом порту много повторов обмена - проверьте кабель "
                  "и переходник");
        }
    }

    // "bramis-flash: message" on standard error.
    void Error(const std::string& message) { view_->Note(std::string(kApplicationTitle) + ": " + message, true); }
    // An indented line under the message before it.
    void Detail(const std::string& line) { view_->Note("  " + line, true); }

    RunShared& shared_;
    const PortChoice port_;
    const std::unique_ptr<TerminalView> view_;
    const std::string readTarget_;
    FirmwareImage deviceImage_;
    std::mutex mutex_;
    TransferJob* job_ = nullptr;  // the running job, under mutex_
    bool cancelled_ = false;      // under mutex_
    int stopsSeen_ = 0;           // cancel requests counted when the last job ended
    int exitCode_ = kExitFailed;
    std::string result_;  // the failure, for the summary
    double seconds_ = 0;
};

class FlashCommand {
public:
    FlashCommand(const CliOptions& options, const FlashEnvironment& environment, std::ostream& out,
                 std::ostream& err)
        : options_(options), environment_(environment), out_(out), err_(err) {}

    int Run() {
        switch (options_.command) {
            case Command::Help:
                out_ << UsageText() << std::flush;
                return kExitOk;
            case Command::ProgramVersion:
                out_ << kApplicationTitle << ' ' << BRAMIS_VERSION << '\n' << std::flush;
                return kExitOk;
            case Command::Ports:
                return ListPorts(StoredPortOverrides(environment_), out_);
            case Command::Find:
                return FindPort(StoredPortOverrides(environment_), environment_.portOpener, out_, err_);
            case Command::Journal:
                return PrintJournal(JournalFile(), options_.journalRecords, out_, err_);
            default:
                return TransferOnEveryDevice();
        }
    }

private:
    QString JournalFile() const {
        return environment_.settings != nullptr ? JournalPath(*environment_.settings) : DefaultJournalPath();
    }

    // Everything that can be refused before a port is touched.
    bool Refused(const std::vector<PortChoice>& ports) {
        std::map<std::string, std::string> seen;  // identity -> the name given first
        for (const PortChoice& port : ports) {
            if (const auto [at, fresh] = seen.emplace(port.Identity(), port.Name()); !fresh) {
                return Refuse("один и тот же прибор указан дважды: " + at->second + " и " + port.Name());
            }
        }
        if (options_.command == Command::Write || options_.command == Command::Verify) {
            if (const FileOutcome loaded = ReadImageFile(options_.file, fileImage_.Bytes()); !loaded.done()) {
                return RefuseFile(loaded, options_.file);
            }
        }
        if (options_.command != Command::Read) {
            return false;
        }
        if (ports.size() > 1 && options_.file.find(kPortPlaceholder) == std::string::npos) {
            return Refuse("для чтения нескольких приборов имя файла должно содержать {port}, например "
                          "fw-{port}.dat: {port} заменяется именем порта");
        }
        std::set<std::string> targets;
        for (const PortChoice& port : ports) {
            const std::string target = ReadTarget(options_.file, port);
            if (!targets.insert(target).second) {
                return Refuse("два прибора сохраняли бы в один файл: " + target);
            }
            if (const FileOutcome checked = CheckSaveTarget(target); !checked.done()) {
                return RefuseFile(checked, target);
            }
        }
        return false;
    }

    bool Refuse(const std::string& message) {
        err_ << kApplicationTitle << ": " << message << '\n' << std::flush;
        return true;
    }
    bool RefuseFile(const FileOutcome& outcome, const std::string& path) {
        err_ << kApplicationTitle << ": " << words::ImageFileMessage(outcome.status) << '\n';
        for (const std::string& line : FileDetails(outcome, path)) {
            err_ << "  " << line << '\n';
        }
        err_ << std::flush;
        return true;
    }

    int TransferOnEveryDevice() {
        const std::vector<PortChoice> ports = ChoosePorts(options_, environment_);
        if (Refused(ports)) {
            return kExitBadUsage;
        }
        const bool live = environment_.liveProgress && !options_.trace;
        const bool several = ports.size() > 1;
        ConsoleBoard board(out_, err_, live, ports.size());
        RunShared shared{options_, environment_.portOpener, fileImage_, StoredPortOverrides(environment_),
                         JournalFile()};
        std::vector<std::unique_ptr<DeviceRun>> runs;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            auto view = several ? std::make_unique<TerminalView>(board, i, ports[i].Label() + ": ", kApplicationTitle)
                                : std::make_unique<TerminalView>(out_, err_, live, kApplicationTitle);
            runs.push_back(std::make_unique<DeviceRun>(shared, ports[i], std::move(view),
                                                       ReadTarget(options_.file, ports[i])));
        }
        const auto announce = [&](const std::string& line) {
            several ? board.Print(line, true) : runs.front()->view().Note(line, true);
        };
        RunAll(runs, shared, announce);

        board.Close();
        int exitCode = kExitOk;
        for (const auto& run : runs) {
            exitCode = Worse(exitCode, run->exitCode());
        }
        if (several) {
            out_ << "Итог:\n";
            for (const auto& run : runs) {
                out_ << "  " << run->Summary() << '\n';
            }
        }
        if (environment_.liveProgress) {
            out_ << '\a';  // the bell: a job that ran for minutes has ended
        }
        out_ << std::flush;
        return exitCode;
    }

    // Runs every device on its own thread until all have ended, turning the
    // first Ctrl+C or other request to stop into a cancel of every job; later
    // ones change nothing. Held until the reads are saved: a request to stop
    // during a save must not end the process with its new file half made.
    static void RunAll(const std::vector<std::unique_ptr<DeviceRun>>& runs, RunShared& shared,
                       const std::function<void(const std::string&)>& announce) {
        const CancelSignals cancelSignals;
        std::atomic<std::size_t> running{runs.size()};
        std::vector<std::thread> threads;
        for (const auto& run : runs) {
            threads.push_back(StartThreadWithoutCancelSignals([&run, &running] {
                run->Run();
                --running;
            }));
        }
        int seen = 0;
        while (running > 0) {
            std::this_thread::sleep_for(kSignalPoll);
            const int count = cancelSignals.Count();
            if (count == seen) {
                continue;
            }
            shared.stopRequests = count;
            if (seen == 0) {
                for (const auto& run : runs) {
                    run->Cancel();
                }
                announce("Отмена: задание остановится после текущего шага");
            } else {
                announce("Отмена уже запрошена, дождитесь конца задания");
            }
            seen = count;
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }

    const CliOptions& options_;
    const FlashEnvironment& environment_;
    std::ostream& out_;
    std::ostream& err_;
    FirmwareImage fileImage_;
};

}  // namespace

std::int64_t WaitLimitMs(double seconds) {
    // Compared with the steady clock in nanoseconds: far below their int64 end.
    constexpr double kLongestMs = 1e12;
    const double ms = seconds * 1000.0;
    if (!(ms > 0) || ms >= kLongestMs) {
        return 0;
    }
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(ms));
}

int RunFlash(const CliOptions& options, const FlashEnvironment& environment, std::ostream& out,
             std::ostream& err) {
    return FlashCommand(options, environment, out, err).Run();
}

int RunFlashCommandLine(const std::vector<std::string>& args, const FlashEnvironment& environment,
                        std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.error.empty()) {
        err << kApplicationTitle << ": " << parsed.error << '\n';
        err << "Подробнее: " << kApplicationTitle << " --help\n" << std::flush;
        return kExitBadUsage;
    }
    return RunFlash(parsed.options, environment, out, err);
}

}  // namespace bramis::cli
