#include "shift_report.h"

#include <QDir>
#include <QFont>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <map>

#include "app_texts.h"
#include "report/words.h"

namespace bramis {
namespace {

QString ResultOf(const ShiftUnit& unit) {
    const JournalRecord& last = unit.verified && unit.write.result == JournalResult::Succeeded ? unit.verify : unit.write;
    QString text = last.result == JournalResult::Succeeded  ? texts::ResultGood()
                   : last.result == JournalResult::Cancelled ? texts::ReportCancelled()
                                                             : texts::ResultBad();
    QStringList cause;
    if (!last.stage.isEmpty()) cause << last.stage;
    if (last.block > 0) cause << QString::fromStdString(words::BlockOf(last.block));
    if (!cause.isEmpty()) text += QStringLiteral(": ") + cause.join(QStringLiteral(", "));
    return text;
}

}  // namespace

std::vector<ShiftUnit> ShiftUnits(const std::vector<JournalRecord>& records, const QDateTime& since) {
    std::vector<ShiftUnit> units;
    std::map<int, std::size_t> lastWrite;  // slot: its unit still open for a read-back
    for (const JournalRecord& record : records) {
        if (record.slot <= 0 || !record.started.isValid() || record.started < since) continue;
        if (record.job == JournalJob::Write) {
            lastWrite[record.slot] = units.size();
            units.push_back({record, {}, false});
        } else if (const auto open = lastWrite.find(record.slot);
                   record.job == JournalJob::Verify && open != lastWrite.end()) {
            units[open->second].verify = record;
            units[open->second].verified = true;
            lastWrite.erase(open);
        }
    }
    return units;
}

QString SaveShiftReport(const QString& path, const ShiftReport& report) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setTitle(texts::ShiftReportTitle());
        writer.setCreator(texts::MainCaption());
        QPainter painter(&writer);
        QFont font(QStringLiteral("Sans Serif"));
        font.setPointSizeF(8);
        painter.setFont(font);
        const int lineHeight = painter.fontMetrics().height() * 5 / 4;
        const int width = painter.viewport().width();
        int y = lineHeight;
        const auto newLineRoom = [&] {
            if (y + lineHeight <= painter.viewport().height()) return;
            writer.newPage();
            y = lineHeight;
        };
        const auto line = [&](const QString& text) {
            newLineRoom();
            painter.drawText(0, y, text);
            y += lineHeight;
        };
        const int columns[] = {0, 18, 24, 32, 52, 88, 95, 100};  // per cent of the width
        const auto row = [&](const QStringList& cells) {
            newLineRoom();
            for (int i = 0; i < cells.size(); ++i) {
                const int left = width * columns[i] / 100;
                const int right = width * columns[i + 1] / 100;
                painter.drawText(QRect(left, y - lineHeight, right - left - 4, lineHeight), Qt::AlignBottom,
                                 painter.fontMetrics().elidedText(cells[i], Qt::ElideRight, right - left - 4));
            }
            y += lineHeight;
        };
        const QString format = QStringLiteral("dd.MM.yyyy HH:mm:ss");
        QFont title = font;
        title.setPointSizeF(12);
        title.setBold(true);
        painter.setFont(title);
        line(texts::ShiftReportTitle());
        painter.setFont(font);
        line(texts::ShiftReportPeriod(report.since.toString(format), report.until.toString(format)));
        line(texts::StationImageLabel() + QLatin1Char(' ') + QDir::toNativeSeparators(report.imageFile));
        line(QStringLiteral("SHA-256 ") + report.imageSha256);
        y += lineHeight / 2;
        for (const SlotTally& tally : report.slotTallies)
            line(texts::SlotName(tally.slot) + QStringLiteral(", ") + texts::PortItem(tally.port) + QStringLiteral(": ") +
                 texts::SlotCounters(tally.good, tally.bad));
        line(texts::StationCounters(report.station.good, report.station.bad, report.since.toString(format)));
        y += lineHeight / 2;
        row(texts::ShiftReportColumns());
        for (const ShiftUnit& unit : report.units) {
            const qint64 durationMs = unit.write.durationMs + (unit.verified ? unit.verify.durationMs : 0);
            row({unit.write.started.toString(format), QString::number(unit.write.slot),
                 texts::PortItem(unit.write.portNumber), unit.write.serial, ResultOf(unit),
                 QString::number(unit.write.retries + (unit.verified ? unit.verify.retries : 0)),
                 QString::fromStdString(words::Duration(static_cast<double>(durationMs) / 1000.0))});
        }
    }
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace bramis
