// The journal of jobs: one record per job, appended to a CSV file that a
// spreadsheet program opens as it is (UTF-8 with a byte order mark, ';'
// between fields as Russian spreadsheets expect, a header row). For service
// and warranty work: which file went into which device, when, and how it went.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/profile_store.h"

namespace bramis {

enum class JournalJob { Write, Read, Verify, Version };
enum class JournalResult { Succeeded, Failed, Cancelled };

struct JournalRecord {
    QDateTime started;  // local time; written with its offset from UTC
    QString startedText;  // read back: the field as the file holds it
    qint64 durationMs = 0;
    QString program;  // "bramis-programmer" or "bramis-flash"
    QString user;
    JournalJob job = JournalJob::Write;
    int portNumber = 0;    // COM number; 0 when a device path was given instead
    QString device;        // the device path opened
    QString adapterSerial; // "" when unknown
    QString file;          // the image file written, read or compared
    QString imageSha256;   // of the image written or read, hex; "" when none
    QString loaderVersion; // "01.03"; "" when never read
    JournalResult result = JournalResult::Succeeded;
    QString stage;  // the stage a failed job ended in
    int block = 0;  // 1..368, the block a failed job ended at; 0 for none
    int retries = 0;
    int slot = 0;    // the station's slot, 1..16; 0 for a job outside the station
    QString serial;  // the unit's serial number; "" when none was asked for
};

// The name the user logged in with: the environment's, else the system's
// account of this process. Any thread.
QString CurrentUserName();

// The SHA-256 of `bytes` in lower-case hex, for the image column. Any thread.
QString Sha256Hex(const std::uint8_t* bytes, std::size_t size);

// The header row, then each record as the rows under it; any thread.
QStringList JournalHeader();
// The header of journals written before the slot and serial columns; their
// rows read as records with those cells empty. Any thread.
QStringList OldJournalHeader();
QStringList JournalFields(const JournalRecord& record);

// Where the journal lives unless the settings move it: "journal.csv" in the
// programmer's data folder (%APPDATA%\Orvy\TOLVA upgrade,
// ~/.local/share/Orvy/TOLVA upgrade), whatever names the running program
// gave itself. Any thread.
QString DefaultJournalPath();

// Where earlier versions of the window kept a journal of their own.
QString OldWindowJournalPath();

// Moves the records of the journal at `oldPath` into the one at `path`
// (appended in time order) and renames the old file aside, so that it
// happens once. A damaged or unreadable old journal stays where it is.
// Returns "" when there was nothing to move or all went well, else a warning
// in Russian. Any thread.
QString MoveOldJournal(const QString& oldPath, const QString& path);

// The settings value that moves the journal ("Settings"/"JournalFile").
inline constexpr const char* kValueJournalFile = "JournalFile";

// The journal the settings name, else DefaultJournalPath(). The store's thread.
QString JournalPath(const ProfileStore& settings);

// Appends `record`, writing the header first into a new or empty file and
// making the folder if needed. A journal under the old header gets the new
// one first, every row kept. Safe when several programs append at once (a
// lock file beside the journal). A journal that is not a CSV file of ours is
// moved aside (its name gets ".damaged-<time>") and a new one begun. Never
// blocks on a FIFO or device. Returns "" on success, else a warning in
// Russian; the caller's job is not affected either way. Any thread.
QString AppendJournalRecord(const QString& path, const JournalRecord& record);

// The records of the journal at `path`, in the file's order (oldest first);
// rows of a damaged file are skipped. `warning` says in Russian why nothing
// could be read ("" when all went well or the journal does not exist yet).
// Any thread.
std::vector<JournalRecord> ReadJournal(const QString& path, QString& warning);

// The index of a field in JournalFields.
enum JournalColumn : int {
    kColumnStarted, kColumnDuration, kColumnProgram, kColumnUser, kColumnJob, kColumnPort, kColumnDevice,
    kColumnAdapterSerial, kColumnFile, kColumnSha256, kColumnLoaderVersion, kColumnResult, kColumnStage,
    kColumnBlock, kColumnRetries, kColumnSlot, kColumnSerial, kColumnCount
};
// The fields of a row under the old header.
inline constexpr int kOldColumnCount = kColumnSlot;

}  // namespace bramis
