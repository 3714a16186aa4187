// Reading and saving image files against the real file system.
#include "image/image_file.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "temp_folder.h"

namespace bramis {
namespace {

namespace fs = std::filesystem;
using testing::Pattern;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// An image buffer that starts out holding a known pattern, so that any change
// by a failed read shows.
struct ImageBuffer {
    ImageBuffer() {
        const auto bytes = Pattern(kImageSize, 0xA5);
        std::copy(bytes.begin(), bytes.end(), data.begin());
    }
    bool Untouched() const {
        const auto bytes = Pattern(kImageSize, 0xA5);
        return std::equal(bytes.begin(), bytes.end(), data.begin());
    }
    std::array<std::uint8_t, kImageSize> data{};
};

TEST(ImageFileRead, OnlyAFileOfExactlyTheImageSizeIsAccepted) {
    TempFolder folder;
    for (std::size_t size : {kImageSize - 1, kImageSize + 1, std::size_t{0}}) {
        const std::string path = folder.File("size" + std::to_string(size) + ".dat");
        WriteBytes(path, Pattern(size, 1));
        ImageBuffer image;
        EXPECT_EQ(ReadImageFile(path, image.data), ImageFileStatus::WrongLength) << size;
        EXPECT_TRUE(image.Untouched()) << size;
    }

    const std::string path = folder.File("exact.dat");
    const auto content = Pattern(kImageSize, 3);
    WriteBytes(path, content);
    ImageBuffer image;
    ASSERT_EQ(ReadImageFile(path, image.data), ImageFileStatus::Ok);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), image.data.begin()));
}

TEST(ImageFileRead, AFileOfFourGibibytesPlusTheImageSizeIsRefused) {
    // Only the low 32 bits of this size equal the image size.
    TempFolder folder;
    const std::string path = folder.File("huge.dat");
    WriteBytes(path, {});
    std::error_code error;
    fs::resize_file(PathFromUtf8(path), (std::uint64_t{1} << 32) + kImageSize, error);
    if (error) {
        GTEST_SKIP() << "no sparse files here: " << error.message();
    }
    ImageBuffer image;
    EXPECT_EQ(ReadImageFile(path, image.data), ImageFileStatus::WrongLength);
    EXPECT_TRUE(image.Untouched());
}

TEST(ImageFileRead, WhatIsNoReadableRegularFileCannotBeOpened) {
    TempFolder folder;
    WriteBytes(folder.File("plain.dat"), Pattern(kImageSize, 0));
    fs::create_directory(folder.Path() / "folder.dat");

    for (const char* name : {"missing.dat", "folder.dat", "plain.dat/inner.dat"}) {
        ImageBuffer image;
        EXPECT_EQ(ReadImageFile(folder.File(name), image.data), ImageFileStatus::CannotOpen) << name;
        EXPECT_TRUE(image.Untouched()) << name;
    }
    ImageBuffer image;
    EXPECT_EQ(ReadImageFile("", image.data), ImageFileStatus::CannotOpen);
}

TEST(ImageFileRead, CyrillicNamesWork) {
    TempFolder folder;
    fs::create_directory(PathFromUtf8(folder.File("Прошивки")));
    const std::string path = folder.File("Прошивки/образ прибора.dat");
    const auto content = Pattern(kImageSize, 9);
    WriteBytes(path, content);
    ImageBuffer image;
    ASSERT_EQ(ReadImageFile(path, image.data), ImageFileStatus::Ok);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), image.data.begin()));
}

TEST(ImageFileSave, ReplacesAnExistingFileAsAWholeAndLeavesNothingElse) {
    TempFolder folder;
    const std::string path = folder.File("сохранено.dat");
    WriteBytes(path, Pattern(300000, 7));

    const auto content = Pattern(kImageSize, 11);
    ASSERT_EQ(SaveFileAtomically(path, content), ImageFileStatus::Ok);
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(TempFolder::Listing(folder.Path()), std::vector<std::string>{"сохранено.dat"});

    // A new file, named relative to the working folder, works as well.
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());
    const auto status = SaveFileAtomically("bare.dat", content);
    fs::current_path(previous);
    ASSERT_EQ(status, ImageFileStatus::Ok);
    EXPECT_EQ(ReadBytes(folder.File("bare.dat")), content);
}

TEST(ImageFileSave, ATargetThatCannotBeMadeOrReplacedStaysAsItWas) {
    TempFolder folder;
    const auto content = Pattern(kImageSize, 5);

    EXPECT_EQ(SaveFileAtomically(folder.File("no such folder/x.dat"), content), ImageFileStatus::CannotCreate);
    EXPECT_EQ(SaveFileAtomically(folder.Path().string() + "/", content), ImageFileStatus::CannotCreate);
    EXPECT_TRUE(TempFolder::Listing(folder.Path()).empty());

    // A folder under the chosen name: the rename fails and the folder stays.
    fs::create_directory(folder.Path() / "taken.dat");
    WriteBytes(folder.File("taken.dat/inside"), {1, 2, 3});
    EXPECT_EQ(SaveFileAtomically(folder.File("taken.dat"), content), ImageFileStatus::CannotCreate);
    EXPECT_EQ(TempFolder::Listing(folder.Path()), std::vector<std::string>{"taken.dat"});
    EXPECT_EQ(ReadBytes(folder.File("taken.dat/inside")), (std::vector<std::uint8_t>{1, 2, 3}));
}

}  // namespace
}  // namespace bramis
