// The emulator's command line and its flash file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>

#include "devsim/devsim_options.h"
#include "devsim/flash_file.h"
#include "link/bootloader.h"

namespace bramis::devsim {
namespace {

std::optional<DevsimOptions> Parse(std::vector<std::string_view> args, std::string& error) {
    return ParseDevsimOptions(args, error);
}

TEST(DevsimOptionsTest, ParsesEveryOptionIntoTheDevice) {
    std::string error;
    const auto options = Parse(
        {"--link", "/tmp/dev", "--image", "in.dat", "--save", "out.dat", "--version", "2.17", "--wire-speed",
         "--events", "--turnaround", "0.5", "--erase-time", "300", "--write-time", "4", "--silent-enters", "2",
         "--refuse-block", "5:1:5A", "--corrupt-read", "9", "--drop-after-blocks", "100", "--fail-erase", "--fault",
         "short,cmd=run,value=3", "--random-faults", "42:0.25", "--random-kinds", "silent,pause", "--latency", "16", "--jitter", "0.5"},
        error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(std::tie(options->linkPath, options->imagePath, options->savePath),
              std::make_tuple("/tmp/dev", "in.dat", "out.dat"));
    EXPECT_EQ(std::tie(options->versionMajor, options->versionMinor, options->timing.wireSpeed, options->events),
              std::make_tuple(2, 17, true, true));
    EXPECT_EQ(std::tie(options->timing.turnaroundMs, options->timing.eraseMs, options->timing.writeMs),
              std::make_tuple(0.5, 300.0, 4.0));
    EXPECT_EQ(std::tie(options->adapter.latencyMs, options->adapter.packetBytes, options->adapter.jitterMs),
              std::make_tuple(16.0, 0, 0.5));
    // A packet that never fills still goes at the chip's default timer.
    EXPECT_EQ(Parse({"--packet", "64"}, error)->adapter.latencyMs, 16.0);
    ASSERT_TRUE(options->random);
    EXPECT_EQ(std::tie(options->random->seed, options->random->probability), std::make_tuple(42U, 0.25));
    EXPECT_EQ(options->random->kinds, (std::vector<FaultKind>{FaultKind::Silent, FaultKind::Pause}));

    // The shorthand options become rules that strike what they say.
    FaultPlan plan(options->faults, std::nullopt);
    const auto hit = [&plan](std::uint8_t command, int block, int attempt) {
        const auto rule = plan.Select(command, block, attempt);
        if (!rule) return std::string("-");
        const std::string value = rule->value == kDefault ? "" : ' ' + std::to_string(rule->value);
        return std::string(FaultKindName(rule->kind)) + value;
    };
    EXPECT_EQ((std::vector{hit(CMD_ENTER_PROG, -1, 1), hit(CMD_ENTER_PROG, -1, 2), hit(CMD_WRITE_BLOCK, 5, 0),
                           hit(CMD_WRITE_BLOCK, 5, 1), hit(CMD_READ_BLOCK, 9, 0), hit(CMD_READ_BLOCK, 9, 1),
                           hit(CMD_WRITE_BLOCK, 100, 3), hit(CMD_WRITE_BLOCK, 99, 0), hit(CMD_ERASE, -1, 1),
                           hit(CMD_RUN_PROGRAM, -1, 5)}),
              (std::vector<std::string>{"silent", "-", "-", "status 90", "corrupt-crc", "-", "drop", "-", "status 0",
                                        "short 3"}));

    EXPECT_TRUE(Parse({"-h"}, error)->help);
    EXPECT_TRUE(Parse({}, error));
}

TEST(DevsimOptionsTest, RejectsBadCommandLinesWithAReason) {
    const std::vector<std::vector<std::string_view>> bad{
        {"--bogus"}, {"--link"}, {"--version", "1"}, {"--version", "1.256"}, {"--version", "a.b"},
        {"--turnaround", "-1"}, {"--silent-enters", "x"}, {"--refuse-block", "5:1"},
        {"--refuse-block", "5:1:100"}, {"--corrupt-read", "1:2:3"}, {"--random-faults", "1:1.5"},
        {"--random-faults", "1"}, {"--random-kinds", "silent,melt"}, {"--latency", "x"}, {"--packet", "0"},
        {"--jitter", "-2"}, {"--fault", "short,cmd=nothing"},
    };
    std::string error;
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(ParseDevsimOptions(args, error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
    EXPECT_NE(error.find("unknown command 'nothing'"), std::string::npos) << error;
}

TEST(FlashFileTest, LoadsOnlyExactImagesAndSavesThemWhole) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(::testing::TempDir()) / ("bramis_devsim_flash_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    const auto file = [&](const std::string& name, std::size_t size, char fill) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << std::string(size, fill);
        return path;
    };

    std::array<std::uint8_t, kImageSize> flash{};
    std::string error;
    ASSERT_TRUE(LoadFlashFile(file("good.dat", kImageSize, 'A'), flash, error)) << error;
    EXPECT_EQ(flash.front(), 'A');
    EXPECT_EQ(flash.back(), 'A');
    for (const std::size_t size : {kImageSize - 1, kImageSize + 1, std::size_t{0}}) {
        error.clear();
        EXPECT_FALSE(LoadFlashFile(file("bad.dat", size, 'B'), flash, error)) << size;
        EXPECT_NE(error.find("188416"), std::string::npos) << error;
    }
    EXPECT_EQ(flash.front(), 'A');  // untouched by the failed loads
    EXPECT_FALSE(LoadFlashFile((folder / "missing.dat").string(), flash, error));

    flash[100] = 'Z';
    const std::string saved = file("saved.dat", 10, 'x');
    ASSERT_TRUE(SaveFlashFile(saved, flash, error)) << error;
    std::array<std::uint8_t, kImageSize> back{};
    ASSERT_TRUE(LoadFlashFile(saved, back, error));
    EXPECT_EQ(back, flash);
    EXPECT_FALSE(fs::exists(saved + ".tmp"));

    // A save that cannot replace its target leaves it as it was.
    const fs::path blocked = folder / "blocked.dat";
    fs::create_directories(blocked / "inside");
    EXPECT_FALSE(SaveFlashFile(blocked.string(), flash, error));
    EXPECT_TRUE(fs::is_directory(blocked / "inside"));
    EXPECT_FALSE(fs::exists(blocked.string() + ".tmp"));
    EXPECT_FALSE(SaveFlashFile((folder / "no" / "such" / "dir.dat").string(), flash, error));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace bramis::devsim
