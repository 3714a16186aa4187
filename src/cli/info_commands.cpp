#include "cli/info_commands.h"

#include <QDir>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "cli/console.h"
#include "cli/flash_app.h"
#include "job/device_finder.h"
#include "journal/journal.h"
#include "link/port_details.h"
#include "link/serial_channel.h"

namespace bramis::cli {

namespace {

// How often `find` looks for Ctrl+C.
constexpr std::chrono::milliseconds kSignalPoll(50);

std::vector<FoundPort> PresentPorts(const std::map<int, std::string>& overrides) {
    std::vector<FoundPort> ports = DiscoverPorts(overrides);
    AddPortDetails(ports);
    return ports;
}

// "COM5\t/dev/ttyS4\tFT232R USB UART (A50285BI)\t/dev/serial/by-id/...".
std::string PortLine(const FoundPort& port) {
    std::string line = "COM" + std::to_string(port.number) + '\t' + port.device;
    if (!port.description.empty()) {
        line += '\t' + port.description;
    }
    if (!port.stablePath.empty() && port.stablePath != port.device) {
        line += '\t' + port.stablePath;
    }
    return line;
}

}  // namespace

int ListPorts(const std::map<int, std::string>& overrides, std::ostream& out) {
    const std::vector<FoundPort> ports = PresentPorts(overrides);
    if (ports.empty()) {
        out << "COM-порты не найдены\n";
    }
    for (const FoundPort& port : ports) {
        out << PortLine(port) << '\n';
    }
    out << std::flush;
    return kExitOk;
}

int FindPort(const std::map<int, std::string>& overrides, const PortOpener& opener, std::ostream& out,
             std::ostream& err) {
    const std::vector<FoundPort> ports = PresentPorts(overrides);
    if (ports.empty()) {
        err << kApplicationTitle << ": COM-порты не найдены\n" << std::flush;
        return kExitFailed;
    }
    out << "Запрос перехода в режим программирования отправляется на каждый порт по очереди\n" << std::flush;
    const CancelSignals cancelSignals;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    FindResult result;
    std::thread finder = StartThreadWithoutCancelSignals([&] {
        const auto progress = [&](std::size_t index) { out << "Проверка " << PortLine(ports[index]) << '\n' << std::flush; };
        const auto openerFor = [&opener](const FoundPort& port) -> PortOpener {
            return opener ? opener : DevicePathOpener(port.device);
        };
        result = FindDevice(ports, cancel, progress, openerFor);
        done = true;
    });
    while (!done) {
        std::this_thread::sleep_for(kSignalPoll);
        if (cancelSignals.Count() > 0) {
            cancel = true;
        }
    }
    finder.join();
    if (result.found) {
        out << "Прибор найден: " << PortLine(*result.found) << '\n' << std::flush;
        return kExitOk;
    }
    err << kApplicationTitle << ": " << (result.cancelled ? "поиск отменён" : "прибор не ответил ни на одном порту")
        << '\n' << std::flush;
    return result.cancelled ? kExitCancelled : kExitFailed;
}

namespace {

// A field as one line: control characters (a line break in a file name)
// shown as escapes.
std::string OneLine(const QString& field) {
    std::string line;
    for (const char c : field.toStdString()) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            line += escape;
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace

int PrintJournal(const QString& path, int count, std::ostream& out, std::ostream& err) {
    QString warning;
    const std::vector<JournalRecord> records = ReadJournal(path, warning);
    if (!warning.isEmpty()) {
        err << kApplicationTitle << ": " << warning.toStdString() << '\n' << std::flush;
        return kExitFailed;
    }
    if (records.empty()) {
        out << "Журнал заданий пуст: " << QDir::toNativeSeparators(path).toStdString() << '\n' << std::flush;
        return kExitOk;
    }
    const std::size_t total = records.size();
    const std::size_t first = total > static_cast<std::size_t>(count) ? total - static_cast<std::size_t>(count) : 0;
    for (std::size_t i = first; i < total; ++i) {
        const QStringList row = JournalFields(records[i]);
        // Start, job, port and device, result with its stage and block, time, file, loader, retries.
        QString result = row[kColumnResult];
        if (!row[kColumnStage].isEmpty()) {
            result += QStringLiteral(" (") + row[kColumnStage] +
                      (row[kColumnBlock].isEmpty() ? QString() : QStringLiteral(", блок ") + row[kColumnBlock]) +
                      QStringLiteral(")");
        }
        QStringList fields{records[i].startedText, row[kColumnJob], row[kColumnPort], row[kColumnDevice], result,
                           row[kColumnDuration] + QStringLiteral(" с"), row[kColumnFile]};
        if (!row[kColumnLoaderVersion].isEmpty()) {
            fields << QStringLiteral("загрузчик ") + row[kColumnLoaderVersion];
        }
        fields << QStringLiteral("повторов ") + row[kColumnRetries] << row[kColumnProgram] << row[kColumnUser];
        fields.removeAll(QString());
        std::string line;
        for (const QString& field : fields) line += (line.empty() ? "" : "  ") + OneLine(field);
        out << line << '\n';
    }
    out << std::flush;
    return kExitOk;
}

}  // namespace bramis::cli
