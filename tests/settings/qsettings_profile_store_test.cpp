// The settings store on a real QSettings INI file: every value the program
// keeps, written, read back and checked in the file's own text.
#include "settings/qsettings_profile_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <set>
#include <string>

#include "image/profile_store.h"

namespace bramis {
namespace {

// The lines of an INI file by section, in no order: QSettings sorts them on
// Linux and keeps the order of writing on Windows, with its own line ends.
std::map<std::string, std::set<std::string>> IniLines(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::map<std::string, std::set<std::string>> sections;
    std::string section;
    for (const QByteArray& line : file.readAll().replace('\r', "").split('\n')) {
        if (line.startsWith('['))
            section = line.toStdString();
        else if (!line.isEmpty())
            sections[section].insert(line.toStdString());
    }
    return sections;
}

TEST(QSettingsProfileStore, EveryValueRoundTripsUnderItsOwnSectionAndName) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("store.ini"));
    {
        QSettingsProfileStore store(path);
        store.WriteInt("Settings", "PortNumber", 7);
        store.WriteInt("Settings", "ProgramAutoload", 1);
        store.WriteString("Init", "ProgramFilesDir", "C:\\Прошивки\\v 2, итог");
        store.WriteString("Ports", "COM5", "/dev/pts/3");
        store.WriteString("ProgramFileList", "File1", "/home/user/образ.dat");
        store.WriteString("ProgramFileList", "File20", "/images/twenty.dat");
        ASSERT_TRUE(store.Sync());
    }
    EXPECT_EQ(IniLines(path), (std::map<std::string, std::set<std::string>>{
                                  {"[Init]", {"ProgramFilesDir=\"C:\\\\Прошивки\\\\v 2, итог\""}},
                                  {"[Ports]", {"COM5=/dev/pts/3"}},
                                  {"[ProgramFileList]", {"File1=/home/user/образ.dat", "File20=/images/twenty.dat"}},
                                  {"[Settings]", {"PortNumber=7", "ProgramAutoload=1"}},
                              }));

    QSettingsProfileStore again(path);
    EXPECT_EQ(again.GetInt("Settings", "PortNumber", 99), 7);
    EXPECT_EQ(again.GetString("Init", "ProgramFilesDir", ""), "C:\\Прошивки\\v 2, итог");
    EXPECT_EQ(ReadPortOverrides(again), (std::map<int, std::string>{{5, "/dev/pts/3"}}));
    EXPECT_EQ(again.ValueNames("ProgramFileList"), (std::vector<std::string>{"File1", "File20"}));
}

TEST(QSettingsProfileStore, HandEditedValuesOfTheWrongTypeReadAsTheirDefaults) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("edited.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nPortNumber=COM3\nProgramAutoload=99999999999\n[Init]\nProgramFilesDir=/srv/a, b\n"
               "[Ports]\nCOM4=\nCOM6=/dev/ttyUSB0\n");
    file.close();
    QSettingsProfileStore store(path);
    EXPECT_EQ(store.GetInt("Settings", "PortNumber", 99), 99);
    EXPECT_EQ(store.GetInt("Settings", "ProgramAutoload", 0), 0);
    EXPECT_EQ(store.GetString("Init", "ProgramFilesDir", ""), "/srv/a, b");
    EXPECT_EQ(ReadPortOverrides(store), (std::map<int, std::string>{{6, "/dev/ttyUSB0"}}));

    store.Remove("Ports", "COM4");
    store.Remove("Ports", "COM6");
    ASSERT_TRUE(store.Sync());
    EXPECT_TRUE(store.ValueNames("Ports").empty());
    EXPECT_EQ(IniLines(path).count("[Ports]"), 0U);

    // An INI path that is a folder cannot be written, and Sync says so.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.ini")));
    QSettingsProfileStore unwritable(dir.filePath(QStringLiteral("folder.ini")));
    unwritable.WriteInt("Settings", "PortNumber", 1);
    EXPECT_FALSE(unwritable.Sync());
}

}  // namespace
}  // namespace bramis
