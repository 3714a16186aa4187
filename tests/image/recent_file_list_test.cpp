// The recent-file list: order, duplicates, overflow and how it is stored.
#include "image/recent_file_list.h"

#include <gtest/gtest.h>

#include "image/memory_profile_store.h"
#include "temp_folder.h"

namespace bramis {
namespace {

using namespace testing;
using Slots = RecentFileList::Slots;

TEST(RecentFileList, AFileNamedTwiceUnderAnyNameIsOneEntryAtTheFrontAndTheTwentyFirstPushesTheOldestOut) {
    TempFolder folder;
    fs::create_directory(folder.Path() / "sub");
    const std::string a = folder.File("a.dat");
    const std::string b = folder.File("b.dat");
    WriteBytes(a, {1});
    WriteBytes(b, {2});
    std::vector<std::string> namesOfA{a, folder.File("./a.dat"), folder.File("sub/../a.dat")};
    // Not every system lets a user make a symbolic link (Windows asks for a privilege).
    std::error_code noLink;
    fs::create_symlink(PathFromUtf8(a), folder.Path() / "link.dat", noLink);
    if (!noLink) namesOfA.push_back(folder.File("link.dat"));

    RecentFileList list;
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.Entries(), (Slots{b, a}));
    for (const std::string& sameAsA : namesOfA) {
        list.Add(b);
        list.Add(sameAsA);
        EXPECT_EQ(list.Entries(), (Slots{fs::path(PathFromUtf8(sameAsA)).lexically_normal().string(), b}))
            << sameAsA;
    }

    // A relative name is listed in full; an empty one is ignored.
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());
    list.Add("b.dat");
    list.Add("");
    fs::current_path(previous);
    EXPECT_EQ(list.Entries()[0], b);
    EXPECT_EQ(list.Entries()[2], "");

    // The twenty-first file pushes the oldest out.
    list = RecentFileList();
    for (int i = 1; i <= 21; ++i) list.Add(SystemPath("/images/f" + std::to_string(i) + ".dat"));
    EXPECT_EQ(list.Entries()[0], SystemPath("/images/f21.dat"));
    EXPECT_EQ(list.Entries()[19], SystemPath("/images/f2.dat"));
    EXPECT_EQ(std::count(list.Entries().begin(), list.Entries().end(), SystemPath("/images/f1.dat")), 0);

    // Naming a listed file again only reorders; nothing drops out.
    list.Add(SystemPath("/images/f10.dat"));
    EXPECT_EQ(list.Entries()[0], SystemPath("/images/f10.dat"));
    EXPECT_EQ(list.Entries()[1], SystemPath("/images/f21.dat"));
    EXPECT_EQ(list.Entries()[19], SystemPath("/images/f2.dat"));
}

TEST(RecentFileList, OnlyFile3StoredKeepsItsSlotTheGapsTakeTheNextFilesAndWritingMirrorsTheSlots) {
    MemoryProfileStore stored;
    stored.WriteString("ProgramFileList", "File3", "/images/three.dat");
    RecentFileList list;
    list.Read(stored);
    EXPECT_EQ(list.Entries(), (Slots{"", "", "/images/three.dat"}));
    const std::string x = SystemPath("/images/x.dat"), y = SystemPath("/images/y.dat");
    list.Add(x);
    list.Add(y);
    EXPECT_EQ(list.Entries(), (Slots{y, x, "/images/three.dat"}));

    // Every filled slot is stored and stale values of the empty ones go.
    MemoryProfileStore target;
    for (std::size_t slot = 0; slot < RecentFileList::kSlotCount; ++slot)
        target.WriteString("ProgramFileList", RecentFileValueName(slot), "/stale");
    target.WriteString("ProgramFileList", "Other", "kept");
    list.Write(target);
    const std::map<std::pair<std::string, std::string>, MemoryProfileStore::Value> expected{
        {{"ProgramFileList", "File1"}, y},
        {{"ProgramFileList", "File2"}, x},
        {{"ProgramFileList", "File3"}, std::string("/images/three.dat")},
        {{"ProgramFileList", "Other"}, std::string("kept")},
    };
    EXPECT_EQ(target.Values(), expected);

    // With one gap left, the next file fills it and nobody drops out.
    MemoryProfileStore full;
    for (std::size_t slot = 0; slot < RecentFileList::kSlotCount; ++slot)
        if (slot != 7) full.WriteString("ProgramFileList", RecentFileValueName(slot), "/f" + std::to_string(slot));
    list.Read(full);
    list.Add(SystemPath("/new"));
    EXPECT_EQ(list.Entries()[0], SystemPath("/new"));
    EXPECT_EQ(list.Entries()[7], "/f6");
    EXPECT_EQ(list.Entries()[8], "/f8");
    EXPECT_EQ(list.Entries()[19], "/f19");
}

}  // namespace
}  // namespace bramis
