// Command line of bramis-flash: what to do, with which port, and how.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bramis::cli {

enum class Command { Help, Write, Read, Verify, Version, Ports };

struct CliOptions {
    Command command = Command::Help;
    std::string file;                  // write, read, verify
    std::optional<int> portNumber;     // --port N (1..255)
    std::string devicePath;            // --device PATH
    std::optional<double> waitSeconds; // --wait SECONDS (> 0)
    bool trace = false;                // --trace
};

// Either the options or, for a bad command line, a message in Russian saying
// what is wrong (no program name, no newline).
struct ParsedCommandLine {
    CliOptions options;
    std::string error;
};

// Parses the arguments after the program name. --help (or -h) anywhere wins
// over everything else. Any thread.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text, in Russian, ending with a newline. Any thread.
std::string UsageText();

}  // namespace bramis::cli
