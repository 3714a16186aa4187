#include "station_slot.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <span>

#include "app_texts.h"
#include "worker_calls.h"
#include "controls/labeled_progress_ctrl.h"
#include "link/device_memory.h"
#include "report/words.h"

namespace bramis {
namespace {

// How long a line must stay silent after a unit before the next device's
// answer starts a job; how often an absent port is tried, and a device that
// is still on the line asked again.
constexpr std::int64_t kSilenceMs = 2000;
constexpr int kAbsentRetryMs = 1000;
constexpr int kProbePauseMs = 500;
// The cause's width, in average characters: two lines of it show, the whole
// is its tooltip.
constexpr int kCauseChars = 34;
// Room for the stage beside the time line, in average characters.
constexpr int kStageChars = 22;

// `text`'s first line, and its other lines joined on the second, each cut
// to `width` pixels in `metrics`.
QString TwoLines(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 2) lines = {lines.front(), lines.mid(1).join(QStringLiteral(" · "))};
    for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideRight, width);
    return lines.join(QLatin1Char('\n'));
}

template <typename T>
T* Named(T* widget, int slot, const char* role) {
    widget->setObjectName(QStringLiteral("slot%1_%2").arg(slot).arg(QLatin1String(role)));
    return widget;
}

}  // namespace

CStationSlot::CStationSlot(int slot, QGridLayout& grid, int row, QWidget& parent) : m_slot(slot) {
    // Two lines a slot: the port, "Пуск", the bar, the result and the cause;
    // under them the counters, "Отмена", the stage and the time. The widths
    // are set from the start, so that no text of a running slot makes the
    // window grow, and sixteen slots fit a screen 1024 pixels wide.
    const int top = 2 * row;
    const int bottom = top + 1;
    grid.addWidget(Named(new QLabel(texts::SlotName(slot), &parent), slot, "name"), top, 0, 2, 1);
    m_portBox = Named(new QComboBox(&parent), slot, "port");
    m_portBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    grid.addWidget(m_portBox, top, 1);
    m_counters = Named(new QLabel(&parent), slot, "counters");
    grid.addWidget(m_counters, bottom, 1);
    m_serial = Named(new QLineEdit(&parent), slot, "serial");
    m_serial->setPlaceholderText(texts::SerialHint());
    m_serial->hide();
    grid.addWidget(m_serial, top, 2, 2, 1);
    QObject::connect(m_serial, &QLineEdit::returnPressed, this, [this] {
        if (onStartClicked) onStartClicked(m_slot);
    });
    m_start = Named(new QPushButton(texts::StartButton(), &parent), slot, "start");
    m_cancel = Named(new QPushButton(texts::CancelButton(), &parent), slot, "cancel");
    for (QPushButton* button : {m_start, m_cancel}) {
        // Enter belongs to the serial field, never to a slot's button.
        button->setAutoDefault(false);
        grid.addWidget(button, button == m_start ? top : bottom, 3);
    }
    m_progress = Named(new CLabeledProgressCtrl(&parent), slot, "progress");
    grid.addWidget(m_progress, top, 4);
    auto* stageRow = new QHBoxLayout;
    m_stage = Named(new QLabel(&parent), slot, "stage");
    // The longest stage is cut rather than widening the slot; the whole is its tooltip.
    m_stage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stageRow->addWidget(m_stage, 1);
    m_time = Named(new QLabel(&parent), slot, "time");
    stageRow->addWidget(m_time);
    grid.addLayout(stageRow, bottom, 4);
    const QFontMetrics small = m_time->fontMetrics();
    m_progress->setMinimumWidth(small.horizontalAdvance(texts::TimeLine(QStringLiteral("00:00"), QStringLiteral("00:00"))) +
                                small.averageCharWidth() * kStageChars);
    m_result = Named(new QLabel(&parent), slot, "result");
    QFont large = m_result->font();
    large.setBold(true);
    if (large.pointSizeF() > 0) large.setPointSizeF(large.pointSizeF() * 1.6);
    m_result->setFont(large);
    // "Снимите прибор" on two lines: as wide as the widest one-word result.
    m_result->setWordWrap(true);
    m_result->setMinimumWidth(m_result->fontMetrics().horizontalAdvance(texts::ResultWaiting()));
    grid.addWidget(m_result, top, 5, 2, 1);
    m_cause = Named(new QLabel(&parent), slot, "cause");
    m_cause->setFixedWidth(small.averageCharWidth() * kCauseChars);
    grid.addWidget(m_cause, top, 6, 2, 1);
    QObject::connect(m_start, &QPushButton::clicked, this, [this] {
        if (onStartClicked) onStartClicked(m_slot);
    });
    QObject::connect(m_cancel, &QPushButton::clicked, this, [this] { Cancel(); });
    QObject::connect(m_portBox, &QComboBox::activated, this, [this](int index) {
        if (onPortChosen) onPortChosen(m_slot, m_portBox->itemData(index).toInt());
    });
    m_probeTimer.setSingleShot(true);
    QObject::connect(&m_probeTimer, &QTimer::timeout, this, [this] {
        if (!m_autoStart || !m_arming || m_job || m_port == 0) return;
        m_probing = true;
        m_readBack.assign(kImageBufferSize, 0);
        m_job = std::make_unique<TransferJob>(m_channel, *this, m_port, m_readBack.data(), TransferMode::Identify,
                                              kSilenceMs);
        m_job->SetSleepBlocker(JobSleepBlocker());
        if (!m_job->Start()) {
            m_job.reset();
            m_probing = false;
            ShowResult(texts::ResultBad(), Shade::Bad, texts::WorkerNotStarted());
        }
        UpdateControls();
    });
    FillPorts({});
}

CStationSlot::~CStationSlot() {
    m_closing = true;
    if (m_job) {
        m_job->Cancel();
        WaitForWorker();
    }
}

void CStationSlot::FillPorts(const std::vector<FoundPort>& ports) {
    m_ports = ports;
    const QSignalBlocker quiet(m_portBox);
    m_portBox->clear();
    m_portBox->addItem(texts::NoSlotItem(), 0);
    bool listed = m_port == 0;
    for (const FoundPort& port : ports) {
        m_portBox->addItem(texts::PortWithAdapter(port.number, QString::fromStdString(port.description)), port.number);
        m_portBox->setItemData(m_portBox->count() - 1, QString::fromStdString(port.device), Qt::ToolTipRole);
        listed = listed || port.number == m_port;
    }
    if (!listed) m_portBox->addItem(texts::AbsentPortItem(m_port), m_port);
    m_portBox->setCurrentIndex(m_portBox->findData(m_port));
    UpdateControls();
}

void CStationSlot::SetPort(int port) {
    m_port = port;
    FillPorts(m_ports);
    if (port == 0) {
        ShowResult(QString(), Shade::Neutral, QString());
        m_counters->clear();
    } else if (m_result->text().isEmpty()) {
        ShowResult(texts::ResultWaiting(), Shade::Neutral, QString());
    }
}

void CStationSlot::UpdateControls() {
    const bool running = Running();
    m_portBox->setEnabled(!running && !m_portLocked);
    m_start->setEnabled(!running && m_port != 0);
    m_cancel->setEnabled(running);
}

void CStationSlot::ShowResult(const QString& result, Shade shade, const QString& cause) {
    m_result->setText(result);
    QPalette palette = m_result->palette();
    palette.setColor(QPalette::WindowText, shade == Shade::Good  ? QColor(0, 128, 0)
                                           : shade == Shade::Bad ? QColor(192, 0, 0)
                                                                 : m_cause->palette().color(QPalette::WindowText));
    m_result->setPalette(palette);
    ShowCause(cause);
}

void CStationSlot::ShowCause(const QString& cause) {
    m_cause->setText(TwoLines(cause, m_cause->fontMetrics(), m_cause->width()));
    m_cause->setToolTip(cause);
}

QString CStationSlot::Serial() const { return m_serial->text(); }

void CStationSlot::ShowSerialField(bool shown) { m_serial->setVisible(shown); }

void CStationSlot::LockPort(bool locked) {
    m_portLocked = locked;
    UpdateControls();
}

void CStationSlot::FocusSerial() { m_serial->setFocus(); }

void CStationSlot::ShowCounters(int good, int bad) { m_counters->setText(texts::SlotCounters(good, bad)); }

bool CStationSlot::Start(const SlotRequest& request) {
    if (m_port == 0 || m_job) return false;
    m_probeTimer.stop();
    m_request = request;
    m_stopping = false;
    m_arming = m_autoStart;
    m_runArmed = m_autoStart;
    m_deviceAnswered = false;
    m_reports.clear();
    m_stage->clear();
    m_time->clear();
    m_progress->SetPos(0);
    // The file as it is on disk now, for this unit.
    m_image.assign(kImageSize, 0);
    const FileOutcome loaded =
        ReadImageFile(request.file.toStdString(), std::span<std::uint8_t, kImageSize>(m_image.data(), kImageSize));
    const bool changed = loaded.done() && !request.pinnedSha256.isEmpty() &&
                         Sha256Hex(m_image.data(), m_image.size()) != request.pinnedSha256;
    if (!loaded.done() || changed) {
        // Armed again only by the user: a file that is wrong now stays wrong.
        m_arming = false;
        ShowResult(texts::ResultBad(), Shade::Bad,
                   changed ? texts::ImageChangedWhileLocked() : texts::FileMessage(loaded));
        return false;
    }
    m_steps = {{m_image.data(), TransferMode::Write}};
    if (request.verify) {
        m_readBack.assign(kImageBufferSize, 0);
        m_steps.push_back({m_readBack.data(), TransferMode::Verify});
    }
    m_channel.SetPortOverrides(request.portOverrides);
    m_device = QString::fromStdString(DeviceForPort(EffectivePortNumber(m_port), request.portOverrides));
    m_step = 0;
    m_runClock.start();
    m_estimate = std::make_unique<JobEstimate>(static_cast<int>(m_steps.size()), Seconds());
    // Until a device answers.
    ShowResult(texts::ResultWaiting(), Shade::Neutral, QString());
    if (StartStep()) {
        // The number is this unit's; the next is typed or scanned meanwhile.
        if (!request.serial.isEmpty()) m_serial->clear();
        return true;
    }
    m_arming = false;
    ShowResult(texts::ResultBad(), Shade::Bad, texts::WorkerNotStarted());
    return false;
}

bool CStationSlot::StartStep() {
    const Step& step = m_steps[m_step];
    m_progress->SetRange32(0, static_cast<int>(kBlockCount));
    m_progress->SetPos(0);
    m_job = std::make_unique<TransferJob>(m_channel, *this, m_port, step.buffer, step.mode);
    m_job->SetSleepBlocker(JobSleepBlocker());
    m_jobStarted = QDateTime::currentDateTime();
    m_jobClock.start();
    if (!m_job->Start()) m_job.reset();
    UpdateControls();
    return m_job != nullptr;
}

void CStationSlot::Cancel() {
    m_arming = false;
    m_probeTimer.stop();
    if (m_job) m_job->Cancel();
}

void CStationSlot::SetAutoStart(bool on) {
    m_autoStart = on;
    m_arming = on;
    if (on) {
        m_lineSilent = false;
        if (!m_job) Arm();
        return;
    }
    m_probeTimer.stop();
    // A device being written is finished; a wait for one ends.
    if (m_job && (m_probing || !m_deviceAnswered)) m_job->Cancel();
}

void CStationSlot::Arm() {
    if (!m_autoStart || !m_arming || m_job || m_port == 0) return;
    SlotRequest request;
    if (!onAutoRequest || !onAutoRequest(request)) {
        // Waits for the serial number, or the image; Enter in the field starts.
        ShowResult(texts::ResultWaiting(), Shade::Neutral, m_cause->text());
        return;
    }
    m_lineSilent = false;
    Start(request);
}

void CStationSlot::Probe(int delayMs) { m_probeTimer.start(delayMs); }

void CStationSlot::OnProbeOutcome(const TransferOutcome& outcome) {
    if (m_stopping || !m_autoStart || !m_arming) return;
    if (outcome.programmingEntered) {
        // Answered, and sent straight back: the unit just done, unless the
        // line was silent before it came.
        if (m_lineSilent) {
            Arm();
            return;
        }
        ShowResult(texts::ResultRemoveDevice(), Shade::Neutral, m_cause->text());
        Probe(kProbePauseMs);
        return;
    }
    if (outcome.failure && outcome.failure->kind == FailureKind::EntryTimedOut) {
        Arm();
        return;
    }
    // No port, or a line that has gone: silent, and tried again.
    m_lineSilent = true;
    if (outcome.failure && outcome.failure->kind == FailureKind::PortNotOpened)
        ShowResult(texts::ResultWaiting(), Shade::Neutral, texts::FailureText(*outcome.failure, m_port));
    Probe(kAbsentRetryMs);
}

void CStationSlot::StopForExit() {
    // No probe and no arming after the end either.
    m_stopping = true;
    m_arming = false;
    m_probeTimer.stop();
    if (m_job) m_job->Cancel();
}

void CStationSlot::StopAndWait() {
    StopForExit();
    // The outcome, carried out meanwhile, ends the run and drops the job.
    while (m_job) {
        m_job->Wait(std::chrono::milliseconds(10));
        QCoreApplication::sendPostedEvents(this);
    }
}

void CStationSlot::WaitForWorker() { WaitServingCalls(this, *m_job); }

void CStationSlot::RunOnGuiThread(const std::function<void()>& update) {
    RunOnWindowThread(this, m_closing, update);
}

void CStationSlot::SetStage(TransferStage stage) {
    RunOnGuiThread([this, stage] {
        if (m_probing) return;
        if (!m_deviceAnswered && stage != TransferStage::OpeningPort && stage != TransferStage::EnteringProgramming) {
            m_deviceAnswered = true;
            m_result->clear();
        }
        const QString text = QString::fromStdString(words::StageText(stage));
        m_stage->setText(text);
        m_stage->setToolTip(text);
        if (BlocksMoveIn(stage)) m_estimate->BlocksBegin(Seconds());
    });
}

void CStationSlot::SetLoaderVersion(LoaderVersion) {}

void CStationSlot::SetBarPosition(int position) {
    RunOnGuiThread([this, position] {
        if (m_probing) return;
        m_progress->SetPos(position);
        ShowTimes();
    });
}

void CStationSlot::SetBarRange(int minimum, int maximum) {
    RunOnGuiThread([this, minimum, maximum] {
        if (!m_probing) m_progress->SetRange32(minimum, maximum);
    });
}

void CStationSlot::ShowFailure(const TransferFailure& failure) {
    // No box: the other slots go on. The cause shows at once; the result
    // follows once the device has been sent back.
    RunOnGuiThread([this, &failure] {
        if (m_probing) return;
        ShowCause(texts::FailureText(failure, m_port));
    });
}

void CStationSlot::PostOutcome(int) {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_closing) OnJobOutcome();
        },
        Qt::QueuedConnection);
}

void CStationSlot::ShowTimes() {
    m_estimate->BlocksDone(m_progress->GetPos() - m_progress->GetRange(true), Seconds());
    if (const QString line = texts::EstimateLine(*m_estimate, Seconds()); !line.isEmpty()) m_time->setText(line);
}

void CStationSlot::OnJobOutcome() {
    // The outcome is the worker's last call: its thread is ending.
    WaitForWorker();
    if (m_probing) {
        const TransferOutcome outcome = m_job->Outcome();
        m_job.reset();
        m_probing = false;
        UpdateControls();
        OnProbeOutcome(outcome);
        return;
    }
    const Step& step = m_steps[m_step];
    EndedJob ended;
    ended.mode = step.mode;
    ended.program = QStringLiteral("bramis-programmer");
    ended.portNumber = m_port;
    ended.device = m_device;
    ended.file = m_request.file;
    ended.buffer = step.buffer;
    ended.fileImage = m_image.data();
    ended.started = m_jobStarted;
    ended.durationMs = m_jobClock.elapsed();
    ended.slot = m_slot;
    ended.serial = m_request.serial;
    const TransferOutcome outcome = m_job->Outcome();
    m_reports.push_back(ReportJob(ended, outcome));
    m_job.reset();
    if (outcome.succeeded() && !m_stopping && ++m_step < m_steps.size()) {
        if (StartStep()) return;
        // The write went, its check could not start: the unit is not known good.
        UpdateControls();
        ShowResult(texts::ResultBad(), Shade::Bad, texts::WorkerNotStarted());
        SlotRun run{m_slot, SlotVerdict::NotCounted, {}};
        for (const JobReport& report : m_reports) run.records.push_back(report.record);
        if (onFinished) onFinished(run);
        return;
    }
    Finish(outcome);
}

void CStationSlot::Finish(const TransferOutcome& last) {
    UpdateControls();
    // Nothing is left to wait for: the time line keeps only the run's length,
    // and the stage goes (the cause names where a failure came).
    if (m_deviceAnswered) m_time->setText(texts::ElapsedLine(QString::fromStdString(words::Duration(Seconds()))));
    m_stage->clear();
    m_stage->setToolTip(QString());
    SlotRun run{m_slot, SlotVerdict::Bad, {}};
    for (const JobReport& report : m_reports) run.records.push_back(report.record);
    const bool verified = m_steps.back().mode == TransferMode::Verify;
    if (last.succeeded()) {
        const std::optional<BlockDifferences>& differences = m_reports.back().differences;
        if (differences && differences->count > 0) {
            ShowResult(texts::ResultBad(), Shade::Bad,
                       texts::WriteNotVerified(texts::Differences(differences->firstBlock + 1, differences->count,
                                                                  static_cast<int>(kBlockCount))));
        } else {
            run.verdict = SlotVerdict::Good;
            ShowResult(texts::ResultGood(), Shade::Good, verified ? texts::WriteVerified() : texts::WriteSucceeded());
        }
    } else if (last.failure->kind == FailureKind::PortNotOpened) {
        // No unit was there to judge: the slot waits.
        run.verdict = SlotVerdict::NotCounted;
        ShowResult(texts::ResultWaiting(), Shade::Neutral, texts::FailureText(*last.failure, m_port));
    } else if (last.cancelled()) {
        // A cancel is no unit's verdict; the slot says what became of the program.
        run.verdict = SlotVerdict::NotCounted;
        if (m_reports.back().record.job == JournalJob::Verify)
            ShowResult(texts::ResultBad(), Shade::Bad, texts::VerifyCancelled());
        else if (last.failure->programTouched)
            ShowResult(texts::ResultBad(), Shade::Bad, texts::WriteCancelled() + QLatin1Char(' ') + texts::ProgramErased());
        else
            ShowResult(texts::ResultWaiting(), Shade::Neutral, texts::WriteCancelledProgramKept());
    } else {
        ShowResult(texts::ResultBad(), Shade::Bad, texts::FailureText(*last.failure, m_port));
    }
    // A wait for a device that the user or the end stopped is no job to record.
    if (m_runArmed && last.cancelled() && !last.programmingEntered) run.records.clear();
    if (onFinished) onFinished(run);
    if (!m_autoStart || !m_arming || m_stopping) return;
    const bool portGone = last.failure && (last.failure->kind == FailureKind::PortNotOpened ||
                                           last.failure->kind == FailureKind::PortLost);
    m_lineSilent = portGone;
    Probe(portGone ? kAbsentRetryMs : 0);
}

}  // namespace bramis
