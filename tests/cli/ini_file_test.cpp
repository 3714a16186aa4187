#include "cli/ini_file.h"

#include <gtest/gtest.h>

#include "image/memory_profile_store.h"

namespace bramis::cli {
namespace {

// As the programmer window's settings writer leaves the file, with a few
// hand edits (comments, blanks, Windows line ends).
constexpr const char* kSettingsText =
    "[General]\r\n"
    "stray=1\r\n"
    "\r\n"
    "[Ports]\r\n"
    "COM5=/dev/pts/3\r\n"
    "; a comment = not a value\r\n"
    "COM7 = \"/dev/serial/by-id/usb-Adapter, port 0\"\r\n"
    "COM9=/dev/ttyUSB\\x44\\x30\r\n"  // a digit after an escape is escaped too
    "COM%4B=/dev/null\r\n"
    "not a value line\r\n"
    "=no name\r\n"
    "\r\n"
    "[Settings]\r\n"
    "PortNumber=5\r\n"
    "ProgramAutoload=1\r\n"
    "Note=\"  padded \\\"quoted\\\"\\tand tabbed  \"\r\n"
    "At=@@home\r\n"
    "Folder=/home/я/прошивки\r\n"  // UTF-8 as it is, and as an escaped code point
    "Letter=\\x44f\r\n"
    "# also a comment\r\n";

TEST(IniFile, ReadsTheSettingsWritersFormat) {
    const IniFile ini = IniFile::Parse(kSettingsText);
    EXPECT_EQ(ini.Value("General", "stray"), "1");
    EXPECT_EQ(ini.Value("Ports", "COM5"), "/dev/pts/3");
    EXPECT_EQ(ini.Value("Ports", "COM7"), "/dev/serial/by-id/usb-Adapter, port 0");
    EXPECT_EQ(ini.Value("Ports", "COM9"), "/dev/ttyUSBD0");
    EXPECT_EQ(ini.Value("Ports", "COMK"), "/dev/null");
    EXPECT_EQ(ini.Keys("Ports").size(), 4U);
    EXPECT_EQ(ini.Value("Settings", "PortNumber"), "5");
    EXPECT_EQ(ini.Value("Settings", "Note"), "  padded \"quoted\"\tand tabbed  ");
    EXPECT_EQ(ini.Value("Settings", "At"), "@home");
    EXPECT_EQ(ini.Value("Settings", "Folder"), "/home/я/прошивки");
    EXPECT_EQ(ini.Value("Settings", "Letter"), "я");
    EXPECT_FALSE(ini.Value("Settings", "Missing"));
    EXPECT_FALSE(ini.Value("Nowhere", "COM5"));
    EXPECT_TRUE(ini.Keys("Nowhere").empty());

    // Into the settings store, where the port number and the overrides are read.
    MemoryProfileStore store;
    ini.CopyInto(store);
    EXPECT_EQ(store.GetInt(kSectionSettings, kValuePortNumber, 99), 5);
    const std::map<int, std::string> overrides = ReadPortOverrides(store);
    EXPECT_EQ(overrides, (std::map<int, std::string>{{5, "/dev/pts/3"},
                                                     {7, "/dev/serial/by-id/usb-Adapter, port 0"},
                                                     {9, "/dev/ttyUSBD0"}}));
}

}  // namespace
}  // namespace bramis::cli
