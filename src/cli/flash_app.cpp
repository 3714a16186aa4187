#include "cli/flash_app.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "cli/console.h"
#include "cli/terminal_view.h"
#include "image/image_compare.h"
#include "image/firmware_image.h"
#include "image/image_file.h"
#include "job/transfer_job.h"
#include "job/transfer_worker.h"
#include "link/port_details.h"
#include "link/serial_channel.h"

namespace bramis::cli {

namespace {

// How often the main thread looks for Ctrl+C while it waits for the outcome.
constexpr std::chrono::milliseconds kSignalPoll(50);

// Which port a job opens, and how to name it in messages.
struct PortChoice {
    int number = kDefaultPortNumber;
    std::string device;  // "" when the number maps to no device here
    bool given = false;  // named by --port or --device rather than the stored settings

    // "COM5 (/dev/ttyS4)", or "COM5" when it maps to no device.
    std::string Name() const {
        const std::string com = "COM" + std::to_string(number);
        return device.empty() ? com : com + " (" + device + ")";
    }
};

struct JobEnd {
    TransferOutcome outcome;
    int signalsSeen = 0;  // cancel requests counted by the end of the job
};

std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

void PrintError(std::ostream& err, const std::string& message) {
    err << kApplicationTitle << ": " << message << '\n' << std::flush;
}

// An image file that could not be read or saved, with its path.
void PrintFileError(std::ostream& err, ImageFileStatus status, const std::string& path) {
    PrintError(err, ImageFileMessage(status));
    err << "  файл: " << path << '\n' << std::flush;
}

// The "Ports" overrides of the programmer window's settings; none without them.
std::map<int, std::string> StoredPortOverrides(const FlashEnvironment& environment) {
    return environment.settings != nullptr ? ReadPortOverrides(*environment.settings) : std::map<int, std::string>();
}

// Points `channel` at the port the options name and says which it is.
PortChoice ChoosePort(const CliOptions& options, const FlashEnvironment& environment, SerialChannel& channel) {
    PortChoice choice;
    if (environment.settings != nullptr) {
        choice.number = environment.settings->GetInt(kSectionSettings, kValuePortNumber, kDefaultPortNumber);
    }
    choice.given = !options.devicePath.empty() || options.portNumber.has_value();
    if (!options.devicePath.empty()) {
        choice.device = options.devicePath;
        channel.SetPortOpener(DevicePathOpener(options.devicePath));
        return choice;
    }
    std::map<int, std::string> overrides = StoredPortOverrides(environment);
    if (options.portNumber) {
        choice.number = *options.portNumber;
    }
    choice.device = DeviceForPort(choice.number, overrides);
    channel.SetPortOverrides(std::move(overrides));
    channel.SetPortOpener(environment.portOpener);
    return choice;
}

// Every request and reply on standard error: milliseconds since the first
// request, direction, bytes in hex.
TraceHandler MakeTrace(TerminalView& view) {
    return [&view, originMs = std::optional<double>()](TraceDirection direction, const std::uint8_t* data,
                                                        std::size_t length, double atMs) mutable {
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
        view.Note(line, true);
    };
}

// Runs one job on the worker thread and waits for its outcome, turning the
// first Ctrl+C or other request to stop that `signals` counts into a cancel
// request; later ones change nothing.
JobEnd RunJob(SerialChannel& channel, TerminalView& view, TransferMode mode, std::uint8_t* buffer,
              const PortChoice& port, double limitSeconds, const CancelSignals& signals) {
    TransferJob job(channel, view, port.number, buffer, mode, WaitLimitMs(limitSeconds));

    JobEnd end;
    if (!job.Start(StdThreadLauncher(StartThreadWithoutCancelSignals))) {
        view.ShowError("Не удалось запустить обмен с прибором", "");
        return end;
    }
    int signalsSeen = 0;
    while (!job.Wait(kSignalPoll)) {
        const int count = signals.Count();
        if (count == signalsSeen) {
            continue;
        }
        if (signalsSeen == 0) {
            job.Cancel();
            view.Note("Отмена: задание остановится после текущего шага", true);
        } else {
            view.Note("Отмена уже запрошена, дождитесь конца задания", true);
        }
        signalsSeen = count;
    }
    end.outcome = job.Outcome();
    end.signalsSeen = signalsSeen;
    return end;
}

// Says why a job failed, as far as the worker did not already, and returns
// the exit code.
int ReportFailure(const JobEnd& end, const TerminalView& view, const PortChoice& port, double limitSeconds,
                  std::ostream& err) {
    if (end.outcome.enterProgrammingTimedOut) {
        PrintError(err, "прибор не перешёл в режим программирования за " + FormatSeconds(limitSeconds) + " с");
        return kExitFailed;
    }
    if (view.errorShown()) {
        if (end.outcome.stage == TransferStage::OpeningPort) {
            const std::string& reason = end.outcome.openError;
            err << "  причина: " << (reason.empty() ? "неизвестна" : reason) << '\n';
            if (const std::string hint = PortAccessHint(port.device); !hint.empty()) {
                err << "  " << hint << '\n';
            }
            if (!port.given) {
                err << "  порт из настроек программатора: " << port.Name()
                    << "; другой порт: --port N (список: " << kApplicationTitle
                    << " ports) или --device ПУТЬ\n";
            }
            err << std::flush;
        }
        return kExitFailed;
    }
    // Only a job that the cancel itself ended counts as cancelled: a step
    // that failed on its own while the cancel waited is a failure.
    if (end.outcome.cancelled) {
        PrintError(err, "задание отменено");
        return kExitCancelled;
    }
    PrintError(err, "задание не выполнено на этапе «" + StageText(end.outcome.stage) + "»");
    return kExitFailed;
}

// Loads the image file a command works with, before the port is touched.
bool LoadImage(const std::string& path, FirmwareImage& image, std::ostream& err) {
    const ImageFileStatus status = ReadImageFile(path, image.Bytes());
    if (status == ImageFileStatus::Ok) {
        return true;
    }
    PrintFileError(err, status, path);
    return false;
}

// Refuses a read whose result could not be saved as `path` before the device
// is read for minutes in vain.
bool TargetSavable(const std::string& path, std::ostream& err) {
    const ImageFileStatus status = CheckSaveTarget(path);
    if (status == ImageFileStatus::Ok) {
        return true;
    }
    PrintFileError(err, status, path);
    return false;
}

int ListPorts(const FlashEnvironment& environment, std::ostream& out) {
    std::vector<FoundPort> ports = DiscoverPorts(StoredPortOverrides(environment));
    AddPortDetails(ports);
    if (ports.empty()) {
        out << "COM-порты не найдены\n";
    }
    for (const FoundPort& port : ports) {
        out << "COM" << port.number << '\t' << port.device;
        if (!port.description.empty()) {
            out << '\t' << port.description;
        }
        if (!port.stablePath.empty() && port.stablePath != port.device) {
            out << '\t' << port.stablePath;
        }
        out << '\n';
    }
    out << std::flush;
    return kExitOk;
}

class FlashCommand {
public:
    FlashCommand(const CliOptions& options, const FlashEnvironment& environment, std::ostream& out,
                 std::ostream& err)
        : options_(options),
          environment_(environment),
          out_(out),
          err_(err),
          view_(out, err, environment.liveProgress && !options.trace, kApplicationTitle) {}

    int Run() {
        switch (options_.command) {
            case Command::Help:
                out_ << UsageText() << std::flush;
                return kExitOk;
            case Command::Ports:
                return ListPorts(environment_, out_);
            case Command::Version:
                return Transfer(TransferMode::Identify, nullptr, options_.waitSeconds.value_or(kVersionWaitSeconds));
            case Command::Write:
                if (!LoadImage(options_.file, fileImage_, err_)) {
                    return kExitBadUsage;
                }
                return Transfer(TransferMode::Write, fileImage_.Buffer().data(), options_.waitSeconds.value_or(0));
            case Command::Read:
                if (!TargetSavable(options_.file, err_)) {
                    return kExitBadUsage;
                }
                return Transfer(TransferMode::Read, deviceImage_.Buffer().data(), options_.waitSeconds.value_or(0));
            case Command::Verify:
                if (!LoadImage(options_.file, fileImage_, err_)) {
                    return kExitBadUsage;
                }
                return Transfer(TransferMode::Read, deviceImage_.Buffer().data(), options_.waitSeconds.value_or(0));
        }
        return kExitBadUsage;
    }

private:
    int Transfer(TransferMode mode, std::uint8_t* buffer, double limitSeconds) {
        SerialChannel channel;
        const PortChoice port = ChoosePort(options_, environment_, channel);
        if (options_.trace) {
            channel.SetTraceHandler(MakeTrace(view_));
        }
        // Held until the read is saved: a request to stop during the save
        // must not end the process with its new file half made.
        const CancelSignals signals;
        const JobEnd end = RunJob(channel, view_, mode, buffer, port, limitSeconds, signals);
        const TransferOutcome& outcome = end.outcome;
        // A port that has gone has its own message.
        if (outcome.programmingEntered && !outcome.runProgramConfirmed && outcome.result != JOB_PORT_LOST) {
            PrintError(err_, "предупреждение: прибор не подтвердил переход в рабочий режим");
        }
        if (!outcome.succeeded()) {
            return ReportFailure(end, view_, port, limitSeconds, err_);
        }
        return Succeeded([&signals, seen = end.signalsSeen] { return signals.Count() > seen; });
    }

    int Succeeded(const std::function<bool()>& stopRequested) {
        switch (options_.command) {
            case Command::Write:
                view_.Note("Программа успешно записана");
                return kExitOk;
            case Command::Read:
                return Save(stopRequested);
            case Command::Verify:
                return Compare();
            default:
                return kExitOk;
        }
    }

    int Save(const std::function<bool()>& stopRequested) {
        view_.Note("Программа успешно прочитана");
        const ImageFileStatus status = SaveFileAtomically(options_.file, deviceImage_.Bytes(), stopRequested);
        if (status == ImageFileStatus::Stopped) {
            PrintError(err_, "задание отменено, файл не изменён");
            return kExitCancelled;
        }
        if (status != ImageFileStatus::Ok) {
            PrintFileError(err_, status, options_.file);
            // Minutes of reading are not thrown away for a file that would not save.
            std::string fallback;
            if (SaveAsNewFile("", deviceImage_.Bytes(), fallback) == ImageFileStatus::Ok) {
                err_ << "  прочитанная программа сохранена в " << fallback << '\n' << std::flush;
            }
            return kExitFailed;
        }
        view_.Note("Сохранено в " + options_.file);
        return kExitOk;
    }

    int Compare() {
        const BlockDifferences differences = CompareImages(deviceImage_.Bytes(), fileImage_.Bytes());
        if (differences.count == 0) {
            view_.Note("Программа в приборе совпадает с файлом");
            return kExitOk;
        }
        view_.Note("Программа в приборе отличается от файла: первый отличающийся блок " +
                   std::to_string(differences.firstBlock) + ", всего отличающихся блоков " +
                   std::to_string(differences.count) + " из " + std::to_string(kBlockCount));
        return kExitFailed;
    }

    const CliOptions& options_;
    const FlashEnvironment& environment_;
    std::ostream& out_;
    std::ostream& err_;
    TerminalView view_;
    FirmwareImage fileImage_;
    FirmwareImage deviceImage_;
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
        PrintError(err, parsed.error);
        err << "Подробнее: " << kApplicationTitle << " --help\n" << std::flush;
        return kExitBadUsage;
    }
    return RunFlash(parsed.options, environment, out, err);
}

}  // namespace bramis::cli
