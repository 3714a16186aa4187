#include "progress_dlg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <qdrawutil.h>

#include <chrono>
#include <memory>

#include "app_texts.h"
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

    // Template order, which is also the tab order.
    m_cancelButton = AddPushButton(this, texts::CancelButton(), "IDCANCEL", IDCANCEL, units, {68, 59, 50, 14});
    connect(m_cancelButton, &QPushButton::clicked, this, &CProgressDlg::reject);

    m_progress = new CLabeledProgressCtrl(this);
    m_progress->setObjectName(QStringLiteral("IDC_JOB_PROGRESS"));
    m_progress->setProperty(kControlIdProperty, IDC_JOB_PROGRESS);
    PlaceInDialogUnits(m_progress, units, {7, 40, 172, 12});

    m_stageEdit = AddTextLine(this, "IDC_STAGE_TEXT", IDC_STAGE_TEXT, units, {7, 7, 172, 12});
    m_versionEdit = AddTextLine(this, "IDC_VERSION_TEXT", IDC_VERSION_TEXT, units, {7, 23, 172, 12});

    setFixedSize(MapDialogSize(units, 186, 80));
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
    m_job.reset();
}

void CProgressDlg::SetWorkerLauncher(WorkerLauncher launcher) {
    m_launcher = launcher ? std::move(launcher) : WorkerLauncher(LaunchQThread);
}

int CProgressDlg::RunJob(SerialChannel& channel, std::int32_t portNumber, std::uint8_t* imageBuffer,
                         TransferMode mode) {
    m_stoppingForExit = false;

    // Every job starts clean, whatever the previous one left.
    m_stageEdit->setText(QString());
    m_versionEdit->setText(QString());
    m_progress->SetPos(0);
    m_progress->SetRange32(0, static_cast<int>(kBlockCount));
    m_cancelButton->setFocus();

    m_job = std::make_unique<TransferJob>(channel, *this, portNumber, imageBuffer, mode);
    const bool started = m_job->Start([this](std::function<void()> body) -> WorkerWait {
        std::shared_ptr<QThread> thread = m_launcher(std::move(body));
        if (!thread) return {};
        return [thread](std::chrono::milliseconds timeout) { return thread->wait(QDeadlineTimer(timeout)); };
    });
    if (!started) {
        m_job.reset();
        ShowMessage(parentWidget(), texts::WorkerNotStarted(), MessageIcon::Exclamation);
        return -1;
    }
    return exec();
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
    RunOnGuiThread([this, &text] { m_stageEdit->setText(QString::fromStdString(text)); });
}

void CProgressDlg::SetVersionText(const std::string& text) {
    RunOnGuiThread([this, &text] { m_versionEdit->setText(QString::fromStdString(text)); });
}

void CProgressDlg::SetBarPosition(int position) {
    RunOnGuiThread([this, position] { m_progress->SetPos(position); });
}

void CProgressDlg::SetBarRange(int minimum, int maximum) {
    RunOnGuiThread([this, minimum, maximum] { m_progress->SetRange32(minimum, maximum); });
}

void CProgressDlg::ShowError(const std::string& text, const std::string& caption) {
    RunOnGuiThread([this, &text, &caption] {
        if (m_stoppingForExit) return;
        ShowMessage(this, QString::fromStdString(text), MessageIcon::Exclamation, QString::fromStdString(caption));
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
    done(commandId == ID_JOB_SUCCEEDED ? IDOK : IDCANCEL);
}

}  // namespace bramis
