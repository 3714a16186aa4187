// bramis-flash's commands in-process, over the virtual line, wherever no
// device answers: the checks made before the port is touched, failures to
// open, the time limit for programming mode, Ctrl+C, and the port list.
#include "cli/flash_app.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "image/memory_profile_store.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis::cli {
namespace {

namespace fs = std::filesystem;

// A device that never answers; counts what reaches it.
class SilentDevice : public LinePeer {
public:
    std::vector<TimedByte> OnByte(std::uint8_t, double) override {
        ++bytes;
        return {};
    }
    int bytes = 0;
};

class FlashAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("bramis-flash-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        environment.settings = &settings;
        environment.portOpener = cable.Opener();
    }
    void TearDown() override {
        SetPortOpener({});
        fs::remove_all(folder_);
    }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return RunFlashCommandLine(args, environment, out, err);
    }

    std::string File(const std::string& name, std::size_t size) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << std::string(size, '\x5A');
        return path;
    }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    SilentDevice device;
    VirtualPort cable{device};
    MemoryProfileStore settings;
    FlashEnvironment environment;
    std::ostringstream out;
    std::ostringstream err;

private:
    fs::path folder_;
};

TEST_F(FlashAppTest, BadFilesAndUsageStopBeforeThePortIsTouched) {
    EXPECT_EQ(Run({"write", Path("absent.dat")}), kExitBadUsage);
    EXPECT_EQ(err.str(), "bramis-flash: Не могу открыть файл\n  файл: " + Path("absent.dat") + "\n");

    EXPECT_EQ(Run({"write", File("short.dat", 188415)}), kExitBadUsage);
    EXPECT_NE(err.str().find("bramis-flash: Не верная длина файла\n"), std::string::npos);
    EXPECT_EQ(Run({"verify", File("long.dat", 188417)}), kExitBadUsage);
    EXPECT_NE(err.str().find("Не верная длина файла"), std::string::npos);
    EXPECT_EQ(Run({"write", Path("")}), kExitBadUsage);  // a folder is no image file

    // Reading for minutes into a folder that does not exist would be in vain.
    EXPECT_EQ(Run({"read", Path("no-such-folder/out.dat")}), kExitBadUsage);
    EXPECT_NE(err.str().find("Не могу создать файл"), std::string::npos);

    EXPECT_EQ(Run({"--port", "0", "version"}), kExitBadUsage);
    EXPECT_NE(err.str().find("bramis-flash --help"), std::string::npos);

    EXPECT_EQ(cable.OpenCount(), 0);
    EXPECT_EQ(device.bytes, 0);
    EXPECT_EQ(out.str(), "");

    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_EQ(out.str(), UsageText());
}

TEST_F(FlashAppTest, APortThatCannotBeOpenedIsExplained) {
    cable.FailOpens("/dev/ttyUSB4: Device or resource busy");
    EXPECT_EQ(Run({"--port", "37", "write", File("ok.dat", 188416)}), kExitFailed);
    EXPECT_EQ(cable.LastPortNumber(), 37U);
    EXPECT_EQ(out.str(), "Открытие порта\n");
    EXPECT_EQ(err.str(),
              "bramis-flash: Не могу открыть порт\n"
              "  причина: /dev/ttyUSB4: Device or resource busy\n");
}

TEST_F(FlashAppTest, ThePortComesFromTheStoredSettingsUnlessGiven) {
    settings.WriteString("Settings", "PortNumber", "12");
    cable.FailOpens("no");
    Run({"version"});
    EXPECT_EQ(cable.LastPortNumber(), 12U);
    Run({"--port", "3", "version"});
    EXPECT_EQ(cable.LastPortNumber(), 3U);
    settings.Remove("Settings", "PortNumber");
    Run({"version"});
    EXPECT_EQ(cable.LastPortNumber(), 99U);
}

TEST_F(FlashAppTest, VersionGivesUpWhenTheDeviceNeverEntersProgrammingMode) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run({"--wait", "0.2", "version"}), kExitFailed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(out.str(), "Открытие порта\nПереход в режим программирования\n");
    EXPECT_EQ(err.str(), "bramis-flash: прибор не перешёл в режим программирования за 0.2 с\n");
    EXPECT_GT(device.bytes, 0);
    EXPECT_FALSE(cable.IsOpen());
}

TEST_F(FlashAppTest, CtrlCCancelsAJobThatWaitsForProgrammingMode) {
    // Both signals come while the worker repeats the enter request: the
    // second one changes nothing.
    std::thread user([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::raise(SIGINT);
        std::raise(SIGTERM);
    });
    const int code = Run({"read", Path("out.dat")});
    user.join();
    EXPECT_EQ(code, kExitCancelled);
    EXPECT_NE(err.str().find("Отмена:"), std::string::npos) << err.str();
    EXPECT_TRUE(err.str().ends_with("bramis-flash: задание отменено\n")) << err.str();
    EXPECT_FALSE(cable.IsOpen());
    EXPECT_FALSE(fs::exists(Path("out.dat")));
}

TEST_F(FlashAppTest, PortsListsTheNumbersWhoseDeviceOpens) {
    // Any file that opens for reading and writing stands in for a device.
    const std::string name = File("device", 0);
    settings.WriteString("Ports", "COM200", name);
    settings.WriteString("Ports", "COM201", Path("absent"));
    EXPECT_EQ(Run({"ports"}), kExitOk);
    EXPECT_NE(out.str().find("COM200\t" + name + "\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("COM201"), std::string::npos);
    EXPECT_EQ(cable.OpenCount(), 0);  // probing goes to the devices, not through the channel
}

}  // namespace
}  // namespace bramis::cli
