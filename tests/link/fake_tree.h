// Files and links of a fake system tree (/sys, /dev, /proc) for the tests of
// what the link layer reads from the system.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace bramis::test {

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

inline void Link(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink(target, link);
}

}  // namespace bramis::test
