#include "cli/cli_options.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>

namespace bramis::cli {

namespace {

const std::map<std::string, Command>& CommandNames() {
    static const std::map<std::string, Command> names = {
        {"write", Command::Write},     {"read", Command::Read},   {"verify", Command::Verify},
        {"version", Command::Version}, {"ports", Command::Ports}, {"find", Command::Find},
        {"journal", Command::Journal}, {"doctor", Command::Doctor},
    };
    return names;
}

bool NeedsFile(Command command) {
    return command == Command::Write || command == Command::Read || command == Command::Verify;
}

std::string Quoted(const std::string& text) { return "«" + text + "»"; }

// The options that take a value, and those that take none.
const QStringList kValueOptions = {QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("wait")};
const QStringList kFlagOptions = {QStringLiteral("trace"), QStringLiteral("verify"), QStringLiteral("help"),
                                  QStringLiteral("version")};

// The parser's own messages are English: this says in Russian what it refused.
std::string ParseErrorText(const QCommandLineParser& parser, const QStringList& args) {
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
        const QString& name = unknown.first();
        return "неизвестный параметр " + Quoted((name.size() == 1 ? "-" : "--") + name.toStdString());
    }
    // A value option takes the next argument whatever it is: only the last can lack one.
    if (!args.isEmpty() && args.last().startsWith(QStringLiteral("--")) && kValueOptions.contains(args.last().mid(2))) {
        return "после " + args.last().toStdString() + " нужно значение";
    }
    for (const QString& arg : args) {
        const QString name = arg.mid(2).section(QLatin1Char('='), 0, 0);
        if (arg.startsWith(QStringLiteral("--")) && arg.contains(QLatin1Char('=')) && kFlagOptions.contains(name)) {
            return "параметр --" + name.toStdString() + " не принимает значения";
        }
    }
    return "неверная командная строка";
}

// The bytes of the argument among `args` that the parser gave as `value`:
// a file name that is not UTF-8, which Linux allows, keeps its bytes instead
// of turning into U+FFFD.
std::string AsGiven(const std::vector<std::string>& args, const QString& value) {
    const auto given = std::find_if(args.begin(), args.end(),
                                    [&](const std::string& arg) { return QString::fromStdString(arg) == value; });
    return given != args.end() ? *given : value.toStdString();
}

// Fills `options` from the parsed values; returns an error or "".
std::string TakeValues(const QCommandLineParser& parser, const std::vector<std::string>& args, CliOptions& options) {
    for (const QString& value : parser.values(QStringLiteral("port"))) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || number < 1 || number > 255 || value.trimmed() != value) {
            return "номер порта должен быть целым числом от 1 до 255, а не " + Quoted(value.toStdString());
        }
        options.portNumbers.push_back(number);
    }
    for (const QString& value : parser.values(QStringLiteral("device"))) {
        if (value.isEmpty()) {
            return "после --device нужен путь к устройству";
        }
        options.devices.push_back(AsGiven(args, value));
    }
    if (parser.isSet(QStringLiteral("wait"))) {
        const QString value = parser.value(QStringLiteral("wait"));
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0) {
            return "время ожидания должно быть положительным числом секунд, а не " + Quoted(value.toStdString());
        }
        options.waitSeconds = seconds;
    }
    options.trace = parser.isSet(QStringLiteral("trace"));
    options.verify = parser.isSet(QStringLiteral("verify"));
    return {};
}

// The command and its argument; returns an error or "".
std::string TakePositionals(const QStringList& positionals, const std::vector<std::string>& args,
                            CliOptions& options) {
    if (positionals.isEmpty()) {
        return "не указана команда (write, read, verify, version, ports, find, journal или doctor)";
    }
    const auto found = CommandNames().find(positionals.first().toStdString());
    if (found == CommandNames().end()) {
        return "неизвестная команда " + Quoted(positionals.first().toStdString());
    }
    options.command = found->second;
    const bool takesArgument = NeedsFile(options.command) || options.command == Command::Journal;
    if (positionals.size() > (takesArgument ? 2 : 1)) {
        return "лишний аргумент " + Quoted(positionals.last().toStdString());
    }
    const std::string argument = positionals.size() > 1 ? positionals[1].toStdString() : std::string();
    if (NeedsFile(options.command)) {
        if (argument.empty()) {
            return "команде нужен файл образа";
        }
        options.file = AsGiven(args, positionals[1]);
    }
    if (options.command == Command::Journal && positionals.size() > 1) {
        bool ok = false;
        options.journalRecords = positionals[1].toInt(&ok);
        if (!ok || options.journalRecords < 1) {
            return "число записей журнала должно быть целым положительным, а не " + Quoted(argument);
        }
    }
    return {};
}

// What the command does not take; returns an error or "".
std::string CheckCombination(const CliOptions& options) {
    const bool portsGiven = !options.portNumbers.empty() || !options.devices.empty();
    const bool talksToDevice = NeedsFile(options.command) || options.command == Command::Version;
    if (options.command == Command::Doctor && options.waitSeconds) {
        return "команда doctor не принимает --wait";
    }
    if (!talksToDevice && options.command != Command::Doctor && (portsGiven || options.waitSeconds)) {
        return "команды ports, find и journal не принимают --port, --device и --wait";
    }
    if (options.verify && options.command != Command::Write) {
        return "--verify относится только к команде write";
    }
    return {};
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine result;
    QStringList arguments;
    for (const std::string& arg : args) {
        arguments << QString::fromStdString(arg);
    }
    const auto optionsEnd = std::find(args.begin(), args.end(), "--");
    if (std::any_of(args.begin(), optionsEnd, [](const std::string& arg) { return arg == "--help" || arg == "-h"; })) {
        return result;  // Command::Help
    }

    QCommandLineParser parser;
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QString()},
        {QStringLiteral("version"), QString()},
        {QStringLiteral("port"), QString(), QStringLiteral("N")},
        {QStringLiteral("device"), QString(), QStringLiteral("PATH")},
        {QStringLiteral("wait"), QString(), QStringLiteral("SECONDS")},
        {QStringLiteral("trace"), QString()},
        {QStringLiteral("verify"), QString()},
    });
    if (!parser.parse(QStringList{QStringLiteral("bramis-flash")} + arguments)) {
        result.error = ParseErrorText(parser, arguments);
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.options.command = Command::ProgramVersion;
        return result;
    }
    CliOptions& options = result.options;
    for (const auto& step :
         {TakeValues(parser, args, options), TakePositionals(parser.positionalArguments(), args, options)}) {
        if (!step.empty()) {
            result.error = step;
            return result;
        }
    }
    result.error = CheckCombination(options);
    return result;
}

std::string UsageText() {
    return "Использование:\n"
           "  bramis-flash [ПРИБОРЫ] [--wait СЕКУНДЫ] [--trace] write [--verify] ФАЙЛ.dat\n"
           "  bramis-flash [ПРИБОРЫ] [--wait СЕКУНДЫ] [--trace] read ФАЙЛ.dat\n"
           "  bramis-flash [ПРИБОРЫ] [--wait СЕКУНДЫ] [--trace] verify ФАЙЛ.dat\n"
           "  bramis-flash [ПРИБОРЫ] [--wait СЕКУНДЫ] [--trace] version\n"
           "  bramis-flash ports | find | journal [N]\n"
           "  bramis-flash [ПРИБОРЫ] doctor\n"
           "  ПРИБОРЫ: --port N или --device ПУТЬ, каждый можно повторить\n"
           "\n"
           "Команды:\n"
           "  write ФАЙЛ   записать образ (ровно 188416 байт) в прибор; с --verify\n"
           "               затем прочитать его обратно и сравнить с файлом (проверка\n"
           "               длится примерно как чтение: около 7,5 минуты на 9600 бод)\n"
           "  read ФАЙЛ    прочитать программу прибора в файл (файл заменяется\n"
           "               только полностью прочитанным образом); для нескольких\n"
           "               приборов имя файла должно содержать {port}: fw-{port}.dat.\n"
           "               Символическая ссылка остаётся: заменяется файл, на который\n"
           "               она указывает. Жёсткая ссылка отделяется: другие имена\n"
           "               файла сохраняют прежнее содержимое. Если файл сохранить\n"
           "               нельзя, программа сохраняется под новым именем в папке\n"
           "               файла, во временной или в домашней папке\n"
           "  verify ФАЙЛ  прочитать программу прибора и сравнить её с файлом\n"
           "  version      показать версию загрузчика прибора\n"
           "  ports        показать найденные COM-порты и их устройства\n"
           "  find         найти порт, к которому подключён прибор. Внимание: запрос\n"
           "               перехода в режим программирования отправляется по очереди\n"
           "               на каждый найденный порт, какое бы устройство к нему ни было\n"
           "               подключено; ответивший прибор сразу возвращается в рабочий\n"
           "               режим\n"
           "  journal [N]  показать последние N записей журнала заданий (по умолчанию 20)\n"
           "  doctor       проверить подключение: права на порт, другие программы,\n"
           "               занявшие его, переходник и его задержку, ответ прибора,\n"
           "               повторы в журнале; код 0, если ничего не мешает\n"
           "\n"
           "Параметры:\n"
           "  --port N         COM-порт N (1..255). В Linux: 1..32 - /dev/ttyS0..31,\n"
           "                   33..64 - /dev/ttyUSB0..31, 65..96 - /dev/ttyACM0..31,\n"
           "                   либо устройство из раздела [Ports] настроек программатора\n"
           "                   (~/.config/Orvy/TOLVA upgrade.conf, ключи COM<n>=путь).\n"
           "                   Без --port и --device - порт из настроек программатора.\n"
           "  --device ПУТЬ    открыть указанное устройство последовательного порта\n"
           "                   Несколько --port и --device: задание выполняется на всех\n"
           "                   приборах сразу, строки вывода начинаются с имени порта,\n"
           "                   в конце - итог по каждому прибору.\n"
           "  --wait СЕКУНДЫ   ждать перехода прибора в режим программирования не\n"
           "                   дольше указанного времени (write, read и verify ждут\n"
           "                   без ограничения до отмены; version - 5 секунд)\n"
           "  --trace          выводить в stderr все запросы и ответы (в hex, с мс)\n"
           "  --version        показать версию bramis-flash\n"
           "  -h, --help       эта справка\n"
           "\n"
           "Ctrl+C, закрытие терминала и сигнал завершения отменяют задание так же,\n"
           "как кнопка «Отмена»: прибор, уже перешедший в режим программирования,\n"
           "возвращается в рабочий режим. Каждое задание записывается в журнал\n"
           "заданий (journal.csv в папке данных программатора).\n"
           "\n"
           "Коды завершения: 0 - успешно; 1 - ошибка задания или образ в приборе\n"
           "отличается от файла (find: прибор не найден); 2 - неверные параметры или\n"
           "файл; 3 - отменено. Для нескольких приборов - худший из результатов.\n";
}

}  // namespace bramis::cli
