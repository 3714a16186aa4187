#include "devsim_options.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

#include <QCommandLineParser>
#include <QStringList>

#include "link/bootloader.h"

namespace bramis::devsim {
namespace {

constexpr double kDefaultAdapterLatencyMs = 16.0;

constexpr std::string_view kUsage = R"(usage: bramis-devsim [options]

Emulates the device's serial bootloader on a pseudo-terminal. Prints the
terminal's path as its first line and serves it until SIGINT or SIGTERM.

  --link PATH          make PATH a symlink to the terminal (removed on exit)
  --image FILE         load the flash from FILE (exactly 188416 bytes); else erased
  --save FILE          save the flash to FILE (atomically) each time the device
                       returns to working mode
  --version MAJ.MIN    the bootloader version to report (0-255 each; default 1.0)
  --wire-speed         receive and send every byte at the 9600 8E1 rate (11 bits)
  --turnaround MS      from a request to its reply (default 2)
  --erase-time MS      more for an erase (default 100)
  --write-time MS      more for a block write (default 10)
  --latency MS         replies go through a USB-serial adapter whose latency timer
                       hands its received bytes on every MS (16 is the common default)
  --packet BYTES       ... and which hands them on at once when BYTES have come in
                       (the rest at its timer: 16 ms unless --latency says)
  --jitter MS          each hand-over later by up to MS (the PC's USB scheduling)
  --events             print one line per request received on stdout
  -h, --help           show this text

Faults (attempt N is the (N+1)-th request with the same command and block):
  --silent-enters K              ignore the first K enter-programming requests
  --refuse-block N:ATTEMPT:STATUS  refuse that write of block N with STATUS (hex: 2A, 5A)
  --corrupt-read N[:ATTEMPT]     send block N (first attempt by default) with a wrong CRC
  --fail-version                 answer every version request with a wrong check byte
  --fail-erase                   answer every erase with status 00 (not erased)
  --drop-after-blocks N          drop off the line at the first write or read of block N
                                 (a drop hangs up the terminal and ends the emulator)
  --fault KIND[,cmd=C][,block=N][,attempt=A][,times=T][,value=V][,at=P]
                                 any fault, as often as needed. KIND: silent, status,
                                 corrupt-crc, corrupt-nibble, short, long, pause,
                                 wrong-header, wrong-check, drop. C: enter, version,
                                 erase, write, read, run (default any). T: attempts
                                 struck from A on (default 1; without A every attempt).
                                 V: status, byte count (short, long; default 1) or ms
                                 (pause; default 20). P: the reply byte a pause comes
                                 before (default the middle), or the broken nibble pair.
  --random-faults SEED:P         strike each request with probability P (0 to 1), never
                                 twice in a row for the same request
  --random-kinds K1,K2,...       the kinds random faults use (default: silent, status,
                                 corrupt-crc, corrupt-nibble, short, wrong-header,
                                 wrong-check)
)";

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

// A non-negative decimal number: milliseconds, or a probability.
std::optional<double> ParseNonNegative(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0.0) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseByte(std::string_view text, int base) {
    const std::optional<int> value = ParseNumber(base == 16 && !text.starts_with("0x") ? "0x" + std::string(text)
                                                                                       : std::string(text));
    return value && *value <= 0xFF ? value : std::nullopt;
}

// Each option that takes a value: it parses the value into the options, or
// returns false.
using ValueHandler = std::function<bool(std::string_view, DevsimOptions&)>;

bool SetMs(std::string_view text, double& target) {
    const std::optional<double> ms = ParseNonNegative(text);
    if (ms) {
        target = *ms;
    }
    return ms.has_value();
}

const std::vector<std::pair<std::string_view, ValueHandler>>& ValueOptions() {
    static const std::vector<std::pair<std::string_view, ValueHandler>> options{
        {"--link", [](std::string_view v, DevsimOptions& o) { o.linkPath = v; return !v.empty(); }},
        {"--image", [](std::string_view v, DevsimOptions& o) { o.imagePath = v; return !v.empty(); }},
        {"--save", [](std::string_view v, DevsimOptions& o) { o.savePath = v; return !v.empty(); }},
        {"--version",
         [](std::string_view v, DevsimOptions& o) {
             const auto parts = Split(v, '.');
             const auto major = ParseByte(parts[0], 10);
             const auto minor = parts.size() == 2 ? ParseByte(parts[1], 10) : std::nullopt;
             if (!major || !minor) {
                 return false;
             }
             o.versionMajor = *major;
             o.versionMinor = *minor;
             return true;
         }},
        {"--turnaround", [](std::string_view v, DevsimOptions& o) { return SetMs(v, o.timing.turnaroundMs); }},
        {"--erase-time", [](std::string_view v, DevsimOptions& o) { return SetMs(v, o.timing.eraseMs); }},
        {"--write-time", [](std::string_view v, DevsimOptions& o) { return SetMs(v, o.timing.writeMs); }},
        {"--latency", [](std::string_view v, DevsimOptions& o) { return SetMs(v, o.adapter.latencyMs); }},
        {"--packet",
         [](std::string_view v, DevsimOptions& o) {
             const auto bytes = ParseNumber(v);
             o.adapter.packetBytes = bytes.value_or(0);
             return bytes && *bytes > 0;
         }},
        {"--jitter", [](std::string_view v, DevsimOptions& o) { return SetMs(v, o.adapter.jitterMs); }},
        {"--silent-enters",
         [](std::string_view v, DevsimOptions& o) {
             const auto count = ParseNumber(v);
             if (count && *count > 0) {
                 o.faults.push_back(
                     FaultRule{.kind = FaultKind::Silent, .command = CMD_ENTER_PROG, .attempt = 0, .times = *count});
             }
             return count.has_value();
         }},
        {"--refuse-block",
         [](std::string_view v, DevsimOptions& o) {
             const auto parts = Split(v, ':');
             if (parts.size() != 3) {
                 return false;
             }
             const auto block = ParseNumber(parts[0]);
             const auto attempt = ParseNumber(parts[1]);
             const auto status = ParseByte(parts[2], 16);
             if (!block || !attempt || !status) {
                 return false;
             }
             o.faults.push_back(FaultRule{.kind = FaultKind::Status,
                                           .command = CMD_WRITE_BLOCK,
                                           .block = *block,
                                           .attempt = *attempt,
                                           .value = *status});
             return true;
         }},
        {"--corrupt-read",
         [](std::string_view v, DevsimOptions& o) {
             const auto parts = Split(v, ':');
             const auto block = ParseNumber(parts[0]);
             const auto attempt = parts.size() == 2 ? ParseNumber(parts[1]) : std::optional<int>(0);
             if (parts.size() > 2 || !block || !attempt) {
                 return false;
             }
             o.faults.push_back(FaultRule{
                 .kind = FaultKind::CorruptCrc, .command = CMD_READ_BLOCK, .block = *block, .attempt = *attempt});
             return true;
         }},
        {"--drop-after-blocks",
         [](std::string_view v, DevsimOptions& o) {
             const auto block = ParseNumber(v);
             if (block) {
                 o.faults.push_back(FaultRule{.kind = FaultKind::Drop, .block = *block});
             }
             return block.has_value();
         }},
        {"--random-faults",
         [](std::string_view v, DevsimOptions& o) {
             const auto parts = Split(v, ':');
             const auto seed = ParseNumber(parts[0]);
             const auto probability = parts.size() == 2 ? ParseNonNegative(parts[1]) : std::nullopt;
             if (!seed || !probability || *probability > 1.0) {
                 return false;
             }
             RandomFaults random = o.random.value_or(RandomFaults{});
             random.seed = static_cast<std::uint32_t>(*seed);
             random.probability = *probability;
             o.random = random;
             return true;
         }},
        {"--random-kinds",
         [](std::string_view v, DevsimOptions& o) {
             RandomFaults random = o.random.value_or(RandomFaults{});
             random.kinds.clear();
             for (std::string_view name : Split(v, ',')) {
                 const auto kind = FaultKindFromName(name);
                 if (!kind) {
                     return false;
                 }
                 random.kinds.push_back(*kind);
             }
             o.random = random;
             return true;
         }},
    };
    return options;
}

}  // namespace

std::optional<DevsimOptions> ParseDevsimOptions(std::span<const std::string_view> args, std::string& error) {
    QCommandLineParser parser;
    // "--link" and "-link" alike; "-h" is a name of its own, not letters to split.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const auto name = [](std::string_view option) { return QString::fromLatin1(option.substr(2)); };
    const QStringList flags{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("wire-speed"),
                            QStringLiteral("events"), QStringLiteral("fail-version"), QStringLiteral("fail-erase")};
    for (const QString& flag : flags) {
        parser.addOption(QCommandLineOption(flag));
    }
    for (const auto& [option, handler] : ValueOptions()) {
        parser.addOption(QCommandLineOption(name(option), QString(), QStringLiteral("value")));
    }
    parser.addOption(QCommandLineOption(QStringLiteral("fault"), QString(), QStringLiteral("rule")));

    QStringList arguments{QStringLiteral("bramis-devsim")};
    for (const std::string_view arg : args) {
        arguments << QString::fromUtf8(arg.data(), static_cast<qsizetype>(arg.size()));
    }
    if (!parser.parse(arguments)) {
        error = parser.errorText().toStdString();
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = "unexpected argument '" + parser.positionalArguments().front().toStdString() + "'";
        return std::nullopt;
    }

    // Options in the order given, so that fault rules keep their order (the
    // first rule that matches a request strikes it).
    DevsimOptions options;
    std::map<QString, qsizetype> seen;
    for (const QString& option : parser.optionNames()) {
        if (option == QLatin1String("h") || option == QLatin1String("help")) {
            options.help = true;
        } else if (option == QLatin1String("wire-speed")) {
            options.timing.wireSpeed = true;
        } else if (option == QLatin1String("events")) {
            options.events = true;
        } else if (option == QLatin1String("fail-version")) {
            options.faults.push_back(FaultRule{.kind = FaultKind::WrongCheck, .command = CMD_GET_VERSION});
        } else if (option == QLatin1String("fail-erase")) {
            options.faults.push_back(FaultRule{.kind = FaultKind::Status, .command = CMD_ERASE, .value = 0x00});
        } else {
            const std::string value = parser.values(option).at(seen[option]++).toStdString();
            if (option == QLatin1String("fault")) {
                const std::optional<FaultRule> rule = ParseFaultRule(value, error);
                if (!rule) {
                    return std::nullopt;
                }
                options.faults.push_back(*rule);
                continue;
            }
            const auto& table = ValueOptions();
            const auto found =
                std::find_if(table.begin(), table.end(), [&](const auto& o) { return name(o.first) == option; });
            if (!found->second(value, options)) {
                error = "bad value '" + value + "' for --" + option.toStdString();
                return std::nullopt;
            }
        }
    }
    // A packet that never fills still goes when the chip's timer expires.
    if (options.adapter.packetBytes > 0 && options.adapter.latencyMs == 0.0) {
        options.adapter.latencyMs = kDefaultAdapterLatencyMs;
    }
    return options;
}

DeviceConfig MakeDeviceConfig(const DevsimOptions& options) {
    DeviceConfig config;
    config.versionMajor = options.versionMajor;
    config.versionMinor = options.versionMinor;
    config.timing = options.timing;
    config.faults = FaultPlan(options.faults, options.random);
    return config;
}

std::string_view DevsimUsage() {
    return kUsage;
}

}  // namespace bramis::devsim
