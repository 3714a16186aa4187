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

// The length of the valid UTF-8 character that `text` starts with; 0 when
// it starts with no such character.
std::size_t Utf8CharacterLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    // The second byte's range rules out overlong forms, surrogates and
    // code points beyond U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

fs::path CanonicalForm(std::string_view utf8) {
    std::error_code error;
    fs::path path = fs::weakly_canonical(PathFromUtf8(utf8), error);
    if (error) {
        return PathFromUtf8(AbsoluteUtf8Path(utf8));
    }
    return path.make_preferred();
}

}  // namespace

std::string PrintablePath(std::string_view path) {
    std::string printable;
    while (!path.empty()) {
        const std::size_t length = Utf8CharacterLength(path);
        const auto byte = static_cast<unsigned char>(path[0]);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            constexpr char kHex[] = "0123456789ABCDEF";
            printable += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
            path.remove_prefix(1);
        } else {
            printable += path.substr(0, length);
            path.remove_prefix(length);
        }
    }
    return printable;
}

bool SameFile(std::string_view a, std::string_view b) {
    return detail::SamePathText(CanonicalForm(a), CanonicalForm(b));
}

}  // namespace bramis
