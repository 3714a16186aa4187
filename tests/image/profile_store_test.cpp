// Stored values of the wrong type and the port overrides.
#include "image/profile_store.h"

#include <gtest/gtest.h>

#include <climits>

#include "image/memory_profile_store.h"

namespace bramis {
namespace {

TEST(ProfileInt, OnlyWholeNumbersInTheIntRangeCount) {
    for (const auto& [text, value] : {std::pair{"99", 99}, {" -1\t", -1}, {"+7", 7}, {"2147483647", INT_MAX},
                                      {"-2147483648", INT_MIN}}) {
        EXPECT_EQ(ParseProfileInt(text), value) << text;
    }
    for (const char* bad : {"", "  ", "2147483648", "-2147483649", "12abc", "0x10", "1 2", "+-1", "+", "COM3"}) {
        EXPECT_EQ(ParseProfileInt(bad), std::nullopt) << bad;
    }
}

TEST(MemoryProfileStore, AValueOfTheWrongTypeReadsAsTheDefault) {
    MemoryProfileStore store;
    store.WriteString("Settings", "PortNumber", "три");
    store.WriteString("Settings", "ProgramAutoload", " 1 ");
    store.WriteInt("Init", "ProgramFilesDir", 5);
    EXPECT_EQ(store.GetInt("Settings", "PortNumber", 99), 99);
    EXPECT_EQ(store.GetInt("Settings", "ProgramAutoload", 0), 1);
    EXPECT_EQ(store.GetString("Init", "ProgramFilesDir", ""), "5");
    EXPECT_EQ(store.GetInt("Settings", "Absent", 42), 42);
    EXPECT_EQ(store.GetString("settings", "PortNumber", "d"), "d");

    store.Remove("Settings", "PortNumber");
    store.Remove("Settings", "Absent");
    EXPECT_EQ(store.ValueNames("Settings"), std::vector<std::string>{"ProgramAutoload"});
}

TEST(PortOverrides, OnlyComNamesWithAPortNumberAndAPathCount) {
    MemoryProfileStore store;
    store.WriteString("Ports", "COM5", "/dev/pts/3");
    store.WriteString("Ports", "com7", "/dev/serial/by-id/usb-adapter");
    store.WriteString("Ports", "COM255", "/dev/ttyUSB9");
    store.WriteString("Ports", "COM8", "");
    for (const char* ignored : {"COM0", "COM256", "COM05", "COM+6", "COM", "COMx", "COM6 ", "LPT1", "COM-1"}) {
        store.WriteString("Ports", ignored, "/dev/ignored");
    }
    store.WriteString("Settings", "COM9", "/dev/wrong-section");

    const std::map<int, std::string> expected{
        {5, "/dev/pts/3"}, {7, "/dev/serial/by-id/usb-adapter"}, {255, "/dev/ttyUSB9"}};
    EXPECT_EQ(ReadPortOverrides(store), expected);
}

}  // namespace
}  // namespace bramis
