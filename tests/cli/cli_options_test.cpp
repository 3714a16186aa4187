#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace bramis::cli {
namespace {

// Every field of the options on one line.
std::string Summary(const CliOptions& o) {
    const char* const commands[] = {"help", "write", "read", "verify", "version", "ports"};
    std::ostringstream text;
    text << commands[static_cast<int>(o.command)] << " file=" << o.file << " port=" << o.portNumber.value_or(0)
         << " device=" << o.devicePath << " wait=" << o.waitSeconds.value_or(0) << (o.trace ? " trace" : "");
    return text.str();
}

TEST(CliOptions, CommandsAndOptionsInAnyOrderAndHelpWinsOverEverything) {
    const std::pair<std::vector<std::string>, std::string> good[] = {
        {{"--port", "33", "write", "fw.dat"}, "write file=fw.dat port=33 device= wait=0"},
        {{"read", "out.dat", "--device=/dev/pts/4", "--wait", "2.5", "--trace"},
         "read file=out.dat port=0 device=/dev/pts/4 wait=2.5 trace"},
        {{"verify", "--port=255", "x.dat"}, "verify file=x.dat port=255 device= wait=0"},
        {{"version", "--device", "COM3"}, "version file= port=0 device=COM3 wait=0"},
        {{"ports", "--trace"}, "ports file= port=0 device= wait=0 trace"},
        {{"write", "--", "-odd.dat"}, "write file=-odd.dat port=0 device= wait=0"},  // a dashed name after "--"
        {{"--help"}, "help file= port=0 device= wait=0"},
        {{"-h"}, "help file= port=0 device= wait=0"},
        {{"write", "--bogus", "--help"}, "help file= port=0 device= wait=0"},
        {{"--port", "0", "-h"}, "help file= port=0 device= wait=0"},
    };
    for (const auto& [args, expected] : good) {
        const ParsedCommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "") << ::testing::PrintToString(args);
        EXPECT_EQ(Summary(parsed.options), expected) << ::testing::PrintToString(args);
    }
}

TEST(CliOptions, BadCommandLinesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"version", "--port"},                       // value missing
        {"--port", "0", "version"},                  // out of range
        {"--port", "256", "version"},
        {"--port", "3x", "version"},
        {"--port", "", "version"},
        {"--port", "1", "--device", "/dev/x", "version"},
        {"--device", "/dev/x", "--port=1", "version"},
        {"--device=", "version"},
        {"--wait", "0", "version"},
        {"--wait", "-3", "version"},
        {"--wait", "inf", "version"},
        {"--wait", "nan", "version"},
        {"--wait", "soon", "version"},
        {"--trace=1", "version"},
        {"--verbose", "version"},
        {"flash", "a.dat"},                          // unknown command
        {"write"},                                   // file missing
        {"read", "--trace"},
        {"write", "a.dat", "b.dat"},                 // one file only
        {"version", "extra"},
        {"ports", "--port", "3"},                    // ports probes every number itself
        {"ports", "--device", "/dev/x"},
        {"ports", "--wait", "1"},
        {"--trace"},                                 // no command
    };
    for (const auto& args : bad) {
        EXPECT_NE(ParseCommandLine(args).error, "") << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace bramis::cli
