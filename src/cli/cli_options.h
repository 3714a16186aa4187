// Command line of bramis-flash: what to do, with which ports, and how.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bramis::cli {

enum class Command { Help, ProgramVersion, Write, Read, Verify, Version, Ports, Find, Journal, Doctor };

// Records `journal` prints unless told otherwise.
inline constexpr int kDefaultJournalRecords = 20;

struct CliOptions {
    Command command = Command::Help;
    std::string file;                  // write, read, verify
    std::vector<int> portNumbers;      // --port N (1..255), repeatable
    std::vector<std::string> devices;  // --device PATH, repeatable
    std::optional<double> waitSeconds; // --wait SECONDS (> 0)
    bool trace = false;                // --trace
    bool verify = false;               // write --verify
    int journalRecords = kDefaultJournalRecords;  // journal [N]
};

// Either the options or, for a bad command line, a message in Russian saying
// what is wrong (no program name, no newline).
struct ParsedCommandLine {
    CliOptions options;
    std::string error;
};

// Parses the arguments after the program name. --help (or -h) anywhere before
// "--" wins over everything else, then --version. Any thread.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text, in Russian, ending with a newline. Any thread.
std::string UsageText();

}  // namespace bramis::cli
