// Loading and saving on the user's behalf: what changes on success and what
// must stay as it was on failure.
#include "image/image_files.h"

#include <gtest/gtest.h>

#include "image/memory_profile_store.h"
#include "temp_folder.h"

namespace bramis {
namespace {

namespace fs = std::filesystem;
using testing::Pattern;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

class ImageFilesTest : public ::testing::Test {
protected:
    ImageFilesTest() : files(store, [] { return std::string("/home/user/Документы"); }) {}

    std::string StoredFolder() const { return store.GetString(kSectionInit, kValueProgramFilesDir, "<none>"); }

    bool ImageHolds(const std::vector<std::uint8_t>& bytes) const {
        return std::equal(bytes.begin(), bytes.end(), files.Image().Bytes().begin());
    }

    TempFolder folder;
    MemoryProfileStore store;
    ImageFiles files;
};

TEST_F(ImageFilesTest, AFailedLoadChangesNothingAndReportsOnlyWhenAsked) {
    const std::string good = folder.File("good.dat");
    const auto content = Pattern(kImageSize, 1);
    WriteBytes(good, content);
    ASSERT_EQ(files.LoadImageFile(good, true).result, 1);
    const auto listBefore = files.RecentFiles().Entries();
    const std::string folderBefore = StoredFolder();

    WriteBytes(folder.File("short.dat"), Pattern(kImageSize - 1, 2));
    const struct {
        std::string path;
        const char* message;
    } failures[] = {
        {folder.File("missing.dat"), "Не могу открыть файл"},
        {folder.File("short.dat"), "Не верная длина файла"},
    };
    for (const auto& failure : failures) {
        for (bool interactive : {true, false}) {
            const FileOutcome outcome = files.LoadImageFile(failure.path, interactive);
            EXPECT_EQ(outcome.result, 2) << failure.path;
            EXPECT_EQ(outcome.message, interactive ? failure.message : "") << failure.path;
            EXPECT_TRUE(ImageHolds(content)) << failure.path;
            EXPECT_EQ(files.RecentFiles().Entries(), listBefore) << failure.path;
            EXPECT_EQ(StoredFolder(), folderBefore) << failure.path;
        }
    }
}

TEST_F(ImageFilesTest, ALoadTakesTheBytesTheFolderAndTheFrontOfTheList) {
    fs::create_directory(PathFromUtf8(folder.File("Прошивки")));
    const std::string path = folder.File("Прошивки/первая.dat");
    WriteBytes(path, Pattern(kImageSize, 1));

    EXPECT_EQ(files.GetInitialDirectory(), "/home/user/Документы");
    const FileOutcome outcome = files.LoadImageFile(path, true);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.message, "");
    EXPECT_TRUE(ImageHolds(Pattern(kImageSize, 1)));
    EXPECT_EQ(files.GetInitialDirectory(), folder.File("Прошивки"));
    EXPECT_EQ(files.RecentFiles().Entries()[0], path);

    files.WriteRecentFiles();
    EXPECT_EQ(store.GetString("ProgramFileList", "File1", ""), path);
}

TEST_F(ImageFilesTest, ASaveWritesTheImageOrLeavesEverythingAsItWas) {
    const std::string loaded = folder.File("loaded.dat");
    WriteBytes(loaded, Pattern(kImageSize, 4));
    ASSERT_EQ(files.LoadImageFile(loaded, true).result, 1);

    const FileOutcome failed = files.SaveImageFile(folder.File("no such folder/read.dat"));
    EXPECT_EQ(failed.result, 2);
    EXPECT_EQ(failed.message, "Не могу создать файл");
    EXPECT_EQ(StoredFolder(), folder.Path().string());
    EXPECT_EQ(files.RecentFiles().Entries()[1], "");

    fs::create_directory(folder.Path() / "saved");
    const std::string target = folder.File("saved/read.dat");
    const FileOutcome saved = files.SaveImageFile(target);
    EXPECT_EQ(saved.result, 1);
    EXPECT_EQ(saved.message, "");
    EXPECT_EQ(ReadBytes(target), Pattern(kImageSize, 4));
    EXPECT_EQ(StoredFolder(), folder.File("saved"));
    EXPECT_EQ(files.RecentFiles().Entries()[0], target);
    EXPECT_EQ(files.RecentFiles().Entries()[1], loaded);
}

}  // namespace
}  // namespace bramis
