// The shift report of the production station: a PDF of the image with its
// SHA-256, the counters per slot, and one line per unit written since the
// counters' reset, taken from the journal so that nothing counts twice.
#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

#include "journal/journal.h"

namespace bramis {

// One unit of the shift: its write, and the read-back that checked it.
struct ShiftUnit {
    JournalRecord write;
    JournalRecord verify;  // result Cancelled with no program when there was none
    bool verified = false;
};

// The station's units in `records` (the journal, oldest first) that began at
// `since` or later: every station write, each with the read-back of the same
// slot that followed it. Any thread.
std::vector<ShiftUnit> ShiftUnits(const std::vector<JournalRecord>& records, const QDateTime& since);

struct SlotTally {
    int slot = 0;
    int port = 0;
    int good = 0;
    int bad = 0;
};

struct ShiftReport {
    QString imageFile;
    QString imageSha256;
    QDateTime since;
    QDateTime until;
    std::vector<SlotTally> slotTallies;
    SlotTally station;  // the whole station's counters (slot 0)
    std::vector<ShiftUnit> units;
};

// Saves `report` as the PDF `path`, replacing it in one step; "" when saved,
// else the system's reason. GUI thread.
QString SaveShiftReport(const QString& path, const ShiftReport& report);

}  // namespace bramis
