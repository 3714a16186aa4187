// Reading and saving image files: what only a POSIX file system can set up
// (named pipes, dangling symbolic links, permission bits, a file size limit).
#include "image/image_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>

#include "temp_folder.h"

namespace bramis {
namespace {

using namespace testing;

TEST(ImageFileRead, APipeOrADanglingLinkCannotBeOpened) {
    TempFolder folder;
    fs::create_symlink(folder.Path() / "gone.dat", folder.Path() / "dangling.dat");
    // A named pipe must be refused at once, not wait for a writer.
    ASSERT_EQ(::mkfifo((folder.Path() / "pipe.dat").c_str(), 0600), 0);
    for (const char* name : {"dangling.dat", "pipe.dat"}) {
        std::array<std::uint8_t, kImageSize> image{};
        EXPECT_EQ(ReadImageFile(folder.File(name), image).status, ImageFileStatus::CannotOpen) << name;
    }
}

TEST(ImageFileSave, AReplacedFileKeepsItsPermissionsAndAWriteFailingHalfWayKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder.File("old.dat");
    WriteBytes(path, Pattern(300000, 7));
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path, perms);
    const auto old = Pattern(kImageSize, 21);
    ASSERT_TRUE(SaveFileAtomically(path, old).done());
    EXPECT_EQ(fs::status(path).permissions(), perms);

    // The file size limit makes the system refuse the write part of the way
    // through, for root as well; the limit is put back before anything else.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = kImageSize / 2;
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const FileOutcome outcome = SaveFileAtomically(path, Pattern(kImageSize, 22));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(outcome.status, ImageFileStatus::WriteFailed);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Listing(), std::vector<std::string>{"old.dat"});
}

}  // namespace
}  // namespace bramis
