#include "report/words.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "image/utf8_path.h"
#include "link/device_memory.h"

namespace bramis::words {

std::string ProgramName() { return "Программатор Брамис"; }

std::string SleepReason(TransferMode mode) {
    return mode == TransferMode::Write ? "Запись программы в прибор" : "Обмен с прибором";
}

std::string StageText(TransferStage stage) {
    switch (stage) {
        case TransferStage::NotStarted: return "";
        case TransferStage::OpeningPort: return "Открытие порта";
        case TransferStage::EnteringProgramming: return "Переход в режим программирования";
        case TransferStage::ReadingVersion: return "Определение версии загрузчика";
        case TransferStage::Erasing: return "Стирание программы";
        case TransferStage::Writing: return "Запись программы";
        case TransferStage::Reading: return "Чтение программы";
        case TransferStage::Verifying: return "Проверка записи";
        case TransferStage::Comparing: return "Сравнение с файлом";
        case TransferStage::Returning: return "Переход в рабочий режим";
    }
    return "";
}

std::string VersionNumber(LoaderVersion version) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d", version.major, version.minor);
    return text;
}

std::string VersionLine(LoaderVersion version) { return "Версия загрузчика " + VersionNumber(version); }

std::string Duration(double seconds) {
    const long total = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
    }
    return text;
}

std::string FailureMessage(const TransferFailure& failure) {
    switch (failure.kind) {
        case FailureKind::PortNotOpened: return "Не могу открыть порт";
        case FailureKind::PortLost: return "Порт пропал: кабель или USB-адаптер отключён?";
        // Ends that the user or the caller chose: each front end says them its own way.
        case FailureKind::EntryTimedOut:
        case FailureKind::Cancelled: return "";
        case FailureKind::NoReply:
        case FailureKind::DamagedReply:
        case FailureKind::ReplyInterrupted:
        case FailureKind::Refused5A:
        case FailureKind::Refused2A:
        case FailureKind::EraseNotConfirmed:
        case FailureKind::VersionNotRead: break;
    }
    switch (failure.stage) {
        case TransferStage::ReadingVersion: return "Ошибка чтения версии загрузчика";
        case TransferStage::Erasing: return "Ошибка стирания";
        case TransferStage::Writing: return "Ошибка записи";
        case TransferStage::NotStarted:
        case TransferStage::OpeningPort:
        case TransferStage::EnteringProgramming:
        case TransferStage::Reading:
        case TransferStage::Verifying:
        case TransferStage::Comparing:
        case TransferStage::Returning: break;
    }
    return "Ошибка чтения";
}

std::string FailureCause(FailureKind kind) {
    switch (kind) {
        case FailureKind::NoReply: return "прибор не ответил";
        case FailureKind::DamagedReply:
        case FailureKind::VersionNotRead: return "ответ прибора искажён";
        case FailureKind::ReplyInterrupted: return "ответ прибора прервался паузой длиннее 30 мс";
        case FailureKind::Refused5A: return "прибор отказался принять блок (статус 5A)";
        case FailureKind::Refused2A: return "прибор отказался принять блок (статус 2A)";
        case FailureKind::EraseNotConfirmed: return "прибор не подтвердил стирание";
        case FailureKind::PortNotOpened:
        case FailureKind::PortLost:
        case FailureKind::EntryTimedOut:
        case FailureKind::Cancelled: break;
    }
    return "";
}

std::string ReplyPauseHint(const std::optional<SlowAdapter>& slow) {
    const std::string holds = "USB-переходник придерживает принятые байты (его таймер задержки)";
    if (slow)
        return holds + ": " + AdapterLatency(slow->latencyMs) + "; что делать: " +
               AdapterLatencyRemedy(slow->attributePath) + ".";
    return holds + ": уменьшите задержку переходника до 16 мс или меньше (в настройках его драйвера) или возьмите "
                   "другой переходник.";
}

std::string AdapterLatency(int latencyMs) {
    return "задержка переходника FTDI " + std::to_string(latencyMs) + " мс (ответы приходят с опозданием)";
}

std::string AdapterLatencyRemedy(const std::string& attributePath) {
    return "echo 1 | sudo tee " + attributePath + " (или правило udev из пакета программатора)";
}

std::string BlockOf(int block) { return "блок " + std::to_string(block) + " из " + std::to_string(kBlockCount); }

std::string OpenFailureReason(const PortOpenError& error, int portNumber) {
    std::string reason;
    switch (error.kind) {
        case OpenFailure::NoSuchPort: return "COM" + std::to_string(portNumber) + ": в этой системе нет такого порта";
        case OpenFailure::NoSuchDevice: reason = "нет такого устройства"; break;
        case OpenFailure::NoAccess: reason = "нет прав на доступ к устройству"; break;
        case OpenFailure::Busy: reason = "порт занят другой программой"; break;
        case OpenFailure::NotASerialPort: reason = "это устройство не последовательный порт"; break;
        case OpenFailure::Gone: reason = "устройство не отвечает или отключено"; break;
        case OpenFailure::Other:
            reason = "системная ошибка " + std::to_string(error.systemCode);
            if (!error.systemText.empty()) reason += " (" + error.systemText + ")";
            break;
    }
    return error.device.empty() ? reason : error.device + ": " + reason;
}

std::string PortHolderLine(const PortOpenError& error) {
    if (error.kind != OpenFailure::Busy || error.holder.pid == 0) return "";
    return "Порт открыт программой «" + error.holder.name + "» (PID " + std::to_string(error.holder.pid) + ").";
}

std::string PortNotOpened(int portNumber, const std::string& reason) {
    const std::string port = "COM" + std::to_string(portNumber);
    return reason.rfind(port + ":", 0) == 0 ? reason : port + " — " + reason;
}

std::string AccessHint(const std::string& device, const std::string& group) {
    return "Нет доступа к " + device + ": пользователь должен входить в группу «" + group +
           "», которой принадлежит устройство: sudo usermod -aG " + group + " $USER, затем войдите в систему заново.";
}

std::string CableWarning(const std::string& port) {
    return "Последние задания на порту " + port + " потребовали много повторных попыток. Проверьте кабель и "
           "переходник.";
}

std::string ImageFileMessage(ImageFileStatus status) {
    switch (status) {
        case ImageFileStatus::Ok: return "";
        case ImageFileStatus::CannotOpen: return "Не могу открыть файл";
        case ImageFileStatus::WrongLength: return "Не верная длина файла";
        case ImageFileStatus::ReadFailed: return "Ошибка при чтении файла";
        case ImageFileStatus::CannotCreate: return "Не могу создать файл";
        case ImageFileStatus::WriteFailed: return "Ошибка при записи файла";
        case ImageFileStatus::NotAFile: return "Не могу заменить: это папка, устройство или канал, а не файл";
        case ImageFileStatus::ReadOnly: return "Файл защищён от записи";
        case ImageFileStatus::Stopped: return "Сохранение отменено";
    }
    return "";
}

}  // namespace bramis::words

// The causes and second lines of image files' messages.
namespace bramis::words {

std::string FileCauseText(FileCause cause, int systemError) {
    switch (cause) {
        case FileCause::None: return "";
        case FileCause::Missing: return "нет такого файла или папки";
        case FileCause::NoPermission: return "нет прав доступа";
        case FileCause::ReadOnlyFileSystem: return "диск доступен только для чтения";
        case FileCause::NoSpace: return "нет места на диске";
        case FileCause::TooLarge: return "файл больше, чем система разрешает программе";
        case FileCause::NameTooLong: return "слишком длинное имя";
        case FileCause::BadName: return "недопустимое имя";
        case FileCause::LinkLoop: return "символические ссылки замкнуты в круг";
        case FileCause::NotAFolder: return "часть пути — файл, а не папка";
        case FileCause::Folder: return "это папка, а не файл";
        case FileCause::Pipe: return "это канал, а не файл";
        case FileCause::Device: return "это устройство, а не файл";
        case FileCause::Busy: return "занят другой программой";
        case FileCause::InputOutput: return "ошибка ввода-вывода диска";
        case FileCause::Other: break;
    }
    return "системная ошибка " + std::to_string(systemError);
}

std::string ImageFileCauseLine(const FileOutcome& outcome) {
    if (outcome.status == ImageFileStatus::WrongLength) {
        return "размер файла " + std::to_string(outcome.size) + " байт, нужно " + std::to_string(outcome.sizeWanted);
    }
    if (outcome.cause == FileCause::None) {
        return "";
    }
    return (outcome.whereIsFolder ? "папка " : "файл ") + PrintablePath(outcome.where) + ": " +
           FileCauseText(outcome.cause, outcome.systemError);
}

std::string UnsavedReadLine(const FileOutcome& outcome) {
    if (!outcome.copy.empty()) {
        return "прочитанная программа сохранена в " + PrintablePath(outcome.copy);
    }
    const std::string why = FileCauseText(outcome.cause, outcome.systemError);
    return "прочитанная программа не сохранена" + (why.empty() ? std::string() : " (" + why + ")") +
           " ни в папке файла, ни во временной, ни в домашней папке: освободите место или укажите другой файл "
           "и прочитайте прибор снова";
}

}  // namespace bramis::words

// The port doctor's findings.
namespace bramis::words {
namespace {

DoctorEntry Problem(std::string found, std::string remedy) { return {true, std::move(found), std::move(remedy)}; }
DoctorEntry Note(std::string found, std::string remedy = {}) { return {false, std::move(found), std::move(remedy)}; }

// The problem codes of the configuration manager a serial adapter meets, and
// what each means and asks for.
struct DeviceProblem {
    unsigned code;
    const char* meaning;
    const char* remedy;
};
constexpr const char* kReinstall = "переустановите драйвер переходника";
constexpr const char* kReplug = "отключите переходник и подключите снова";
constexpr DeviceProblem kDeviceProblems[] = {
    {1, "устройство не настроено", kReinstall},
    {3, "драйвер повреждён или не хватает памяти", "перезагрузите компьютер; если не поможет, переустановите драйвер"},
    {10, "устройство не запускается", "отключите переходник и подключите снова; если не поможет, обновите драйвер"},
    {12, "не хватает свободных ресурсов", "подключите переходник к другому гнезду"},
    {14, "нужна перезагрузка", "перезагрузите компьютер"},
    {18, "драйвер нужно переустановить", kReinstall},
    {19, "сведения об устройстве в реестре повреждены",
     "удалите устройство в диспетчере устройств и подключите переходник снова"},
    {21, "Windows удаляет устройство", "подождите и подключите переходник снова"},
    {22, "устройство отключено", "включите его в диспетчере устройств"},
    {24, "устройство отсутствует или неисправно", kReplug},
    {28, "драйвер не установлен", "установите драйвер переходника"},
    {29, "устройство отключено в настройках компьютера", "включите USB-порты в настройках BIOS"},
    {31, "драйвер не загружается", kReinstall},
    {32, "служба драйвера отключена", kReinstall},
    {37, "драйвер не запустился", kReinstall},
    {39, "драйвер повреждён или отсутствует", kReinstall},
    {43, "устройство сообщило о сбое", "отключите переходник и подключите снова; если не поможет, замените его"},
    {45, "устройство не подключено", "подключите переходник"},
    {47, "устройство подготовлено к извлечению", kReplug},
    {48, "драйвер заблокирован системой", "установите новую версию драйвера от производителя переходника"},
    {52, "подпись драйвера не проверена", "установите драйвер с действующей подписью"},
};

}  // namespace

DoctorEntry DoctorNoDevice() { return Problem("в этой системе нет такого порта", "выберите другой порт"); }
DoctorEntry DoctorAdapter(const std::string& description, const std::string& usbId, const std::string& driver) {
    return Note("переходник: " + (description.empty() ? std::string("USB") : description) + ", " + usbId +
                (driver.empty() ? "" : ", драйвер " + driver));
}
DoctorEntry DoctorStableName(const std::string& path) { return Note("постоянное имя переходника: " + path); }
DoctorEntry DoctorSocketName(const std::string& path) { return Note("имя USB-гнезда: " + path); }
DoctorEntry DoctorNodeMissing(const std::string& device) {
    return Problem("устройства " + device + " нет", "подключите переходник или выберите другой порт");
}
DoctorEntry DoctorNotPermitted(const std::string& device, const std::string& group) {
    return Problem("нет прав на " + device, group.empty() ? "попросите администратора дать доступ к порту"
                                                         : "sudo usermod -aG " + group +
                                                               " $USER, затем войдите в систему заново");
}
DoctorEntry DoctorHeld(const std::string& program, long pid) {
    return Problem("порт открыт программой " + program + " (PID " + std::to_string(pid) + ")", "закройте её");
}
DoctorEntry DoctorLatency(int latencyMs, const std::string& attributePath) {
    return Problem(AdapterLatency(latencyMs), AdapterLatencyRemedy(attributePath));
}
DoctorEntry DoctorBrltty(const std::string& rulesFile, bool running) {
    return Problem(std::string("brltty ") + (running ? "запущен и " : "") + "забирает такие переходники (" + rulesFile +
                       ")",
                   "sudo apt remove brltty");
}
DoctorEntry DoctorModemManager() {
    return Problem("ModemManager посылает в порт свои запросы",
                   "sudo systemctl stop ModemManager (или правило udev из пакета программатора)");
}
DoctorEntry DoctorNotChecked(const std::string& path) { return Note("не проверено: нет доступа к " + path); }
DoctorEntry DoctorNotOpened(const PortOpenError& error, int portNumber, const std::string& busyRemedy) {
    std::string remedy = "проверьте номер порта и переходник";
    if (error.kind == OpenFailure::Busy) remedy = busyRemedy;
    if (error.kind == OpenFailure::NoAccess) remedy = "дайте пользователю доступ к порту";
    return Problem("порт не открывается: " + OpenFailureReason(error, portNumber), remedy);
}
DoctorEntry DoctorAnswered() { return Note("прибор ответил и возвращён в рабочий режим"); }
DoctorEntry DoctorNoAnswer() {
    return Problem("прибор не ответил", "проверьте питание прибора, кабель и номер порта");
}
DoctorEntry DoctorJournal(int jobs, int retries, bool tooMany, bool problem) {
    return {problem,
            "журнал: повторов в последних заданиях на этом порту (" + std::to_string(jobs) + "): " +
                std::to_string(retries),
            tooMany ? "проверьте кабель и переходник" : ""};
}
DoctorEntry DoctorDeviceName(const std::string& friendlyName) { return Note("устройство: " + friendlyName); }
DoctorEntry DoctorPlace(const std::string& location, const std::vector<std::string>& locationPaths) {
    std::string place = location.empty() ? std::string() : UsbPlace(location);
    for (const std::string& path : locationPaths) place += (place.empty() ? "" : "; ") + path;
    return Note("подключено: " + place);
}
DoctorEntry DoctorNotListed() { return Note("в списке устройств Windows этого порта нет"); }
DoctorEntry DoctorDeviceProblem(unsigned code) {
    const auto* known = std::find_if(std::begin(kDeviceProblems), std::end(kDeviceProblems),
                                     [code](const DeviceProblem& problem) { return problem.code == code; });
    const std::string number = " (код " + std::to_string(code) + ")";
    if (known == std::end(kDeviceProblems)) {
        return Problem("устройство не работает" + number, "откройте его свойства в диспетчере устройств");
    }
    return Problem(std::string("устройство не работает: ") + known->meaning + number, known->remedy);
}
std::string UsbPlace(const std::string& location) {
    unsigned socket = 0;
    unsigned hub = 0;
    char end = 0;
    if (std::sscanf(location.c_str(), "Port_#%u.Hub_#%u%c", &socket, &hub, &end) == 2) {
        return "гнездо " + std::to_string(socket) + ", концентратор " + std::to_string(hub);
    }
    return location;
}
std::string DoctorVerdict(int problems) {
    return problems == 0 ? "Ничего не мешает" : "Найдено проблем: " + std::to_string(problems);
}

}  // namespace bramis::words
