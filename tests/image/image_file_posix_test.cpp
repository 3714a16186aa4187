// Reading and saving image files: what only a POSIX file system can set up
// (named pipes, dangling symbolic links, permission bits, a file size limit).
#include "image/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>

#include "file_size_limit.h"
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

    const FileOutcome outcome =
        WithFileSizeLimit(kImageSize / 2, [&] { return SaveFileAtomically(path, Pattern(kImageSize, 22)); });

    EXPECT_EQ(outcome.status, ImageFileStatus::WriteFailed);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(folder.Listing(), std::vector<std::string>{"old.dat"});
}

TEST(ImageFileSave, ASymbolicLinkStaysAndTheFileItLeadsToIsReplacedInItsOwnFolder) {
    TempFolder folder;
    fs::create_directory(folder.Path() / "images");
    WriteBytes(folder.File("images/real.dat"), Pattern(100, 1));
    fs::create_symlink("images/real.dat", folder.Path() / "link.dat");  // relative to the link's folder
    fs::create_symlink("link.dat", folder.Path() / "link-to-link.dat");
    fs::create_symlink("images/new.dat", folder.Path() / "dangling.dat");
    const auto content = Pattern(kImageSize, 9);
    ASSERT_TRUE(SaveFileAtomically(folder.File("link-to-link.dat"), content).done());
    ASSERT_TRUE(SaveFileAtomically(folder.File("dangling.dat"), content).done());
    for (const char* link : {"link.dat", "link-to-link.dat", "dangling.dat"}) {
        EXPECT_TRUE(fs::is_symlink(folder.Path() / link)) << link;
    }
    EXPECT_EQ(ReadBytes(folder.File("images/real.dat")), content);
    EXPECT_EQ(ReadBytes(folder.File("images/new.dat")), content);
    EXPECT_EQ(folder.Listing(), (std::vector<std::string>{"dangling.dat", "images", "link-to-link.dat", "link.dat"}));
}

TEST(ImageFileSave, ACopyThatCannotGoBesideTheTargetGoesToTheTemporaryFolderThenTheHomeFolder) {
    TempFolder folder;
    fs::create_directory(folder.Path() / "tmp");
    fs::create_directory(folder.Path() / "home");
    const std::string savedTemporary = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const auto content = Pattern(kImageSize, 4);
    const auto copyFolder = [&](const char* temporary, const char* home) {
        ::setenv("TMPDIR", folder.File(temporary).c_str(), 1);
        ::setenv("HOME", folder.File(home).c_str(), 1);
        FileOutcome outcome;
        SaveCopyElsewhere(folder.File("missing/x.dat"), content, outcome);
        return outcome.copy.empty() ? "" : Utf8FromPath(fs::path(outcome.copy).parent_path().filename());
    };
    EXPECT_EQ(copyFolder("tmp", "home"), "tmp");
    EXPECT_EQ(copyFolder("missing", "home"), "home");
    EXPECT_EQ(copyFolder("missing", "missing"), "");
    savedTemporary.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", savedTemporary.c_str(), 1);
    ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace bramis
