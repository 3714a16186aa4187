#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <map>

namespace bramis::cli {

namespace {

const std::map<std::string, Command>& CommandNames() {
    static const std::map<std::string, Command> names = {
        {"write", Command::Write},     {"read", Command::Read}, {"verify", Command::Verify},
        {"version", Command::Version}, {"ports", Command::Ports},
    };
    return names;
}

bool NeedsFile(Command command) {
    return command == Command::Write || command == Command::Read || command == Command::Verify;
}

template <typename Number>
bool ParseWhole(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

std::string Quoted(const std::string& text) { return "«" + text + "»"; }

// Walks the arguments; stops at the first error.
class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    ParsedCommandLine Run() {
        for (const std::string& arg : args_) {
            if (arg == "--help" || arg == "-h") {
                return {};  // Command::Help
            }
        }
        for (index_ = 0; index_ < args_.size() && result_.error.empty(); ++index_) {
            TakeArgument(args_[index_]);
        }
        if (result_.error.empty()) {
            CheckComplete();
        }
        return result_;
    }

private:
    void TakeArgument(const std::string& arg) {
        if (!optionsEnded_ && arg == "--") {
            optionsEnded_ = true;
        } else if (!optionsEnded_ && arg.size() > 1 && arg[0] == '-') {
            TakeOption(arg);
        } else {
            TakePositional(arg);
        }
    }

    void TakeOption(const std::string& arg) {
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        if (name == "--trace" && !inlineValue) {
            options().trace = true;
            return;
        }
        if (name != "--port" && name != "--device" && name != "--wait") {
            Fail("неизвестный параметр " + Quoted(arg));
            return;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (index_ + 1 < args_.size()) {
            value = args_[++index_];
        } else {
            Fail("после " + name + " нужно значение");
            return;
        }
        if (name == "--port") {
            TakePort(value);
        } else if (name == "--device") {
            TakeDevice(value);
        } else {
            TakeWait(value);
        }
    }

    void TakePort(const std::string& value) {
        int number = 0;
        if (!ParseWhole(value, number) || number < 1 || number > 255) {
            Fail("номер порта должен быть целым числом от 1 до 255, а не " + Quoted(value));
        } else if (!options().devicePath.empty()) {
            Fail("укажите либо --port, либо --device, но не оба");
        } else {
            options().portNumber = number;
        }
    }

    void TakeDevice(const std::string& value) {
        if (value.empty()) {
            Fail("после --device нужен путь к устройству");
        } else if (options().portNumber) {
            Fail("укажите либо --port, либо --device, но не оба");
        } else {
            options().devicePath = value;
        }
    }

    void TakeWait(const std::string& value) {
        double seconds = 0;
        if (!ParseWhole(value, seconds) || !std::isfinite(seconds) || seconds <= 0) {
            Fail("время ожидания должно быть положительным числом секунд, а не " + Quoted(value));
        } else {
            options().waitSeconds = seconds;
        }
    }

    void TakePositional(const std::string& arg) {
        if (!commandSeen_) {
            const auto found = CommandNames().find(arg);
            if (found == CommandNames().end()) {
                Fail("неизвестная команда " + Quoted(arg));
                return;
            }
            options().command = found->second;
            commandSeen_ = true;
        } else if (NeedsFile(options().command) && !fileSeen_) {
            options().file = arg;
            fileSeen_ = true;
        } else {
            Fail("лишний аргумент " + Quoted(arg));
        }
    }

    void CheckComplete() {
        const Command command = options().command;
        if (!commandSeen_) {
            Fail("не указана команда (write, read, verify, version или ports)");
        } else if (NeedsFile(command) && (!fileSeen_ || options().file.empty())) {
            Fail("команде нужен файл образа");
        } else if (command == Command::Ports &&
                   (options().portNumber || !options().devicePath.empty() || options().waitSeconds)) {
            Fail("команда ports не принимает --port, --device и --wait");
        }
    }

    void Fail(std::string message) { result_.error = std::move(message); }
    CliOptions& options() { return result_.options; }

    const std::vector<std::string>& args_;
    ParsedCommandLine result_;
    std::size_t index_ = 0;
    bool optionsEnded_ = false;
    bool commandSeen_ = false;
    bool fileSeen_ = false;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) { return Parser(args).Run(); }

std::string UsageText() {
    return "Использование:\n"
           "  bramis-flash [--port N | --device ПУТЬ] [--wait СЕКУНДЫ] [--trace] write ФАЙЛ.dat\n"
           "  bramis-flash [--port N | --device ПУТЬ] [--wait СЕКУНДЫ] [--trace] read ФАЙЛ.dat\n"
           "  bramis-flash [--port N | --device ПУТЬ] [--wait СЕКУНДЫ] [--trace] verify ФАЙЛ.dat\n"
           "  bramis-flash [--port N | --device ПУТЬ] [--wait СЕКУНДЫ] [--trace] version\n"
           "  bramis-flash ports\n"
           "\n"
           "Команды:\n"
           "  write ФАЙЛ   записать образ (ровно 188416 байт) в прибор\n"
           "  read ФАЙЛ    прочитать программу прибора в файл (файл заменяется\n"
           "               только полностью прочитанным образом)\n"
           "  verify ФАЙЛ  прочитать программу прибора и сравнить её с файлом\n"
           "  version      показать версию загрузчика прибора\n"
           "  ports        показать найденные COM-порты и их устройства\n"
           "\n"
           "Параметры:\n"
           "  --port N         COM-порт N (1..255). В Linux: 1..32 - /dev/ttyS0..31,\n"
           "                   33..64 - /dev/ttyUSB0..31, 65..96 - /dev/ttyACM0..31,\n"
           "                   либо устройство из раздела [Ports] настроек программатора\n"
           "                   (~/.config/Orvy/TOLVA upgrade.conf, ключи COM<n>=путь).\n"
           "                   Без --port и --device - порт из настроек программатора.\n"
           "  --device ПУТЬ    открыть указанное устройство последовательного порта\n"
           "  --wait СЕКУНДЫ   ждать перехода прибора в режим программирования не\n"
           "                   дольше указанного времени (write, read и verify ждут\n"
           "                   без ограничения до отмены; version - 5 секунд)\n"
           "  --trace          выводить в stderr все запросы и ответы (в hex, с мс)\n"
           "  -h, --help       эта справка\n"
           "\n"
           "Ctrl+C, закрытие терминала и сигнал завершения отменяют задание так же,\n"
           "как кнопка «Отмена»: прибор, уже перешедший в режим программирования,\n"
           "возвращается в рабочий режим.\n"
           "\n"
           "Коды завершения: 0 - успешно; 1 - ошибка задания или образ в приборе\n"
           "отличается от файла; 2 - неверные параметры или файл; 3 - отменено.\n";
}

}  // namespace bramis::cli
