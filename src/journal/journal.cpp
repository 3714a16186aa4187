#include "journal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>
#endif

namespace bramis {
namespace {

constexpr char kSeparator = ';';
const QByteArray kByteOrderMark("\xEF\xBB\xBF");
// Longer than any header line; a first line this long is no header of ours.
constexpr qint64 kLongestHeader = 4096;
// A journal read whole; larger ones are refused rather than exhausting memory.
constexpr qint64 kLargestJournal = 64LL * 1024 * 1024;
// Waiting for another program's append, and when its lock counts as left behind.
constexpr int kLockWaitMs = 10000;
constexpr int kStaleLockMs = 30000;
// The programmer's data folder under the user's, as both programs name it.
constexpr const char* kDataFolder = "Orvy/TOLVA upgrade";
// The folder earlier versions of the window used, named after its program file.
constexpr const char* kOldWindowFolder = "bramis-programmer";

QString JobName(JournalJob job) {
    switch (job) {
        case JournalJob::Write: return QStringLiteral("запись");
        case JournalJob::Read: return QStringLiteral("чтение");
        case JournalJob::Verify: return QStringLiteral("проверка");
        case JournalJob::Version: return QStringLiteral("версия");
    }
    return {};
}

QString ResultName(JournalResult result) {
    switch (result) {
        case JournalResult::Succeeded: return QStringLiteral("успешно");
        case JournalResult::Failed: return QStringLiteral("ошибка");
        case JournalResult::Cancelled: return QStringLiteral("отменено");
    }
    return {};
}

// The record a row of the file holds; the row has kColumnCount fields, or
// kOldColumnCount when written before the slot and serial columns.
JournalRecord RecordOf(const QStringList& row) {
    JournalRecord record;
    record.startedText = row[kColumnStarted];
    record.started = QDateTime::fromString(row[kColumnStarted], Qt::ISODate);
    record.durationMs = row[kColumnDuration].toLongLong() * 1000;
    record.program = row[kColumnProgram];
    record.user = row[kColumnUser];
    for (const JournalJob job : {JournalJob::Write, JournalJob::Read, JournalJob::Verify, JournalJob::Version})
        if (row[kColumnJob] == JobName(job)) record.job = job;
    const QString port = row[kColumnPort];
    if (port.startsWith(QLatin1String("COM"))) record.portNumber = port.mid(3).toInt();
    record.device = row[kColumnDevice];
    record.adapterSerial = row[kColumnAdapterSerial];
    record.file = row[kColumnFile];
    record.imageSha256 = row[kColumnSha256];
    record.loaderVersion = row[kColumnLoaderVersion];
    for (const JournalResult result : {JournalResult::Succeeded, JournalResult::Failed, JournalResult::Cancelled})
        if (row[kColumnResult] == ResultName(result)) record.result = result;
    record.stage = row[kColumnStage];
    record.block = row[kColumnBlock].toInt();
    record.retries = row[kColumnRetries].toInt();
    if (row.size() == kColumnCount) {
        record.slot = row[kColumnSlot].toInt();
        record.serial = row[kColumnSerial];
    }
    return record;
}

QByteArray CsvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (field.contains(kSeparator) || field.contains('"') || field.contains('\n') || field.contains('\r')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

QByteArray CsvLine(const QStringList& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) line += kSeparator;
        line += CsvField(fields[i]);
    }
    return line + "\r\n";
}

// Splits CSV text into rows of fields: quoted fields may hold separators,
// doubled quotes and line breaks.
std::vector<QStringList> ParseCsv(const QByteArray& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QByteArray field;
    bool quoted = false;
    const auto endField = [&] {
        row << QString::fromUtf8(field);
        field.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == kSeparator) {
            endField();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endField();
            rows.push_back(row);
            row.clear();
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty()) {
        endField();
        rows.push_back(row);
    }
    return rows;
}

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

// Why `path` cannot be a journal, or "" when it can: it must be a regular
// file (or not exist yet), never a FIFO or device that would block or never end.
QString RefusalOf(const QFileInfo& info) {
    if (info.exists() && !info.isFile())
        return QStringLiteral("Журнал заданий %1 — не обычный файл").arg(Native(info.filePath()));
    return {};
}

}  // namespace

QString CurrentUserName() {
    QString user = qEnvironmentVariable("USERNAME");  // Windows
    if (user.isEmpty()) user = qEnvironmentVariable("USER");
#ifndef Q_OS_WIN
    // A service or a cron job may run without USER.
    if (user.isEmpty()) {
        // The reentrant lookup: several devices' jobs may end at once.
        passwd entry{};
        passwd* account = nullptr;
        char buffer[16384];
        if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &account) == 0 && account != nullptr)
            user = QString::fromLocal8Bit(account->pw_name);
    }
#endif
    return user;
}

QString Sha256Hex(const std::uint8_t* bytes, std::size_t size) {
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArrayView(bytes, static_cast<qsizetype>(size)), QCryptographicHash::Sha256)
            .toHex());
}

QStringList JournalHeader() {
    return {QStringLiteral("Начало"),        QStringLiteral("Длительность, с"), QStringLiteral("Программа"),
            QStringLiteral("Пользователь"),  QStringLiteral("Задание"),         QStringLiteral("Порт"),
            QStringLiteral("Устройство"),    QStringLiteral("Серийный номер адаптера"),
            QStringLiteral("Файл"),          QStringLiteral("SHA-256 образа"),  QStringLiteral("Версия загрузчика"),
            QStringLiteral("Результат"),     QStringLiteral("Этап"),            QStringLiteral("Блок"),
            QStringLiteral("Повторы"),       QStringLiteral("Слот"),            QStringLiteral("Заводской номер")};
}

QStringList OldJournalHeader() { return JournalHeader().mid(0, kOldColumnCount); }

QStringList JournalFields(const JournalRecord& record) {
    const QDateTime started = record.started.toOffsetFromUtc(record.started.offsetFromUtc());
    return {started.toString(Qt::ISODate),
            QString::number((record.durationMs + 500) / 1000),
            record.program,
            record.user,
            JobName(record.job),
            record.portNumber > 0 ? QStringLiteral("COM%1").arg(record.portNumber) : QString(),
            Native(record.device),
            record.adapterSerial,
            Native(record.file),
            record.imageSha256,
            record.loaderVersion,
            ResultName(record.result),
            record.stage,
            record.block > 0 ? QString::number(record.block) : QString(),
            QString::number(record.retries),
            record.slot > 0 ? QString::number(record.slot) : QString(),
            record.serial};
}

namespace {

// The user's data folder without the running program's own names, which
// AppDataLocation appends (the window and bramis-flash name themselves
// differently).
QString UserDataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QStringList names;
    for (const QString& name : {QCoreApplication::organizationName(), QCoreApplication::applicationName()})
        if (!name.isEmpty()) names << name;
    const QString own = QLatin1Char('/') + names.join(QLatin1Char('/'));
    if (!names.isEmpty() && folder.endsWith(own)) folder.chop(own.size());
    return folder;
}

}  // namespace

QString DefaultJournalPath() {
    return UserDataFolder() + QLatin1Char('/') + QLatin1String(kDataFolder) + QStringLiteral("/journal.csv");
}

QString OldWindowJournalPath() {
    return UserDataFolder() + QLatin1Char('/') + QLatin1String(kOldWindowFolder) + QStringLiteral("/journal.csv");
}

QString JournalPath(const ProfileStore& settings) {
    const std::string stored = settings.GetString(kSectionSettings, kValueJournalFile, "");
    return stored.empty() ? DefaultJournalPath() : QString::fromStdString(stored);
}

namespace {

QString TimeSuffix() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")); }

QByteArray FileHeader() { return kByteOrderMark + CsvLine(JournalHeader()); }
QByteArray OldFileHeader() { return kByteOrderMark + CsvLine(OldJournalHeader()); }

// Puts the new header over a journal written under the old one, in one step
// (the file is replaced whole or not at all); the rows stay as they are and
// read with empty slot and serial cells. Under the journal's lock.
bool RenewHeader(const QString& path) {
    QFile old(path);
    if (!old.open(QIODevice::ReadOnly) || old.size() > kLargestJournal) return false;
    QByteArray text = old.readAll();
    old.close();
    if (!text.startsWith(OldFileHeader())) return false;
    text.replace(0, OldFileHeader().size(), FileHeader());
    QSaveFile renewed(path);
    return renewed.open(QIODevice::WriteOnly) && renewed.write(text) == text.size() && renewed.commit();
}

struct Appended {
    bool written = false;
    QString warning;  // why not, or what else happened
};

// Appends `records` in one write, under the lock beside the journal.
Appended AppendRecords(const QString& path, const std::vector<JournalRecord>& records) {
    const QFileInfo info(path);
    if (QString refusal = RefusalOf(info); !refusal.isEmpty()) return {false, refusal};
    if (!QDir().mkpath(info.absolutePath()))
        return {false, QStringLiteral("Не могу создать папку журнала заданий %1").arg(Native(info.absolutePath()))};

    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        return {false, lock.error() == QLockFile::LockFailedError
                           ? QStringLiteral("Журнал заданий %1 занят другой программой").arg(Native(path))
                           : QStringLiteral("Не могу записать журнал заданий %1").arg(Native(path))};
    }

    const QByteArray header = FileHeader();
    QString warning;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray firstLine = file.readLine(kLongestHeader);
        file.close();
        if (firstLine == OldFileHeader() && !RenewHeader(path))
            return {false, QStringLiteral("Не могу обновить заголовок журнала заданий %1").arg(Native(path))};
        if (!firstLine.isEmpty() && firstLine != header && firstLine != OldFileHeader()) {
            const QString aside = path + QStringLiteral(".damaged-") + TimeSuffix();
            if (!QFile::rename(path, aside))
                return {false, QStringLiteral("Журнал заданий %1 повреждён и не может быть заменён").arg(Native(path))};
            warning = QStringLiteral("Журнал заданий был повреждён; он сохранён как %1, начат новый").arg(Native(aside));
        }
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return {false, QStringLiteral("Не могу записать журнал заданий %1").arg(Native(path))};
    // One write of every record, the header first when the file is new.
    QByteArray text = file.size() == 0 ? header : QByteArray();
    for (const JournalRecord& record : records) text += CsvLine(JournalFields(record));
    if (file.write(text) != text.size() || !file.flush())
        return {false, QStringLiteral("Ошибка при записи журнала заданий %1").arg(Native(path))};
    return {true, warning};
}

}  // namespace

QString AppendJournalRecord(const QString& path, const JournalRecord& record) {
    return AppendRecords(path, {record}).warning;
}

QString MoveOldJournal(const QString& oldPath, const QString& path) {
    const QFileInfo old(oldPath);
    if (!old.exists() || old == QFileInfo(path)) return {};
    const QString leftAlone =
        QStringLiteral("Журнал заданий прежней версии %1 не прочитан и оставлен на месте").arg(Native(oldPath));
    QFile file(oldPath);
    if (!old.isFile() || !file.open(QIODevice::ReadOnly)) return leftAlone;
    const QByteArray firstLine = file.readLine(kLongestHeader);
    if (firstLine != FileHeader() && firstLine != OldFileHeader()) return leftAlone;
    file.close();
    // Renamed aside first: should the program end half way, nothing is moved twice.
    const QString aside = oldPath + QStringLiteral(".moved-") + TimeSuffix();
    if (!QFile::rename(oldPath, aside)) return leftAlone;
    QString readWarning;
    std::vector<JournalRecord> records = ReadJournal(aside, readWarning);
    std::stable_sort(records.begin(), records.end(),
                     [](const JournalRecord& a, const JournalRecord& b) { return a.started < b.started; });
    const Appended appended = readWarning.isEmpty() ? AppendRecords(path, records) : Appended{false, readWarning};
    if (!appended.written) {
        QFile::rename(aside, oldPath);
        return leftAlone + QStringLiteral(": ") + appended.warning;
    }
    return appended.warning;
}

std::vector<JournalRecord> ReadJournal(const QString& path, QString& warning) {
    warning.clear();
    const QFileInfo info(path);
    if (!info.exists()) return {};
    if (warning = RefusalOf(info); !warning.isEmpty()) return {};
    if (info.size() > kLargestJournal) {
        warning = QStringLiteral("Журнал заданий %1 слишком велик").arg(Native(path));
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        warning = QStringLiteral("Не могу прочитать журнал заданий %1").arg(Native(path));
        return {};
    }
    QByteArray text = file.readAll();
    if (text.startsWith(kByteOrderMark)) text.remove(0, kByteOrderMark.size());
    std::vector<JournalRecord> records;
    for (const QStringList& row : ParseCsv(text)) {
        if ((row.size() == kColumnCount || row.size() == kOldColumnCount) && row != JournalHeader() &&
            row != OldJournalHeader())
            records.push_back(RecordOf(row));
    }
    return records;
}

}  // namespace bramis
