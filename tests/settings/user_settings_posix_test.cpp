// The user's settings file on Linux, "Orvy/TOLVA upgrade.conf", and what must
// not be read as one (a FIFO would block every start, a link to /dev/zero
// would read until memory runs out).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>

#include "settings/qsettings_profile_store.h"

namespace bramis {
namespace {

TEST(OpenUserSettings, OnlyARegularFileOfSaneSizeIsRead) {
    namespace fs = std::filesystem;
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
        bool read;
    };
    const Case cases[] = {
        {"a regular file", [](const fs::path& p) { std::ofstream(p) << "[Settings]\nPortNumber=7\n"; }, true},
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false},
        {"a link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }, false},
        {"a 2 MiB file",
         [](const fs::path& p) {
             std::ofstream(p) << "[Settings]\nPortNumber=7\n";
             fs::resize_file(p, 2 * 1024 * 1024);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        const fs::path file = fs::path(home.path().toStdString()) / "Orvy" / "TOLVA upgrade.conf";
        fs::create_directories(file.parent_path());
        c.make(file);
        const fs::file_type typeBefore = fs::symlink_status(file).type();

        std::string warning;
        {
            const std::unique_ptr<ProfileStore> store = OpenUserSettings(warning);
            EXPECT_EQ(store->GetInt("Settings", "PortNumber", 99), c.read ? 7 : 99);
            store->WriteInt("Settings", "PortNumber", 3);
            EXPECT_EQ(store->GetInt("Settings", "PortNumber", 99), 3);
        }
        EXPECT_EQ(warning.empty(), c.read) << warning;
        // A settings file keeps the change; anything else is left as it was.
        EXPECT_EQ(fs::symlink_status(file).type(), typeBefore);
        if (c.read) {
            EXPECT_EQ(QSettingsProfileStore().Location().toStdString(), file.string());
            EXPECT_EQ(QSettingsProfileStore().GetInt("Settings", "PortNumber", 99), 3);
        } else {
            EXPECT_NE(warning.find(file.string()), std::string::npos) << warning;
        }
    }
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace bramis
