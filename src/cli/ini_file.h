// A read-only view of the INI file in which the programmer window keeps its
// settings on Linux (the QSettings INI format), so that bramis-flash can use
// the same port number and "Ports" overrides without Qt.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "image/profile_store.h"

namespace bramis::cli {

class IniFile {
public:
    using Section = std::map<std::string, std::string>;

    // Parses INI text: [Section] headers, key=value lines, ';' and '#'
    // comments; values may be quoted and carry backslash escapes. Lines that
    // fit none of these are skipped. Any thread.
    static IniFile Parse(std::string_view text);

    // Reads and parses the file; empty when it cannot be read. Any thread.
    static std::optional<IniFile> Load(const std::string& path);

    // The value of `key` in `section`, if present.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;

    // Every key of `section` (empty when absent).
    const Section& Keys(const std::string& section) const;

    // Writes every value into `store` as a string (the store's GetInt reads
    // whole numbers back). The store's thread.
    void CopyInto(ProfileStore& store) const;

private:
    std::map<std::string, Section> sections_;
};

// Where the programmer window's settings live on this machine:
// $XDG_CONFIG_HOME (or ~/.config) + "/Orvy/TOLVA upgrade.conf"; empty when
// neither variable is set. Any thread.
std::string ProgrammerSettingsPath();

}  // namespace bramis::cli
