#include "progress_dlg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <qdrawutil.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "app_texts.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "link/device_memory.h"
#include "dialog_controls.h"
#include "controls/labeled_progress_ctrl.h"
#include "message_box.h"
#include "resource_ids.h"

namespace bramis {
namespace {

std::unique_ptr<QThread> LaunchQThread(std::function<void()> body) {
    std::unique_ptr<QThread> thread(QThread::create(std::move(body)));
#ifdef Q_OS_WIN
    // Win32 takes this as the initial commit of the default 1 MiB reservation;
    // elsewhere so small a stack would not do, so the default size stays.
    thread->setStackSize(8192);
#endif
    thread->start();
    // A thread that neither runs nor has run was never created.
    if (!thread->isRunning() && !thread->isFinished()) return nullptr;
    return thread;
}

QLineEdit* AddTextLine(QWidget* parent, const char* name, int id, const DialogBaseUnits& units,
                       const DluRect& rect) {
    auto* line = new QLineEdit(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setProperty(kControlIdProperty, id);
    line->setReadOnly(true);
    line->setFrame(false);
    line->setAlignment(Qt::AlignCenter);
    line->setFocusPolicy(Qt::NoFocus);  // no tab stop: Cancel is the only one
    // A read-only line sits on the window's own background.
    QPalette palette = line->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    line->setPalette(palette);
    PlaceInDialogUnits(line, units, rect);
    return line;
}

}  // namespace

CProgressDlg::CProgressDlg(QWidget* parent)
    // A pop-up with a dialog frame and no title bar: no caption, no system
    // menu, no close box.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint), m_launcher(LaunchQThread) {
    setObjectName(QStringLiteral("IDD_PROGRESS"));
    const DialogBaseUnits units = BaseUnitsOf(font());

    // Template order, which is also the tab order; the time line sits in a
    // row of its own between the bar and Cancel.
    m_cancelButton = AddPushButton(this, texts::CancelButton(), "IDCANCEL", IDCANCEL, units, {68, 70, 50, 14});
    connect(m_cancelButton, &QPushButton::clicked, this, &CProgressDlg::reject);

    m_progress = new CLabeledProgressCtrl(this);
    m_progress->setObjectName(QStringLiteral("IDC_JOB_PROGRESS"));
    m_progress->setProperty(kControlIdProperty, IDC_JOB_PROGRESS);
    PlaceInDialogUnits(m_progress, units, {7, 40, 172, 12});

    m_stageEdit = AddTextLine(this, "IDC_STAGE_TEXT", IDC_STAGE_TEXT, units, {7, 7, 172, 12});
    m_versionEdit = AddTextLine(this, "IDC_VERSION_TEXT", IDC_VERSION_TEXT, units, {7, 23, 172, 12});
    m_timeEdit = AddTextLine(this, "IDC_TIME_TEXT", IDC_TIME_TEXT, units, {7, 55, 172, 12});

    setFixedSize(MapDialogSize(units, 186, 91));
}

CProgressDlg::~CProgressDlg() {
    m_closing = true;
    if (m_job) {
        m_job->Cancel();
        WaitForWorker();
    }
}

void CProgressDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), palette(), false);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(m_progress->geometry().adjusted(-1, -1, 0, 0));
}

void CProgressDlg::WaitForWorker() {
    // The worker may be waiting for a call queued to this thread; serving the
    // queue meanwhile keeps the wait from dead-locking.
    while (!m_job->Wait(std::chrono::milliseconds(10))) QCoreApplication::sendPostedEvents(this);
}

void CProgressDlg::SetWorkerLauncher(WorkerLauncher launcher) {
    m_launcher = launcher ? std::move(launcher) : WorkerLauncher(LaunchQThread);
}

int CProgressDlg::RunJobs(SerialChannel& channel, std::int32_t portNumber, const QString& device,
                          const std::vector<JobStep>& steps, JobEndedHandler ended) {
    m_stoppingForExit = false;
    m_channel = &channel;
    m_portNumber = portNumber;
    m_device = device;
    m_steps = steps;
    m_step = 0;
    m_ended = std::move(ended);
    if (m_steps.empty()) return IDOK;
    if (!StartNextJob()) return -1;
    return exec();
}

bool CProgressDlg::StartNextJob() {
    // Every job starts clean, whatever the previous one left.
    m_stageEdit->setText(QString());
    m_versionEdit->setText(QString());
    m_timeEdit->setText(QString());
    m_progress->SetPos(0);
    m_progress->SetRange32(0, static_cast<int>(kBlockCount));
    m_cancelButton->setFocus();

    const JobStep& step = m_steps[m_step];
    m_job = std::make_unique<TransferJob>(*m_channel, *this, m_portNumber, step.buffer, step.mode);
    m_jobStarted = QDateTime::currentDateTime();
    m_jobClock.start();
    m_stageClock.start();
    const bool started = m_job->Start([this](std::function<void()> body) -> WorkerWait {
        std::shared_ptr<QThread> thread = m_launcher(std::move(body));
        if (!thread) return {};
        return [thread](std::chrono::milliseconds timeout) { return thread->wait(QDeadlineTimer(timeout)); };
    });
    if (!started) {
        m_job.reset();
        ShowMessage(parentWidget(), texts::WorkerNotStarted(), MessageIcon::Exclamation);
        return false;
    }
    emit jobProgress(0);
    return true;
}

void CProgressDlg::accept() {}

void CProgressDlg::reject() {
    if (m_job) m_job->Cancel();
}

void CProgressDlg::StopForExit() {
    if (!m_job) return;
    m_stoppingForExit = true;
    m_job->Cancel();
}

void CProgressDlg::StopForExitAndWait(int limitMs) {
    StopForExit();
    const QDeadlineTimer deadline(limitMs);
    // The outcome, carried out meanwhile, ends the job and drops it.
    while (m_job && !m_job->Wait(std::chrono::milliseconds(10)) && !deadline.hasExpired())
        QCoreApplication::sendPostedEvents(this);
}

void CProgressDlg::RunOnGuiThread(const std::function<void()>& update) {
    QMetaObject::invokeMethod(
        this,
        [this, &update] {
            if (!m_closing) update();
        },
        Qt::BlockingQueuedConnection);
}

void CProgressDlg::SetStageText(const std::string& text) {
    RunOnGuiThread([this, &text] {
        m_stageEdit->setText(QString::fromStdString(text));
        // Times are shown while blocks go, each stage estimated on its own.
        m_timeEdit->setText(QString());
        m_stageClock.start();
    });
}

void CProgressDlg::SetVersionText(const std::string& text) {
    RunOnGuiThread([this, &text] { m_versionEdit->setText(QString::fromStdString(text)); });
}

void CProgressDlg::SetBarPosition(int position) {
    RunOnGuiThread([this, position] {
        m_progress->SetPos(position);
        ShowTimes();
    });
}

void CProgressDlg::SetBarRange(int minimum, int maximum) {
    RunOnGuiThread([this, minimum, maximum] { m_progress->SetRange32(minimum, maximum); });
}

void CProgressDlg::ShowError(const std::string& text, const std::string& caption) {
    RunOnGuiThread([this, &text, &caption] {
        if (m_stoppingForExit) return;
        const QString explained = ExplainedError(QString::fromStdString(text));
        emit jobFailing(explained);
        ShowMessage(this, explained, MessageIcon::Exclamation, QString::fromStdString(caption));
    });
}

void CProgressDlg::PostOutcome(int commandId) {
    QMetaObject::invokeMethod(
        this,
        [this, commandId] {
            if (!m_closing) OnJobOutcome(commandId);
        },
        Qt::QueuedConnection);
}

void CProgressDlg::OnJobOutcome(int commandId) {
    // The outcome is the worker's last call: its thread is ending, so this
    // wait is short and nothing it waits for runs on this thread.
    WaitForWorker();
    if (m_ended) m_ended(EndedJob{*m_job, m_jobStarted, m_jobClock.elapsed()});
    m_job.reset();
    const bool succeeded = commandId == ID_JOB_SUCCEEDED;
    if (succeeded && !m_stoppingForExit && ++m_step < m_steps.size()) {
        if (!StartNextJob()) done(-1);
        return;
    }
    done(succeeded ? IDOK : IDCANCEL);
}

void CProgressDlg::ShowTimes() {
    const int total = m_progress->GetRange(false) - m_progress->GetRange(true);
    const int done = m_progress->GetPos() - m_progress->GetRange(true);
    if (total <= 0 || done <= 0) return;
    // The blocks so far set the pace of the rest.
    const double stageSeconds = static_cast<double>(m_stageClock.elapsed()) / 1000.0;
    const double left = stageSeconds / done * std::max(total - done, 0);
    m_timeEdit->setText(texts::TimeLine(QString::fromStdString(FormatDuration(m_jobClock.elapsed() / 1000.0)),
                                        QString::fromStdString(FormatDuration(left))));
    emit jobProgress(std::min(done, total) * 100 / total);
}

QString CProgressDlg::ExplainedError(const QString& text) const {
    if (!m_job) return text;
    // The worker waits in ShowError: its outcome holds what went wrong.
    const TransferOutcome& outcome = m_job->Outcome();
    QStringList lines{text};
    if (!outcome.openError.empty()) {
        lines << texts::PortNotOpened(m_portNumber, QString::fromStdString(outcome.openError));
        // A device that is there but not ours to open (a Unix device file
        // of a group the user is not in).
        const QFileInfo device(m_device);
        if (device.exists() && device.filePath().startsWith(QLatin1Char('/')) &&
            !(device.isReadable() && device.isWritable()))
            lines << texts::DialoutHint();
    } else {
        QStringList parts;
        switch (outcome.result) {
            case LINK_OK:
            case JOB_ABORTED: break;
            case JOB_PORT_LOST: parts << QString::fromStdString(StageText(outcome.stage)); break;
            case LINK_WRITE_STATUS_5A: parts << texts::CauseRefused(QStringLiteral("5A")); break;
            case LINK_WRITE_STATUS_2A: parts << texts::CauseRefused(QStringLiteral("2A")); break;
            default:
                parts << (outcome.replyMissing                            ? texts::CauseNoReply()
                          : outcome.stage == TransferStage::Erasing ? texts::CauseEraseNotConfirmed()
                                                                    : texts::CauseDamaged());
                break;
        }
        if (outcome.block) parts << texts::BlockOf(*outcome.block + 1, static_cast<int>(kBlockCount));
        QString line = parts.join(QStringLiteral(", "));
        if (!line.isEmpty()) lines << line.left(1).toUpper() + line.mid(1);
    }
    if (ProgramTouched(m_job->Context().mode, outcome)) lines << texts::ProgramErased();
    return lines.join(QLatin1Char('\n'));
}

bool ProgramTouched(TransferMode mode, const TransferOutcome& outcome) {
    return mode == TransferMode::Write && !outcome.succeeded() &&
           (outcome.stage == TransferStage::Erasing || outcome.stage == TransferStage::Writing);
}

}  // namespace bramis
