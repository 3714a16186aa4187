// The settings store on a real QSettings INI file: every value the program
// keeps, written, read back and checked in the file's own text.
#include "app/qsettings_profile_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "image/memory_profile_store.h"
#include "image/recent_file_list.h"

namespace bramis {
namespace {

std::string FileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll().toStdString();
}

void WriteText(const QString& path, const char* text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// Each test's INI files live in a folder of their own.
class QSettingsProfileStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Ini(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    QTemporaryDir dir;
};

// Runs first, before any QSettings has looked up the default locations.
TEST(QSettingsProfileStore, TheUsersStoreIsOrvyTolvaUpgrade) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QSettingsProfileStore store;
    const QString expected = home.filePath(QStringLiteral("Orvy/TOLVA upgrade.conf"));
    ASSERT_EQ(store.Location().toStdString(), expected.toStdString());

    store.WriteInt("Settings", "PortNumber", 3);
    ASSERT_TRUE(store.Sync());
    EXPECT_EQ(FileText(expected), "[Settings]\nPortNumber=3\n");
}

TEST_F(QSettingsProfileStoreTest, EveryValueRoundTripsUnderItsOwnSectionAndName) {
    const QString path = Ini("store.ini");

    MemoryProfileStore listSource;
    listSource.WriteString("ProgramFileList", "File1", "/home/user/образ.dat");
    listSource.WriteString("ProgramFileList", "File3", "C:\\Прошивки\\old.dat");
    listSource.WriteString("ProgramFileList", "File20", "/images/twenty.dat");
    RecentFileList list;
    list.Read(listSource);
    {
        QSettingsProfileStore store(path);
        store.WriteString("ProgramFileList", "File2", "/stale.dat");
        store.WriteInt("Settings", "PortNumber", 7);
        store.WriteInt("Settings", "ProgramAutoload", 1);
        store.WriteString("Init", "ProgramFilesDir", "C:\\Прошивки\\v 2, итог");
        store.WriteString("Ports", "COM5", "/dev/pts/3");
        list.Write(store);
        ASSERT_TRUE(store.Sync());
    }
    EXPECT_EQ(FileText(path),
              "[Init]\n"
              "ProgramFilesDir=\"C:\\\\Прошивки\\\\v 2, итог\"\n"
              "\n"
              "[Ports]\n"
              "COM5=/dev/pts/3\n"
              "\n"
              "[ProgramFileList]\n"
              "File1=/home/user/образ.dat\n"
              "File20=/images/twenty.dat\n"
              "File3=C:\\\\Прошивки\\\\old.dat\n"
              "\n"
              "[Settings]\n"
              "PortNumber=7\n"
              "ProgramAutoload=1\n");

    QSettingsProfileStore again(path);
    EXPECT_EQ(again.GetInt("Settings", "PortNumber", 99), 7);
    EXPECT_EQ(again.GetInt("Settings", "ProgramAutoload", 0), 1);
    EXPECT_EQ(again.GetString("Init", "ProgramFilesDir", ""), "C:\\Прошивки\\v 2, итог");
    EXPECT_EQ(ReadPortOverrides(again), (std::map<int, std::string>{{5, "/dev/pts/3"}}));
    RecentFileList reread;
    reread.Read(again);
    EXPECT_EQ(reread.Entries(), list.Entries());
}

TEST_F(QSettingsProfileStoreTest, HandEditedValuesOfTheWrongTypeReadAsTheirDefaults) {
    const QString path = Ini("edited.ini");
    WriteText(path,
              "[Settings]\n"
              "PortNumber=COM3\n"
              "ProgramAutoload=99999999999\n"
              "[Init]\n"
              "ProgramFilesDir=/srv/a, b\n"
              "[Ports]\n"
              "COM4=\n"
              "COM6=/dev/ttyUSB0\n");
    QSettingsProfileStore store(path);
    EXPECT_EQ(store.GetInt("Settings", "PortNumber", 99), 99);
    EXPECT_EQ(store.GetInt("Settings", "ProgramAutoload", 0), 0);
    EXPECT_EQ(store.GetString("Init", "ProgramFilesDir", ""), "/srv/a, b");
    EXPECT_EQ(store.GetString("Init", "Absent", "default"), "default");
    EXPECT_EQ(ReadPortOverrides(store), (std::map<int, std::string>{{6, "/dev/ttyUSB0"}}));

    store.Remove("Ports", "COM4");
    store.Remove("Ports", "COM6");
    store.Remove("Settings", "Absent");
    ASSERT_TRUE(store.Sync());
    EXPECT_TRUE(store.ValueNames("Ports").empty());
    EXPECT_EQ(FileText(path).find("[Ports]"), std::string::npos);
}

TEST_F(QSettingsProfileStoreTest, AStoreThatCannotBeWrittenSaysSo) {
    // The INI path is a folder: nothing can be written there.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("store.ini")));
    QSettingsProfileStore store(Ini("store.ini"));
    store.WriteInt("Settings", "PortNumber", 1);
    EXPECT_FALSE(store.Sync());
}

}  // namespace
}  // namespace bramis
