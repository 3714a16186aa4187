#include "cli/ini_file.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bramis::cli {

namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads up to `maxDigits` hex digits at `text[i]`, advancing `i` past them.
unsigned ReadHex(std::string_view text, std::size_t& i, int maxDigits) {
    unsigned value = 0;
    for (int n = 0; n < maxDigits && i < text.size() && HexDigit(text[i]) >= 0; ++n, ++i) {
        value = value * 16 + static_cast<unsigned>(HexDigit(text[i]));
    }
    return value;
}

// Keys and section names: %XX and %UXXXX stand for characters.
std::string UnescapeKey(std::string_view key) {
    std::string out;
    for (std::size_t i = 0; i < key.size();) {
        if (key[i] == '%' && i + 1 < key.size()) {
            ++i;
            const bool wide = key[i] == 'U';
            i += wide;
            AppendUtf8(out, ReadHex(key, i, wide ? 4 : 2));
        } else {
            out += key[i++];
        }
    }
    return out;
}

// Values: double quotes group text, backslash escapes as written by the
// settings writer (\\, \", \n, \t, \r, \xHHHH ...), "@@" for a leading '@'.
std::string UnescapeValue(std::string_view raw) {
    static const std::string kFrom = "abfnrtv";
    static const std::string kTo = "\a\b\f\n\r\t\v";
    std::string out;
    for (std::size_t i = 0; i < raw.size();) {
        const char c = raw[i++];
        if (c == '"') {
            continue;
        }
        if (c != '\\' || i == raw.size()) {
            out += c;
            continue;
        }
        const char e = raw[i++];
        if (e == 'x') {
            AppendUtf8(out, ReadHex(raw, i, 4));
        } else if (const auto k = kFrom.find(e); k != std::string::npos) {
            out += kTo[k];
        } else {
            out += e;
        }
    }
    if (out.rfind("@@", 0) == 0) {
        out.erase(0, 1);
    }
    return out;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    std::string section = "General";
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = UnescapeKey(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            continue;
        }
        ini.sections_[section][UnescapeKey(Trim(line.substr(0, eq)))] =
            UnescapeValue(Trim(line.substr(eq + 1)));
    }
    return ini;
}

std::optional<IniFile> IniFile::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str());
}

std::optional<std::string> IniFile::Value(const std::string& section, const std::string& key) const {
    const Section& keys = Keys(section);
    const auto found = keys.find(key);
    if (found == keys.end()) {
        return std::nullopt;
    }
    return found->second;
}

const IniFile::Section& IniFile::Keys(const std::string& section) const {
    static const Section kNone;
    const auto found = sections_.find(section);
    return found == sections_.end() ? kNone : found->second;
}

void IniFile::CopyInto(ProfileStore& store) const {
    for (const auto& [section, keys] : sections_) {
        for (const auto& [key, value] : keys) {
            store.WriteString(section, key, value);
        }
    }
}

std::string ProgrammerSettingsPath() {
    std::string folder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0') {
        folder = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::string(home) + "/.config";
    } else {
        return {};
    }
    return folder + "/Orvy/TOLVA upgrade.conf";
}

}  // namespace bramis::cli
