// The journal file: records as a spreadsheet reads them back, appends from
// several writers at once, and files that must never stop a job.
#include "journal/journal.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <chrono>
#include <set>
#include <thread>

namespace bramis {
namespace {

JournalRecord SampleRecord(int retries = 0) {
    JournalRecord record;
    record.started = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 5), Qt::OffsetFromUTC, 3 * 3600);
    record.durationMs = 486'600;
    record.program = QStringLiteral("bramis-flash");
    record.user = QStringLiteral("Иванов");
    record.portNumber = 5;
    record.device = QStringLiteral("/dev/ttyUSB0");
    record.file = QStringLiteral("/home/Иванов/прошивки/v2; \"новая\".dat");
    record.result = JournalResult::Failed;
    record.block = 17;
    record.retries = retries;
    return record;
}

TEST(Journal, RecordsReadBackWithTheirHeaderOnceAndSeparatorsInsideFieldsIntact) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("новая папка/journal.csv"));
    EXPECT_EQ(AppendJournalRecord(path, SampleRecord()), QString());
    EXPECT_EQ(AppendJournalRecord(path, SampleRecord(3)), QString());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("\xEF\xBB\xBF\xD0\x9D\xD0\xB0\xD1\x87"));  // BOM, "Нач"
    EXPECT_EQ(text.count("Начало"), 1);
    EXPECT_TRUE(text.contains("2026-03-14T09:30:05+03:00;487;bramis-flash;Иванов;запись;COM5;"));

    // Every field comes back as it went in.
    QString warning;
    const std::vector<JournalRecord> records = ReadJournal(path, warning);
    EXPECT_EQ(warning, QString());
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(JournalFields(records[0]), JournalFields(SampleRecord()));
    EXPECT_EQ(records[0].started, SampleRecord().started);
    EXPECT_EQ(records[1].file, QDir::toNativeSeparators(SampleRecord().file));
    EXPECT_EQ(records[1].result, JournalResult::Failed);
    EXPECT_EQ(records[1].block, 17);
    EXPECT_EQ(records[1].retries, 3);

#ifndef _WIN32
    // Without USER, the system's account names the user.
    const QByteArray user = qgetenv("USER");
    qunsetenv("USER");
    EXPECT_FALSE(CurrentUserName().isEmpty());
    qputenv("USER", user);
#endif
}

TEST(Journal, AJournalUnderTheOldHeaderIsReadAndGetsTheNewHeaderWithEveryRowKept) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("journal.csv"));
    // Written before the slot and serial columns: fifteen fields a row.
    JournalRecord old = SampleRecord(2);
    old.file = QStringLiteral("a.dat");
    const QStringList oldRow = JournalFields(old).mid(0, kColumnSlot);
    const auto csv = [](const QStringList& fields) { return fields.join(QLatin1Char(';')).toUtf8() + "\r\n"; };
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF" + csv(JournalHeader().mid(0, kColumnSlot)) + csv(oldRow));
    file.close();
    QString warning;
    ASSERT_EQ(ReadJournal(path, warning).size(), 1U);
    EXPECT_EQ(warning, QString());

    JournalRecord station = SampleRecord();
    station.slot = 3;
    station.serial = QStringLiteral("SN-0042");
    EXPECT_EQ(AppendJournalRecord(path, station), QString());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"journal.csv"}) << "nothing moved aside";
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readLine(), "\xEF\xBB\xBF" + csv(JournalHeader()));
    file.close();
    const std::vector<JournalRecord> records = ReadJournal(path, warning);
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(JournalFields(records[0]), oldRow + QStringList({"", ""}));
    EXPECT_EQ(JournalFields(records[1]), JournalFields(station));
    EXPECT_EQ(JournalFields(records[1]).mid(kColumnSlot), (QStringList{"3", "SN-0042"}));
}

TEST(Journal, BothProgramsKeepOneJournalAndTheWindowsOldOneMovesOnce) {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    // The window and bramis-flash name themselves differently; the journal is the same.
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QStringLiteral("bramis-programmer"));
    const QString window = DefaultJournalPath();
    const QString old = OldWindowJournalPath();
    QCoreApplication::setOrganizationName(QStringLiteral("Orvy"));
    QCoreApplication::setApplicationName(QStringLiteral("TOLVA upgrade"));
    const QString journal = DefaultJournalPath();
    EXPECT_EQ(window, journal);
    EXPECT_NE(old, journal);
#ifndef _WIN32
    EXPECT_EQ(journal, home.filePath(QStringLiteral("Orvy/TOLVA upgrade/journal.csv")));
    EXPECT_EQ(old, home.filePath(QStringLiteral("bramis-programmer/journal.csv")));
#endif

    // The old journal's records join the one journal in time order, once
    // (in a folder of the test's own: on Windows the places above are the user's).
    const QString oldCopy = home.filePath(QStringLiteral("old/journal.csv"));
    const QString journalCopy = home.filePath(QStringLiteral("new/journal.csv"));
    JournalRecord later = SampleRecord(2);
    later.started = later.started.addSecs(60);
    ASSERT_EQ(AppendJournalRecord(oldCopy, later), QString());
    ASSERT_EQ(AppendJournalRecord(oldCopy, SampleRecord(1)), QString());
    ASSERT_EQ(AppendJournalRecord(journalCopy, SampleRecord(9)), QString());
    EXPECT_EQ(MoveOldJournal(oldCopy, journalCopy), QString());
    EXPECT_EQ(MoveOldJournal(oldCopy, journalCopy), QString());
    QString warning;
    std::vector<int> retries;
    for (const JournalRecord& record : ReadJournal(journalCopy, warning)) retries.push_back(record.retries);
    EXPECT_EQ(retries, (std::vector<int>{9, 1, 2}));
    EXPECT_FALSE(QFile::exists(oldCopy));

    // A damaged old journal stays where it is, with one warning.
    QFile damaged(oldCopy);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("garbage\n");
    damaged.close();
    EXPECT_FALSE(MoveOldJournal(oldCopy, journalCopy).isEmpty());
    EXPECT_TRUE(QFile::exists(oldCopy));
    EXPECT_EQ(ReadJournal(journalCopy, warning).size(), 3U);
}

TEST(Journal, WritersWaitForAnotherProgramsAppendAndLoseNoRecord) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("journal.csv"));
    QLockFile otherProgram(path + QStringLiteral(".lock"));
    ASSERT_TRUE(otherProgram.lock());
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&path, w] {
            for (int i = 0; i < 50; ++i) EXPECT_EQ(AppendJournalRecord(path, SampleRecord(w * 1000 + i)), QString());
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(QFile::exists(path));
    otherProgram.unlock();
    for (std::thread& writer : writers) writer.join();
    QString warning;
    std::set<int> seen;
    for (const JournalRecord& record : ReadJournal(path, warning)) seen.insert(record.retries);
    EXPECT_EQ(seen.size(), 200U);
}

TEST(Journal, DamagedAndSpecialFilesWarnAndNeverBlock) {
    QTemporaryDir folder;
    // A damaged journal is kept aside, and a new one begun.
    const QString path = folder.filePath(QStringLiteral("journal.csv"));
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("\x00\xFFgarbage\n", 10));
    damaged.close();
    EXPECT_TRUE(AppendJournalRecord(path, SampleRecord()).contains(QStringLiteral("повреждён")));
    QString warning;
    EXPECT_EQ(ReadJournal(path, warning).size(), 1U);
    EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("journal.csv.damaged-*")}).size(), 1);

#ifndef _WIN32
    // A FIFO or a link to a device is refused at once, for writing and reading.
    const QString fifo = folder.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = folder.filePath(QStringLiteral("zero.csv"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& special : {fifo, zero}) {
        EXPECT_FALSE(AppendJournalRecord(special, SampleRecord()).isEmpty()) << special.toStdString();
        EXPECT_TRUE(ReadJournal(special, warning).empty());
        EXPECT_FALSE(warning.isEmpty());
    }
    EXPECT_FALSE(AppendJournalRecord(QStringLiteral("/proc/bramis/journal.csv"), SampleRecord()).isEmpty());
#endif
}

}  // namespace
}  // namespace bramis
