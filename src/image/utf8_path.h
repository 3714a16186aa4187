// Paths travel through the program as UTF-8 std::string; these helpers turn
// them into std::filesystem::path and back without going through the
// narrow-character code page, so Cyrillic names work on Windows too.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace bramis {

// The filesystem path named by the UTF-8 text `utf8`. Any thread.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The UTF-8 text of `path`. Any thread.
std::string Utf8FromPath(const std::filesystem::path& path);

// The absolute, lexically normalised form of `utf8` in native separators:
// how a file is named in the recent-file list. Any thread.
std::string AbsoluteUtf8Path(std::string_view utf8);

// How many characters (code points, not bytes) the UTF-8 text `utf8` holds:
// a Cyrillic letter takes two bytes. Any thread.
std::size_t Utf8CharacterCount(std::string_view utf8);

// `path` as a line may show it: valid UTF-8 as it is, any other byte (a name
// in another code page, which POSIX systems allow) and control characters
// as \xNN. Any thread.
std::string PrintablePath(std::string_view path);

// True when `a` and `b` name the same file: their canonical forms (symbolic
// links and "." / ".." resolved as far as the files exist) are equal, compared
// without regard to case on Windows. Any thread.
bool SameFile(std::string_view a, std::string_view b);

}  // namespace bramis
