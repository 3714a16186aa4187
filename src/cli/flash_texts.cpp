#include "cli/flash_texts.h"

#include <cstdio>

#include "image/utf8_path.h"
#include "link/device_memory.h"
#include "report/words.h"

namespace bramis::cli::texts {

std::string WriteSucceeded() { return "Программа успешно записана"; }
std::string WriteVerified() { return "Программа записана и проверена"; }
std::string WriteNotVerified() { return "Запись не подтверждена: программа в приборе отличается от файла"; }
std::string ReadSucceeded() { return "Программа успешно прочитана"; }
std::string DeviceMatchesFile() { return "Программа в приборе совпадает с файлом"; }
std::string DeviceDiffersFromFile() { return "Программа в приборе отличается от файла"; }
std::string Differences(int firstBlock, int count) {
    return ": первый отличающийся блок " + std::to_string(firstBlock) + ", всего отличающихся блоков " +
           std::to_string(count) + " из " + std::to_string(kBlockCount);
}
std::string SavedTo(const std::string& path) { return "Сохранено в " + path; }
std::string FileLine(const std::string& path) { return "файл: " + path; }
std::vector<std::string> FileDetails(const FileOutcome& outcome, const std::string& path) {
    std::vector<std::string> lines;
    if (std::string cause = words::ImageFileCauseLine(outcome); !cause.empty()) {
        lines.push_back(std::move(cause));
    }
    if (outcome.cause == FileCause::None || outcome.whereIsFolder) {
        lines.push_back(FileLine(PrintablePath(path)));
    }
    return lines;
}

std::string WorkerNotStarted() { return "Не удалось запустить обмен с прибором"; }
std::string RunProgramNotConfirmed() { return "предупреждение: прибор не подтвердил переход в рабочий режим"; }
std::string EntryTimedOut(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return std::string("прибор не перешёл в режим программирования за ") + text + " с";
}
std::string JobCancelled() { return "задание отменено"; }
std::string SaveCancelled() { return "отменено, файл не изменён"; }
std::string JobSaveCancelled() { return "задание " + SaveCancelled(); }
std::string BlockCause(int block, const std::string& cause) { return words::BlockOf(block) + ": " + cause; }
std::string Cause(const std::string& cause) { return "причина: " + cause; }
std::string ProgramErased() {
    return "программа прибора стёрта или записана не полностью: прибор заработает только после успешной записи";
}
std::string ProgramKept() { return "программа прибора не изменена"; }
std::string StoredPortHint(const std::string& portName) {
    return "порт из настроек программатора: " + portName +
           "; другой порт: --port N (список: bramis-flash ports) или --device ПУТЬ";
}
std::string PortOutOfRange(int stored) {
    return "номер порта в настройках (" + std::to_string(stored) + ") вне 1–255: используется COM1";
}
std::string NoAnswerYet(const std::string& port) {
    return "прибор не отвечает на " + port +
           ": проверьте, что он включён и подключён к этому порту; --wait СЕКУНДЫ ограничивает ожидание";
}
std::string Warning(const std::string& text) { return "предупреждение: " + text; }

std::string SummaryHeading() { return "Итог:"; }
std::string SummaryLine(const std::string& port, const std::string& result, double seconds) {
    return port + ": " + result + " (" + words::Duration(seconds) + ")";
}
std::string SummarySucceeded() { return "успешно"; }
std::string SummaryCancelled() { return "отменено"; }
std::string SummaryDiffers() { return "отличается от файла"; }

std::string CancelRequested() { return "Отмена: задание остановится после текущего шага"; }
std::string CancelAlreadyRequested() { return "Отмена уже запрошена, дождитесь конца задания"; }

std::string SameDeviceTwice(const std::string& first, const std::string& second) {
    return "один и тот же прибор указан дважды: " + first + " и " + second;
}
std::string ReadNeedsPortPlaceholder() {
    return "для чтения нескольких приборов имя файла должно содержать {port}, например fw-{port}.dat: {port} "
           "заменяется именем порта";
}
std::string SameReadTarget(const std::string& path) { return "два прибора сохраняли бы в один файл: " + path; }
std::string MoreHelp() { return "Подробнее: bramis-flash --help"; }

std::string ProgressCounts(int percent, int done, int total) {
    char counts[96];
    std::snprintf(counts, sizeof counts, "%3d%%  блок %d из %d", percent, done, total);
    return counts;
}
std::string ProgressTimes(double elapsed, const std::string& left) {
    return "  прошло " + words::Duration(elapsed) + "  осталось " + left;
}

std::string DoctorPort(const std::string& port) { return "Порт " + port; }
std::string DoctorNoDevice() { return "проблема: в этой системе нет такого порта; что делать: выберите другой (bramis-flash ports)"; }
std::string DoctorAdapter(const std::string& description, const std::string& usbId, const std::string& driver) {
    return "переходник: " + (description.empty() ? std::string("USB") : description) + ", " + usbId +
           (driver.empty() ? "" : ", драйвер " + driver);
}
std::string DoctorStableName(const std::string& path) { return "постоянное имя переходника: " + path; }
std::string DoctorSocketName(const std::string& path) { return "имя USB-гнезда: " + path; }
std::string DoctorNodeMissing(const std::string& device) {
    return "проблема: устройства " + device + " нет; что делать: подключите переходник или выберите другой порт";
}
std::string DoctorNotPermitted(const std::string& device, const std::string& group) {
    if (group.empty()) {
        return "проблема: нет прав на " + device + "; что делать: попросите администратора дать доступ к порту";
    }
    return "проблема: нет прав на " + device + "; что делать: sudo usermod -aG " + group +
           " $USER, затем войдите в систему заново";
}
std::string DoctorHeld(const std::string& program, long pid) {
    return "проблема: порт открыт программой " + program + " (PID " + std::to_string(pid) +
           "); что делать: закройте её";
}
std::string DoctorLatency(int latencyMs, const std::string& attributePath) {
    return "проблема: " + words::AdapterLatency(latencyMs) + "; что делать: " + words::AdapterLatencyRemedy(attributePath);
}
std::string DoctorBrltty(const std::string& rulesFile, bool running) {
    return std::string("проблема: brltty ") + (running ? "запущен и " : "") + "забирает такие переходники (" +
           rulesFile + "); что делать: sudo apt remove brltty";
}
std::string DoctorModemManager() {
    return "проблема: ModemManager посылает в порт свои запросы; что делать: sudo systemctl stop ModemManager "
           "(или правило udev из пакета программатора)";
}
std::string DoctorNotChecked(const std::string& path) { return "не проверено: нет доступа к " + path; }
std::string DoctorAnswered() { return "прибор ответил и возвращён в рабочий режим"; }
std::string DoctorNoAnswer() {
    return "проблема: прибор не ответил; что делать: проверьте питание прибора, кабель и номер порта";
}
std::string DoctorJournal(int jobs, int retries, bool tooMany) {
    return "журнал: повторов в последних заданиях на этом порту (" + std::to_string(jobs) + "): " +
           std::to_string(retries) + (tooMany ? "; проверьте кабель и переходник" : "");
}
std::string DoctorAllClear() { return "Ничего не мешает"; }
std::string DoctorProblems(int count) { return "Найдено проблем: " + std::to_string(count); }

std::string TraceHead(double ms, bool sent) {
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f мс %s", ms, sent ? "->" : "<-");
    return head;
}
std::string TraceNoReply() { return " (нет ответа)"; }

}  // namespace bramis::cli::texts
