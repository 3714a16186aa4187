#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace bramis::cli {
namespace {

// Every field of the options on one line.
std::string Summary(const CliOptions& o) {
    const char* const commands[] = {"help", "--version", "write", "read", "verify", "version", "ports", "find", "journal"};
    std::ostringstream text;
    text << commands[static_cast<int>(o.command)] << " file=" << o.file << " ports=";
    for (const int number : o.portNumbers) text << number << ',';
    text << " devices=";
    for (const std::string& device : o.devices) text << device << ',';
    text << " wait=" << o.waitSeconds.value_or(0) << " n=" << o.journalRecords << (o.trace ? " trace" : "")
         << (o.verify ? " verify" : "");
    return text.str();
}

TEST(CliOptions, CommandsAndOptionsInAnyOrderAndHelpWinsOverEverything) {
    const std::pair<std::vector<std::string>, std::string> good[] = {
        {{"--port", "33", "write", "fw.dat"}, "write file=fw.dat ports=33, devices= wait=0 n=20"},
        {{"read", "out.dat", "--device=/dev/pts/4", "--wait", "2.5", "--trace"},
         "read file=out.dat ports= devices=/dev/pts/4, wait=2.5 n=20 trace"},
        {{"--port", "5", "--port=6", "--device", "/dev/a", "write", "--verify", "x.dat"},
         "write file=x.dat ports=5,6, devices=/dev/a, wait=0 n=20 verify"},
        {{"write", "--", "-odd.dat"}, "write file=-odd.dat ports= devices= wait=0 n=20"},
        {{"journal", "7"}, "journal file= ports= devices= wait=0 n=7"},
        {{"find"}, "find file= ports= devices= wait=0 n=20"},
        {{"--version"}, "--version file= ports= devices= wait=0 n=20"},
        {{"write", "--bogus", "--help"}, "help file= ports= devices= wait=0 n=20"},
        {{"--port", "0", "-h"}, "help file= ports= devices= wait=0 n=20"},
    };
    for (const auto& [args, expected] : good) {
        const ParsedCommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "") << ::testing::PrintToString(args);
        EXPECT_EQ(Summary(parsed.options), expected) << ::testing::PrintToString(args);
    }
}

// Each refusal is said in Russian, the parser's own English never shows.
TEST(CliOptions, BadCommandLinesAreRefusedWithAReason) {
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{}, "не указана команда (write, read, verify, version, ports, find, journal или doctor)"},
        {{"version", "--port"}, "после --port нужно значение"},
        {{"--port", "0", "version"}, "номер порта должен быть целым числом от 1 до 255, а не «0»"},
        {{"--port", "256", "version"}, "номер порта должен быть целым числом от 1 до 255, а не «256»"},
        {{"--port", "3x", "version"}, "номер порта должен быть целым числом от 1 до 255, а не «3x»"},
        {{"--device=", "version"}, "после --device нужен путь к устройству"},
        {{"--wait", "0", "version"}, "время ожидания должно быть положительным числом секунд, а не «0»"},
        {{"--wait", "inf", "version"}, "время ожидания должно быть положительным числом секунд, а не «inf»"},
        {{"--wait", "nan", "version"}, "время ожидания должно быть положительным числом секунд, а не «nan»"},
        {{"--trace=1", "version"}, "параметр --trace не принимает значения"},
        {{"--verbose", "version"}, "неизвестный параметр «--verbose»"},
        {{"flash", "a.dat"}, "неизвестная команда «flash»"},
        {{"read", "--trace"}, "команде нужен файл образа"},
        {{"write", "a.dat", "b.dat"}, "лишний аргумент «b.dat»"},
        {{"journal", "0"}, "число записей журнала должно быть целым положительным, а не «0»"},
        {{"ports", "--port", "3"}, "команды ports, find и journal не принимают --port, --device и --wait"},
        {{"read", "--verify", "a.dat"}, "--verify относится только к команде write"},
    };
    for (const auto& [args, message] : bad) {
        EXPECT_EQ(ParseCommandLine(args).error, message) << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace bramis::cli
