// bramis-devsim as a user runs it: a separate process serving a real
// pseudo-terminal at wire speed, in real time, driven by the programmer's own
// serial channel and bootloader commands. The machine is shared and noisy:
// time limits are generous. (The read rule over a pseudo-terminal is the
// POSIX port's own test.)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include "child_process.h"
#include "devsim/flash_file.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"

namespace bramis::test {
namespace {

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The emulator at wire speed with `args`, once it serves: its terminal is its first line.
std::unique_ptr<Child> Serving(const fs::path& folder, std::vector<std::string> args) {
    args.insert(args.begin(), {BRAMIS_DEVSIM_EXE, "--wire-speed"});
    auto emulator = std::make_unique<Child>(folder, "devsim", args);
    EXPECT_TRUE(emulator->WaitForLine("/dev/pts/", seconds(10))) << emulator->Err();
    return emulator;
}

class DevsimExeTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    const fs::path& folder = scratch.path;
    SerialChannel channel;
};

TEST_F(DevsimExeTest, ServesTheProgrammerReportsRequestsAndSavesTheFlash) {
    std::vector<std::uint8_t> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i % 251);
    const std::string imagePath = (folder / "image.dat").string();
    const std::string savePath = (folder / "saved.dat").string();
    const std::string linkPath = (folder / "device").string();
    std::string error;
    ASSERT_TRUE(devsim::SaveFlashFile(imagePath, std::span<const std::uint8_t, kImageSize>(image.data(), kImageSize), error));
    const auto emulator = Serving(folder, {"--events", "--image", imagePath, "--save", savePath, "--link", linkPath});
    const std::string path = emulator->FirstLine();
    EXPECT_EQ(fs::read_symlink(linkPath), path);

    channel.SetPortOpener(DevicePathOpener(linkPath));
    ASSERT_EQ(channel.OpenPort(1), LINK_OK) << channel.LastOpenError().systemText;
    const std::uint8_t* data = image.data() + 7 * kBlockSize;
    std::vector<std::uint8_t> block(kBlockSize + 2);
    EXPECT_EQ(EnterProgramming(channel), LINK_OK);
    const auto started = Clock::now();
    EXPECT_EQ(ReadBlock(channel, 0, block.data()), LINK_OK);
    // At wire speed: 1034 bytes take 1.07 s on the line.
    EXPECT_GT(MsSince(started), 1000.0);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kBlockSize, block.begin()));
    EXPECT_EQ(EraseProgram(channel), LINK_OK);
    EXPECT_EQ(WriteBlock(channel, 3, data), LINK_OK);
    EXPECT_EQ(RunProgram(channel), LINK_OK);
    channel.ClosePort();

    EXPECT_TRUE(emulator->WaitForLine("run", seconds(10)));
    EXPECT_EQ(emulator->Out(), path + "\nenter\nread 0\nerase status 01\nwrite 3 status 55\nrun\n");
    // Saved before "run" was reported: erased, but for block 3.
    std::ifstream in(savePath, std::ios::binary);
    const std::vector<std::uint8_t> saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(saved.size(), kImageSize);
    EXPECT_TRUE(std::equal(data, data + kBlockSize, saved.begin() + 3 * kBlockSize));
    EXPECT_EQ(std::count(saved.begin(), saved.end(), 0xFF), static_cast<long>(kImageSize - kBlockSize));

    emulator->Signal(SIGTERM);
    EXPECT_EQ(emulator->Wait(seconds(10)), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(linkPath)));
}

TEST_F(DevsimExeTest, AClientThatLeavesHoldingThePortExclusivelyDoesNotLockOutTheNext) {
    const auto emulator = Serving(folder, {});
    const std::string path = emulator->FirstLine();
    // Another client holds the port the way the programmer does, and leaves
    // without clearing its exclusive-use flag.
    const int holder = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    close(holder);
    // The flag went with it, so a user who is not root could open the port
    // now; the server lives on for the next client.
    usleep(500 * 1000);
    const int probe = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(probe, 0);
    int exclusive = 1;
    EXPECT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    close(probe);
    EXPECT_EQ(exclusive, 0);
    channel.SetPortOpener(DevicePathOpener(path));
    ASSERT_EQ(channel.OpenPort(1), LINK_OK) << channel.LastOpenError().systemText;
    EXPECT_EQ(EnterProgramming(channel), LINK_OK);
    channel.ClosePort();
}

// A mistyped --link that names a file keeps the file.
TEST_F(DevsimExeTest, KeepsAFileInTheWayOfItsLink) {
    const std::string keptFile = (folder / "kept.dat").string();
    std::ofstream(keptFile) << "keep me";
    Child overFile(folder, "over", {BRAMIS_DEVSIM_EXE, "--link", keptFile});
    EXPECT_EQ(overFile.Wait(seconds(10)), 1);
    EXPECT_NE(overFile.Err().find("not a symbolic link"), std::string::npos) << overFile.Err();
    EXPECT_EQ(Contents(keptFile), "keep me");
}

}  // namespace
}  // namespace bramis::test
