#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace bramis::cli {
namespace {

CliOptions Parsed(const std::vector<std::string>& args) {
    const ParsedCommandLine parsed = ParseCommandLine(args);
    EXPECT_EQ(parsed.error, "") << "for " << ::testing::PrintToString(args);
    return parsed.options;
}

TEST(CliOptions, CommandsAndOptionsInAnyOrder) {
    CliOptions o = Parsed({"--port", "33", "write", "fw.dat"});
    EXPECT_EQ(o.command, Command::Write);
    EXPECT_EQ(o.file, "fw.dat");
    EXPECT_EQ(o.portNumber, 33);
    EXPECT_FALSE(o.trace);

    o = Parsed({"read", "out.dat", "--device=/dev/pts/4", "--wait", "2.5", "--trace"});
    EXPECT_EQ(o.command, Command::Read);
    EXPECT_EQ(o.file, "out.dat");
    EXPECT_EQ(o.devicePath, "/dev/pts/4");
    EXPECT_EQ(o.waitSeconds, 2.5);
    EXPECT_FALSE(o.portNumber);
    EXPECT_TRUE(o.trace);

    o = Parsed({"verify", "--port=255", "x.dat"});
    EXPECT_EQ(o.command, Command::Verify);
    EXPECT_EQ(o.file, "x.dat");
    EXPECT_EQ(o.portNumber, 255);

    EXPECT_EQ(Parsed({"version"}).command, Command::Version);
    EXPECT_EQ(Parsed({"ports", "--trace"}).command, Command::Ports);

    // After "--" a file name may start with a dash.
    o = Parsed({"write", "--", "-odd.dat"});
    EXPECT_EQ(o.file, "-odd.dat");
}

TEST(CliOptions, HelpWinsOverEverythingElse) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"write", "--bogus", "--help"}, {"--port", "0", "-h"}}) {
        const ParsedCommandLine parsed = ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.command, Command::Help);
    }
    EXPECT_NE(UsageText().find("--wait"), std::string::npos);
    EXPECT_EQ(UsageText().back(), '\n');
}

TEST(CliOptions, BadCommandLinesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
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
    EXPECT_NE(ParseCommandLine({}).error, "");
}

}  // namespace
}  // namespace bramis::cli
