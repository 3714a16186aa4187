// Where bramis-flash finds the programmer window's settings on Linux: the
// INI file under XDG_CONFIG_HOME or ~/.config.
#include "cli/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace bramis::cli {
namespace {

TEST(IniFile, LoadsFromTheSettingsPathOfThisUser) {
    const auto folder = std::filesystem::temp_directory_path() / ("bramis-ini-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "Orvy");
    std::ofstream(folder / "Orvy" / "TOLVA upgrade.conf") << "[Ports]\nCOM65=/dev/pts/9\n";

    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    EXPECT_EQ(ProgrammerSettingsPath(), (folder / "Orvy" / "TOLVA upgrade.conf").string());
    const std::optional<IniFile> ini = IniFile::Load(ProgrammerSettingsPath());
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->Value("Ports", "COM65"), "/dev/pts/9");

    ::setenv("XDG_CONFIG_HOME", "", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ProgrammerSettingsPath(), "/home/someone/.config/Orvy/TOLVA upgrade.conf");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (oldXdg != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_FALSE(IniFile::Load((folder / "absent.conf").string()));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace bramis::cli
