// bramis-flash as a user runs it: a separate process talking in real time
// over a pseudo-terminal to bramis-devsim, which logs every request it gets.
#include <gtest/gtest.h>

#include "../devsim/child_process.h"

namespace bramis::test {
namespace {

constexpr auto npos = std::string::npos;

TEST(FlashOverPty, VersionAndEveryWayAWriteIsStopped) {
    const ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    setenv("XDG_DATA_HOME", folder.c_str(), 1);  // the journal of jobs, not the user's
    // The emulator logs each request; its first line is its terminal.
    Child device(folder, "devsim", {BRAMIS_DEVSIM_PATH, "--events", "--version", "2.7"});
    ASSERT_TRUE(device.WaitForLine("/", seconds(10))) << device.Err();
    const std::string port = device.FirstLine();

    Child version(folder, "version", {BRAMIS_FLASH_PATH, "--device", port, "version"});
    EXPECT_EQ(version.Wait(seconds(60)), 0) << version.Err();
    EXPECT_NE(version.Out().find("Версия загрузчика 02.07\n"), npos) << version.Out();
    EXPECT_TRUE(version.Out().ends_with("Переход в рабочий режим\n")) << version.Out();
    EXPECT_EQ(version.Err(), "");
    EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();

    // Ways a job is told to stop, each of which must still send the device
    // back to its working mode: a closed terminal or remote session, and a
    // termination request after output into a pipe that has closed, which
    // must not end the job at all.
    const std::string image = (folder / "image.dat").string();
    std::ofstream(image, std::ios::binary) << std::string(188416, '\x33');
    const struct { const char* name; int signal; bool outToClosedPipe; } rows[] = {{"hup", SIGHUP, false},
                                                                                {"pipe", SIGTERM, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Child write(folder, row.name, {BRAMIS_FLASH_PATH, "--device", port, "write", image}, row.outToClosedPipe);
        // Block 2 is written after the stage lines went to the closed pipe.
        ASSERT_TRUE(device.WaitForLine("write 2 ", seconds(60))) << device.Out();
        write.Signal(row.signal);
        EXPECT_EQ(write.Wait(seconds(60)), 3) << write.Err();
        EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();
        EXPECT_NE(write.Err().find("Отмена: задание остановится после текущего шага"), npos) << write.Err();
        EXPECT_TRUE(write.Err().ends_with("bramis-flash: задание отменено\n  программа прибора стёрта или записана не "
                                          "полностью: прибор заработает только после успешной записи\n"))
            << write.Err();
    }
    EXPECT_EQ(device.Out().find("write 5 "), npos) << device.Out();

    // Two devices at once: Ctrl+C cancels both jobs and sends each device
    // back; an impatient termination request after it changes nothing.
    Child other(folder, "devsim2", {BRAMIS_DEVSIM_PATH, "--events"});
    ASSERT_TRUE(other.WaitForLine("/", seconds(10))) << other.Err();
    const std::string otherPort = other.FirstLine();
    Child both(folder, "both", {BRAMIS_FLASH_PATH, "--device", port, "--device", otherPort, "write", image});
    ASSERT_TRUE(device.WaitForLine("write 2 ", seconds(60))) << device.Out();
    ASSERT_TRUE(other.WaitForLine("write 2 ", seconds(60))) << other.Out();
    both.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    both.Signal(SIGTERM);
    EXPECT_EQ(both.Wait(seconds(60)), 3) << both.Err();
    EXPECT_TRUE(device.WaitForLine("run", seconds(10))) << device.Out();
    EXPECT_TRUE(other.WaitForLine("run", seconds(10))) << other.Out();
    EXPECT_NE(both.Out().find("  " + otherPort + ": отменено ("), npos) << both.Out();
}

}  // namespace
}  // namespace bramis::test
