// Loading and saving on the user's behalf: what changes on success and what
// must stay as it was on failure.
#include "image/image_files.h"

#include <gtest/gtest.h>

#include "image/memory_profile_store.h"
#include "temp_folder.h"

namespace bramis {
namespace {

using namespace testing;

TEST(ImageFiles, ALoadOrSaveTakesTheFolderAndTheFrontOfTheListAndAFailedOneNothing) {
    TempFolder folder;
    MemoryProfileStore store;
    ImageFiles files(store, [] { return std::string("/home/user/Документы"); });
    const auto storedFolder = [&] { return store.GetString(kSectionInit, kValueProgramFilesDir, "<none>"); };
    const auto imageHolds = [&](const std::vector<std::uint8_t>& bytes) {
        return std::equal(bytes.begin(), bytes.end(), files.Image().Bytes().begin());
    };
    fs::create_directory(PathFromUtf8(folder.File("Прошивки")));
    const std::string good = folder.File("Прошивки/первая.dat");
    const auto content = Pattern(kImageSize, 1);
    WriteBytes(good, content);
    EXPECT_EQ(files.GetInitialDirectory(), "/home/user/Документы");
    EXPECT_TRUE(files.LoadImageFile(good).done());
    EXPECT_TRUE(imageHolds(content));
    EXPECT_EQ(files.GetInitialDirectory(), folder.File("Прошивки"));
    EXPECT_EQ(files.RecentFiles().Entries()[0], good);
    files.WriteRecentFiles();
    EXPECT_EQ(store.GetString("ProgramFileList", "File1", ""), good);

    const auto listBefore = files.RecentFiles().Entries();
    WriteBytes(folder.File("short.dat"), Pattern(kImageSize - 1, 2));
    const std::pair<std::string, ImageFileStatus> failures[] = {
        {folder.File("missing.dat"), ImageFileStatus::CannotOpen},
        {folder.File("short.dat"), ImageFileStatus::WrongLength},
    };
    for (const auto& [path, status] : failures) {
        EXPECT_EQ(files.LoadImageFile(path).status, status) << path;
        EXPECT_TRUE(imageHolds(content)) << path;
        EXPECT_EQ(files.RecentFiles().Entries(), listBefore) << path;
        EXPECT_EQ(storedFolder(), folder.File("Прошивки")) << path;
    }

    // A save that fails changes nothing either; one that works is remembered.
    const FileOutcome failed = files.SaveImageFile(folder.File("no such folder/read.dat"));
    EXPECT_EQ(failed.status, ImageFileStatus::CannotCreate);
    EXPECT_EQ(storedFolder(), folder.File("Прошивки"));
    EXPECT_EQ(files.RecentFiles().Entries(), listBefore);
    fs::create_directory(folder.Path() / "saved");
    const std::string target = folder.File("saved/read.dat");
    EXPECT_TRUE(files.SaveImageFile(target).done());
    EXPECT_EQ(ReadBytes(target), content);
    EXPECT_EQ(storedFolder(), folder.File("saved"));
    EXPECT_EQ(files.RecentFiles().Entries()[0], target);
    EXPECT_EQ(files.RecentFiles().Entries()[1], good);
}

}  // namespace
}  // namespace bramis
