#include "journal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include "job/transfer_worker.h"

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
// The cable rule: more than this many retries over this many jobs on a port.
constexpr int kCableJobs = 5;
constexpr int kCableRetries = 10;

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

void TakeOutcome(JournalRecord& record, const TransferOutcome& outcome) {
    record.result = outcome.succeeded() ? JournalResult::Succeeded
                    : outcome.cancelled ? JournalResult::Cancelled
                                        : JournalResult::Failed;
    record.stage = outcome.succeeded() ? QString() : QString::fromStdString(StageText(outcome.stage));
    record.block = outcome.block ? *outcome.block + 1 : 0;
    record.retries = outcome.retries;
}

QString CurrentUserName() {
    const QString user = qEnvironmentVariable("USERNAME");  // Windows
    return user.isEmpty() ? qEnvironmentVariable("USER") : user;
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
            QStringLiteral("Повторы")};
}

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
            QString::number(record.retries)};
}

QString DefaultJournalPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/journal.csv");
}

QString JournalPath(const ProfileStore& settings) {
    const std::string stored = settings.GetString(kSectionSettings, kValueJournalFile, "");
    return stored.empty() ? DefaultJournalPath() : QString::fromStdString(stored);
}

QString AppendJournalRecord(const QString& path, const JournalRecord& record) {
    const QFileInfo info(path);
    if (QString refusal = RefusalOf(info); !refusal.isEmpty()) return refusal;
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("Не могу создать папку журнала заданий %1").arg(Native(info.absolutePath()));

    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockWaitMs)) {
        return lock.error() == QLockFile::LockFailedError
                   ? QStringLiteral("Журнал заданий %1 занят другой программой").arg(Native(path))
                   : QStringLiteral("Не могу записать журнал заданий %1").arg(Native(path));
    }

    const QByteArray header = kByteOrderMark + CsvLine(JournalHeader());
    QString warning;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray firstLine = file.readLine(kLongestHeader);
        file.close();
        if (!firstLine.isEmpty() && firstLine != header) {
            const QString aside =
                path + QStringLiteral(".damaged-%1").arg(QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
            if (!QFile::rename(path, aside))
                return QStringLiteral("Журнал заданий %1 повреждён и не может быть заменён").arg(Native(path));
            warning = QStringLiteral("Журнал заданий был повреждён; он сохранён как %1, начат новый").arg(Native(aside));
        }
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return QStringLiteral("Не могу записать журнал заданий %1").arg(Native(path));
    // One write of the whole record, the header first when the file is new.
    const QByteArray text = (file.size() == 0 ? header : QByteArray()) + CsvLine(JournalFields(record));
    if (file.write(text) != text.size() || !file.flush())
        return QStringLiteral("Ошибка при записи журнала заданий %1").arg(Native(path));
    return warning;
}

std::vector<QStringList> ReadJournal(const QString& path, QString& warning) {
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
    std::vector<QStringList> rows;
    for (QStringList& row : ParseCsv(text)) {
        if (row.size() == kColumnCount && row != JournalHeader()) rows.push_back(std::move(row));
    }
    return rows;
}

bool CableNeedsChecking(const std::vector<QStringList>& rows, const QString& device) {
    int jobs = 0;
    int retries = 0;
    const QString name = Native(device);
    for (auto row = rows.rbegin(); row != rows.rend() && jobs < kCableJobs; ++row) {
        if ((*row)[kColumnDevice] != name) continue;
        ++jobs;
        retries += (*row)[kColumnRetries].toInt();
    }
    return retries > kCableRetries;
}

}  // namespace bramis
