#include "progress_dlg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <qdrawutil.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "app_texts.h"
#include "link/device_memory.h"
#include "report/job_report.h"
#include "report/words.h"
#include "dialog_controls.h"
#include "controls/labeled_progress_ctrl.h"
#include "message_box.h"
#include "worker_calls.h"
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

void CProgressDlg::WaitForWorker() { WaitServingCalls(this, *m_job); }

void CProgressDlg::SetWorkerLauncher(WorkerLauncher launcher) {
    m_launcher = launcher ? std::move(launcher) : WorkerLauncher(LaunchQThread);
}

RunResult CProgressDlg::RunJobs(SerialChannel& channel, std::int32_t portNumber, const std::vector<JobStep>& steps) {
    m_stoppingForExit = false;
    m_channel = &channel;
    m_portNumber = portNumber;
    m_steps = steps;
    m_step = 0;
    m_result = {};
    if (m_steps.empty()) return m_result;
    // Every step but the version's moves every block.
    const auto blockSteps = std::count_if(steps.begin(), steps.end(),
                                          [](const JobStep& step) { return step.mode != TransferMode::Identify; });
    m_runClock.start();
    m_estimate = std::make_unique<JobEstimate>(static_cast<int>(blockSteps), Seconds());
    m_timeEdit->setText(QString());
    if (!StartNextJob()) {
        m_result.code = -1;
        return m_result;
    }
    m_result.code = exec();
    return std::move(m_result);
}

bool CProgressDlg::StartNextJob() {
    // Every job starts clean, whatever the previous one left; the time line
    // runs on over the whole run.
    m_stageEdit->setText(QString());
    m_versionEdit->setText(QString());
    m_progress->SetPos(0);
    m_progress->SetRange32(0, static_cast<int>(kBlockCount));
    m_cancelButton->setFocus();

    const JobStep& step = m_steps[m_step];
    m_job = std::make_unique<TransferJob>(*m_channel, *this, m_portNumber, step.buffer, step.mode);
    m_job->SetSleepBlocker(JobSleepBlocker());
    m_jobStarted = QDateTime::currentDateTime();
    m_jobClock.start();
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
    emit jobProgress(m_estimate->Percent());
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
    RunOnWindowThread(this, m_closing, update);
}

void CProgressDlg::SetStage(TransferStage stage) {
    RunOnGuiThread([this, stage] {
        m_stageEdit->setText(QString::fromStdString(words::StageText(stage)));
        if (BlocksMoveIn(stage)) m_estimate->BlocksBegin(Seconds());
    });
}

void CProgressDlg::SetLoaderVersion(LoaderVersion version) {
    RunOnGuiThread([this, version] { m_versionEdit->setText(QString::fromStdString(words::VersionLine(version))); });
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

void CProgressDlg::ShowFailure(const TransferFailure& failure) {
    RunOnGuiThread([this, &failure] {
        if (m_stoppingForExit) return;
        const QString text = texts::FailureText(failure, m_portNumber);
        emit jobFailing(text);
        ShowMessage(this, text, MessageIcon::Exclamation, texts::FailureCaption(failure));
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
    m_result.ended.push_back({m_steps[m_step], m_job->Outcome(), m_jobStarted, m_jobClock.elapsed()});
    m_job.reset();
    const bool succeeded = commandId == ID_JOB_SUCCEEDED;
    if (succeeded && !m_stoppingForExit && ++m_step < m_steps.size()) {
        if (!StartNextJob()) done(-1);
        return;
    }
    done(succeeded ? IDOK : IDCANCEL);
}

void CProgressDlg::ShowTimes() {
    m_estimate->BlocksDone(m_progress->GetPos() - m_progress->GetRange(true), Seconds());
    const QString line = texts::EstimateLine(*m_estimate, Seconds());
    if (line.isEmpty()) return;
    m_timeEdit->setText(line);
    emit jobProgress(m_estimate->Percent());
}

}  // namespace bramis
