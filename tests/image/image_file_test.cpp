// Reading and saving image files against the real file system.
#include "image/image_file.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <utility>

#include "temp_folder.h"

namespace bramis {
namespace {

using namespace testing;

TEST(ImageFileRead, OnlyARegularFileOfExactlyTheImageSizeIsTakenAndAFailureTouchesNothing) {
    TempFolder folder;
    WriteBytes(folder.File("short.dat"), Pattern(kImageSize - 1, 1));
    WriteBytes(folder.File("long.dat"), Pattern(kImageSize + 1, 1));
    WriteBytes(folder.File("empty.dat"), {});
    fs::create_directory(folder.Path() / "folder.dat");
    // Only the low 32 bits of this size equal the image size. Where the system
    // has no sparse files it stays empty and fails the same way.
    WriteBytes(folder.File("huge.dat"), {});
    std::error_code noSparseFiles;
    fs::resize_file(folder.Path() / "huge.dat", (std::uint64_t{1} << 32) + kImageSize, noSparseFiles);

    using enum ImageFileStatus;
    const std::pair<std::string, ImageFileStatus> failures[] = {
        {folder.File("short.dat"), WrongLength}, {folder.File("long.dat"), WrongLength},
        {folder.File("empty.dat"), WrongLength}, {folder.File("huge.dat"), WrongLength},
        {folder.File("missing.dat"), CannotOpen}, {folder.File("folder.dat"), CannotOpen},
        {folder.File("short.dat/inner.dat"), CannotOpen}, {"", CannotOpen},
    };
    std::array<std::uint8_t, kImageSize> image;
    for (const auto& [path, status] : failures) {
        image.fill(0xA5);
        EXPECT_EQ(ReadImageFile(path, image).status, status) << path;
        EXPECT_EQ(std::count(image.begin(), image.end(), 0xA5), std::ptrdiff_t{kImageSize}) << path;
    }

    fs::create_directory(PathFromUtf8(folder.File("Прошивки")));
    const std::string exact = folder.File("Прошивки/образ прибора.dat");
    const auto content = Pattern(kImageSize, 3);
    WriteBytes(exact, content);
    ASSERT_TRUE(ReadImageFile(exact, image).done());
    EXPECT_TRUE(std::equal(content.begin(), content.end(), image.begin()));
}

TEST(ImageFileSave, ReplacesTheTargetAsAWholeOrLeavesItAsItWas) {
    TempFolder folder;
    const std::string path = folder.File("сохранено.dat");
    WriteBytes(path, Pattern(300000, 7));
    const auto content = Pattern(kImageSize, 11);
    ASSERT_TRUE(SaveFileAtomically(path, content).done());
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(folder.Listing(), std::vector<std::string>{"сохранено.dat"});

    // Nowhere to make the new file, or a folder under the chosen name: refused,
    // and the folder stays. So does the old file when the save is stopped.
    EXPECT_EQ(SaveFileAtomically(folder.File("no such folder/x.dat"), content).status, ImageFileStatus::CannotCreate);
    EXPECT_EQ(SaveFileAtomically(folder.Path().string() + "/", content).status, ImageFileStatus::CannotCreate);
    fs::create_directory(folder.Path() / "taken.dat");
    WriteBytes(folder.File("taken.dat/inside"), {1, 2, 3});
    EXPECT_EQ(SaveFileAtomically(folder.File("taken.dat"), content).status, ImageFileStatus::NotAFile);
    EXPECT_EQ(SaveFileAtomically(path, Pattern(kImageSize, 12), [] { return true; }).status, ImageFileStatus::Stopped);
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(folder.Listing(), (std::vector<std::string>{"taken.dat", "сохранено.dat"}));
    EXPECT_EQ(ReadBytes(folder.File("taken.dat/inside")), (std::vector<std::uint8_t>{1, 2, 3}));

    // Data that could not be saved where it was meant to go: each time a new
    // file of a name of its own beside it.
    FileOutcome first, second;
    SaveCopyElsewhere(folder.File("taken.dat/x.dat"), content, first);
    SaveCopyElsewhere(folder.File("taken.dat/x.dat"), content, second);
    EXPECT_NE(first.copy, second.copy);
    EXPECT_EQ(fs::path(first.copy).parent_path(), folder.Path() / "taken.dat");
    EXPECT_EQ(ReadBytes(first.copy), content);

    // A new file, named relative to the working folder, works as well.
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());
    const FileOutcome outcome = SaveFileAtomically("bare.dat", content);
    fs::current_path(previous);
    ASSERT_TRUE(outcome.done());
    EXPECT_EQ(ReadBytes(folder.File("bare.dat")), content);
}

TEST(ImageFileSave, TheFileWrittenFirstHasAShortNameAndThoseOfSavesKilledADayAgoGo) {
    TempFolder folder;
    // 244 bytes: a name the file system takes, which a new file named after it would not be.
    std::string name;
    for (int i = 0; i < 120; ++i) name += "ж";
    const std::string longName = folder.File(name + ".dat");
    const auto content = Pattern(kImageSize, 5);
    EXPECT_TRUE(CheckSaveTarget(longName).done());
    ASSERT_TRUE(SaveFileAtomically(longName, content).done());
    EXPECT_EQ(ReadBytes(longName), content);

    // Left by killed saves (named now and as earlier saves named them), one of
    // them just now, or not ours: too large or of another pattern.
    const struct { const char* name; std::size_t size; bool old; } leftovers[] = {
        {".bramis.0a1b2c3d.tmp", 100, true}, {".образ.dat.zz99yy88.tmp", 100, true},
        {".bramis.fresh123.tmp", 100, false}, {".notes.tmp", 100, true}, {".big.12345678.tmp", kImageSize + 1, true},
    };
    for (const auto& leftover : leftovers) {
        WriteBytes(folder.File(leftover.name), Pattern(leftover.size, 1));
        if (leftover.old) {
            fs::last_write_time(PathFromUtf8(folder.File(leftover.name)),
                                fs::file_time_type::clock::now() - std::chrono::hours(25));
        }
    }
    ASSERT_TRUE(SaveFileAtomically(folder.File("x.dat"), content).done());
    EXPECT_EQ(folder.Listing(), (std::vector<std::string>{".big.12345678.tmp", ".bramis.fresh123.tmp", ".notes.tmp",
                                                          "x.dat", name + ".dat"}));
}

}  // namespace
}  // namespace bramis
