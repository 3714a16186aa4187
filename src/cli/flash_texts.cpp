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
std::string DoctorLine(const DoctorEntry& entry) {
    if (entry.problem) return "проблема: " + entry.found + "; что делать: " + entry.remedy;
    return entry.remedy.empty() ? entry.found : entry.found + "; " + entry.remedy;
}

std::string TraceHead(double ms, bool sent) {
    char head[48];
    std::snprintf(head, sizeof head, "%10.3f мс %s", ms, sent ? "->" : "<-");
    return head;
}
std::string TraceNoReply() { return " (нет ответа)"; }

}  // namespace bramis::cli::texts
