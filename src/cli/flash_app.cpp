#include "cli/flash_app.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "cli/console.h"
#include "cli/device_run.h"
#include "cli/doctor_command.h"
#include "cli/flash_texts.h"
#include "cli/info_commands.h"
#include "cli/port_choice.h"
#include "cli/terminal_view.h"
#include "image/firmware_image.h"
#include "image/image_file.h"
#include "journal/journal.h"
#include "report/words.h"

namespace bramis::cli {

namespace {

// How often the main thread looks for Ctrl+C while the jobs run.
constexpr std::chrono::milliseconds kSignalPoll(50);

// 1 over 3 over 0: the exit code of several devices.
int Worse(int a, int b) {
    const auto rank = [](int code) { return code == kExitFailed ? 3 : code == kExitBadUsage ? 2 : code == kExitCancelled ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

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
                return ListPorts(StoredPortOverrides(environment_.settings), out_);
            case Command::Find:
                return FindPort(StoredPortOverrides(environment_.settings), environment_.portOpener, out_, err_);
            case Command::Journal:
                return PrintJournal(JournalFile(), options_.journalRecords, out_, err_);
            case Command::Doctor:
                return RunDoctor(ChoosePorts(options_, environment_.settings), environment_.portOpener, JournalFile(),
                                 out_);
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
                return Refuse(texts::SameDeviceTwice(at->second, port.Name()));
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
            return Refuse(texts::ReadNeedsPortPlaceholder());
        }
        std::set<std::string> targets;
        for (const PortChoice& port : ports) {
            const std::string target = ReadTarget(options_.file, port);
            if (!targets.insert(target).second) {
                return Refuse(texts::SameReadTarget(target));
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
        for (const std::string& line : texts::FileDetails(outcome, path)) {
            err_ << "  " << line << '\n';
        }
        err_ << std::flush;
        return true;
    }

    int TransferOnEveryDevice() {
        const std::vector<PortChoice> ports = ChoosePorts(options_, environment_.settings);
        if (Refused(ports)) {
            return kExitBadUsage;
        }
        const bool live = environment_.liveProgress && !options_.trace;
        const bool several = ports.size() > 1;
        ConsoleBoard board(out_, err_, live, ports.size());
        // Installed before the first job, so that every request to stop is counted as it comes.
        const CancelSignals cancelSignals;
        RunShared shared{options_,      environment_.portOpener, fileImage_, StoredPortOverrides(environment_.settings),
                         JournalFile(), cancelSignals,           {}};
        // A verified write moves every block twice.
        const int blockSteps = options_.command == Command::Write && options_.verify ? 2 : 1;
        std::vector<std::unique_ptr<DeviceRun>> runs;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            auto view = several ? std::make_unique<TerminalView>(board, i, ports[i].Label() + ": ", blockSteps)
                                : std::make_unique<TerminalView>(out_, err_, live, blockSteps);
            runs.push_back(std::make_unique<DeviceRun>(shared, ports[i], std::move(view),
                                                       ReadTarget(options_.file, ports[i])));
        }
        const auto announce = [&](const std::string& line) {
            several ? board.Print(line, true) : runs.front()->view().Note(line, true);
        };
        RunAll(runs, cancelSignals, announce);

        board.Close();
        int exitCode = kExitOk;
        for (const auto& run : runs) {
            exitCode = Worse(exitCode, run->exitCode());
        }
        if (several) {
            out_ << texts::SummaryHeading() << '\n';
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
    static void RunAll(const std::vector<std::unique_ptr<DeviceRun>>& runs, const CancelSignals& cancelSignals,
                       const std::function<void(const std::string&)>& announce) {
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
            if (seen == 0) {
                for (const auto& run : runs) {
                    run->Cancel();
                }
                announce(texts::CancelRequested());
            } else {
                announce(texts::CancelAlreadyRequested());
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
        err << texts::MoreHelp() << '\n' << std::flush;
        return kExitBadUsage;
    }
    return RunFlash(parsed.options, environment, out, err);
}

}  // namespace bramis::cli
