#include "app_texts.h"

#include <QStringList>

#include "report/job_report.h"
#include "report/words.h"

namespace bramis::texts {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QString FailureText(const TransferFailure& failure, int portNumber) {
    QStringList lines{Q(words::FailureMessage(failure))};
    if (failure.kind == FailureKind::PortNotOpened) {
        const int port = EffectivePortNumber(portNumber);
        lines << Q(words::PortNotOpened(port, words::OpenFailureReason(failure.openError, port)));
        if (const std::string holder = words::PortHolderLine(failure.openError); !holder.empty()) lines << Q(holder);
        if (const std::string group = AccessGroupToJoin(failure.openError.device); !group.empty())
            lines << Q(words::AccessHint(failure.openError.device, group));
    } else {
        QStringList parts;
        if (failure.kind == FailureKind::PortLost) {
            parts << Q(words::StageText(failure.stage));
        } else if (const std::string cause = words::FailureCause(failure.kind); !cause.empty()) {
            parts << Q(cause);
        }
        if (failure.block > 0) parts << Q(words::BlockOf(failure.block));
        const QString line = parts.join(QStringLiteral(", "));
        if (!line.isEmpty()) lines << line.left(1).toUpper() + line.mid(1);
        if (failure.kind == FailureKind::ReplyInterrupted) lines << Q(words::ReplyPauseHint(SlowAdapterOf(failure.device)));
    }
    if (failure.programTouched) lines << ProgramErased();
    return lines.join(QLatin1Char('\n'));
}

QString FailureCaption(const TransferFailure& failure) {
    return failure.kind == FailureKind::PortNotOpened ? QString() : QStringLiteral("Ошибка");
}

QString EstimateLine(const JobEstimate& estimate, double now) {
    const std::optional<double> left = estimate.Left();
    if (!left) return {};
    return TimeLine(Q(words::Duration(estimate.Elapsed(now))), Q(words::Duration(*left)));
}

QString FileMessage(const FileOutcome& outcome) {
    const std::string cause = words::ImageFileCauseLine(outcome);
    return Q(words::ImageFileMessage(outcome.status) + (cause.empty() ? "" : "\n" + cause));
}

}  // namespace bramis::texts
