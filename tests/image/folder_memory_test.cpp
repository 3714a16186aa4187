// The folder last used: how it is cut from a path and when it is used.
#include "image/folder_memory.h"

#include <gtest/gtest.h>

#include <tuple>

#include "image/memory_profile_store.h"
#include "temp_folder.h"

namespace bramis {
namespace {

using testing::SystemPath;

TEST(FolderOfPath, CutsAtTheLastSeparatorOfThePlatform) {
    // Paths as the Qt dialogs hand them on Windows ('/') and as typed ('\').
    const PathStyle win = PathStyle::Windows, posix = PathStyle::Posix;
    const std::tuple<const char*, PathStyle, const char*> cases[] = {
        {"C:/x.dat", win, "C:"}, {"C:\\x.dat", win, "C:"}, {"x.dat", win, "x.dat"}, {"/x.dat", win, "\\"},
        {"D:/Прошивки/v2/x.dat", win, "D:\\Прошивки\\v2"}, {"D:\\a/b\\x.dat", win, "D:\\a\\b"},
        {"\\\\server\\share\\x.dat", win, "\\\\server\\share"}, {"x.dat", posix, "x.dat"}, {"/x.dat", posix, "/"},
        {"/home/user/Прошивки/x.dat", posix, "/home/user/Прошивки"}, {"C:\\x.dat", posix, "C:\\x.dat"}, {"", posix, ""},
    };
    for (const auto& [path, style, folder] : cases) EXPECT_EQ(FolderOfPath(path, style), folder) << path;
}

TEST(FolderMemory, TheStoredFolderIsUsedUnlessEmptyOrTooLong) {
    MemoryProfileStore store;
    int lookups = 0;
    const DocumentsFolderLookup documents = [&lookups] {
        ++lookups;
        return std::string("/home/user/Документы");
    };

    EXPECT_EQ(GetInitialDirectory(store, documents), "/home/user/Документы");
    EXPECT_EQ(GetInitialDirectory(store, [] { return std::string(); }), "");
    EXPECT_EQ(GetInitialDirectory(store, nullptr), "");

    RememberDirectory(store, SystemPath("/srv/images/x.dat"));
    EXPECT_EQ(store.GetString("Init", "ProgramFilesDir", "<none>"), SystemPath("/srv/images"));
    lookups = 0;
    EXPECT_EQ(GetInitialDirectory(store, documents), SystemPath("/srv/images"));
    EXPECT_EQ(lookups, 0);

    // 259 characters fit with the terminator of a 260-character buffer; 260 do not.
    const std::string fits = "/" + std::string(258, 'a');
    store.WriteString("Init", "ProgramFilesDir", fits);
    EXPECT_EQ(GetInitialDirectory(store, documents), fits);
    store.WriteString("Init", "ProgramFilesDir", fits + "b");
    EXPECT_EQ(GetInitialDirectory(store, documents), "");

    // Characters count, not bytes: 200 Cyrillic letters are 400 bytes of UTF-8.
    std::string cyrillic = "/";
    for (int i = 0; i < 200; ++i) cyrillic += "ж";
    store.WriteString("Init", "ProgramFilesDir", cyrillic);
    EXPECT_EQ(GetInitialDirectory(store, documents), cyrillic);
    EXPECT_EQ(lookups, 0);
}

}  // namespace
}  // namespace bramis
