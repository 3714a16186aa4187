#include "utf8_path.h"

#include <algorithm>
#include <system_error>

#include "native_file.h"

namespace bramis {

namespace fs = std::filesystem;

fs::path PathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string AbsoluteUtf8Path(std::string_view utf8) {
    std::error_code error;
    fs::path path = fs::absolute(PathFromUtf8(utf8), error);
    if (error) {
        path = PathFromUtf8(utf8);
    }
    return Utf8FromPath(path.lexically_normal().make_preferred());
}

std::size_t Utf8CharacterCount(std::string_view utf8) {
    // Every byte but the continuation bytes (10xxxxxx) starts a character.
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

namespace {

fs::path CanonicalForm(std::string_view utf8) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(PathFromUtf8(utf8), error);
    if (error) {
        return PathFromUtf8(AbsoluteUtf8Path(utf8));
    }
    return path.make_preferred();
}

}  // namespace

bool SameFile(std::string_view a, std::string_view b) {
    return detail::SamePathText(CanonicalForm(a), CanonicalForm(b));
}

}  // namespace bramis
