// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the test ends, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/utf8_path.h"
#include "link/device_memory.h"

namespace bramis::testing {

namespace fs = std::filesystem;

// Named after the test, and at random: other builds may run it at the same time.
class TempFolder {
public:
    TempFolder() { fs::create_directories(path_); }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const fs::path& Path() const { return path_; }
    // The UTF-8 path of `name` (UTF-8, may hold folders) inside the folder, with the system's separators.
    std::string File(const std::string& name) const {
        return Utf8FromPath((path_ / PathFromUtf8(name)).make_preferred());
    }
    // Names of everything directly inside the folder (UTF-8), sorted.
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) names.push_back(Utf8FromPath(entry.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_ = fs::path(::testing::TempDir()) /
                     ("bramis-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                      std::to_string(std::random_device{}()));
};

// `posixPath` ("/images/x.dat") as this system writes that absolute path
// ("Z:\images\x.dat" on Windows, with the current drive); the file need not exist.
inline std::string SystemPath(const std::string& posixPath) {
    return Utf8FromPath(fs::absolute(PathFromUtf8(posixPath)).lexically_normal().make_preferred());
}

// `size` bytes whose values follow `seed`, so that two files differ.
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 512);
    return bytes;
}

inline void WriteBytes(const std::string& utf8Path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(PathFromUtf8(utf8Path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << utf8Path;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& utf8Path) {
    std::ifstream in(PathFromUtf8(utf8Path), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace bramis::testing
