// The progress window (IDD_PROGRESS) under which transfer jobs run: the
// stage line, the bootloader version line, the labelled progress bar, the
// time elapsed and left, and Cancel. It starts the worker thread, carries out
// the worker's view calls on the GUI thread, puts the job's outcome into a
// second line under each error, and closes only on the outcome of the last
// job, after the worker thread has ended.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "job/transfer_job.h"
#include "job/transfer_view.h"
#include "report/job_estimate.h"
#include "resource_ids.h"

class QLineEdit;
class QPushButton;
class QThread;

namespace bramis {

class CLabeledProgressCtrl;

// One job of a run in the progress window: what it does, and its buffer
// (kImageSize bytes to write, or room for kImageBufferSize bytes to read into).
struct JobStep {
    std::uint8_t* buffer = nullptr;
    TransferMode mode = TransferMode::Read;
};

// A job of a run that has ended, its thread too.
struct StepOutcome {
    JobStep step;
    TransferOutcome outcome;
    QDateTime started;
    qint64 durationMs = 0;
};

// How a run ended: IDOK when every job succeeded, IDCANCEL when one failed or
// was cancelled, -1 when no worker thread could be started (a message box has
// then said so); and the jobs that ended, in their order.
struct RunResult {
    int code = IDOK;
    std::vector<StepOutcome> ended;
};

class CProgressDlg : public QDialog, public TransferView {
    Q_OBJECT
public:
    // Starts `body` on a new thread; returns the running thread, or null when
    // no thread could be created.
    using WorkerLauncher = std::function<std::unique_ptr<QThread>(std::function<void()> body)>;

    // Builds the window in its template layout; nothing is shown. GUI thread.
    explicit CProgressDlg(QWidget* parent = nullptr);

    // Requests the stop of a job still running and waits for its thread.
    ~CProgressDlg() override;

    // Runs `steps` one after the other on `channel`, COM `portNumber`, in
    // one showing of the window, stopping after the first that does not
    // succeed. Each job starts with both lines cleared and the bar at 0 of
    // 368; the time line and the share done run over the whole run. The
    // window stays modal until the last job's outcome has arrived and its
    // thread has ended. The buffers must stay valid and untouched until then.
    // GUI thread; never while another job runs.
    RunResult RunJobs(SerialChannel& channel, std::int32_t portNumber, const std::vector<JobStep>& steps);

    // The job being run; null between jobs. GUI thread.
    const TransferJob* RunningJob() const { return m_job.get(); }

    // True while a job's worker thread runs. GUI thread.
    bool JobRunning() const { return m_job != nullptr; }

    // Requests the stop of a running job for the end of the program: the job
    // still sends the device back to its working mode, but shows no more
    // error boxes and starts no further job. RunJobs returns as after Cancel. GUI thread.
    void StopForExit();

    // StopForExit, then waits up to `limitMs` for the worker to end, carrying
    // out its view calls meanwhile (the session is ending and the process
    // will be ended soon after). RunJobs returns later, on the outcome. GUI thread.
    void StopForExitAndWait(int limitMs);

    // Replaces how the worker thread is started (a QThread with the
    // platform's stack size by default; an empty function restores it).
    // GUI thread, between jobs.
    void SetWorkerLauncher(WorkerLauncher launcher);

    // TransferView, called by the worker thread: each call returns once the
    // GUI thread has carried it out; ShowFailure once its box has been closed.
    void SetStage(TransferStage stage) override;
    void SetLoaderVersion(LoaderVersion version) override;
    void SetBarPosition(int position) override;
    void SetBarRange(int minimum, int maximum) override;
    void ShowFailure(const TransferFailure& failure) override;
    void PostOutcome(int commandId) override;

signals:
    // The share of the whole run done, 0..100, at its start and as its blocks go.
    void jobProgress(int percent);
    // An error box of the job is about to be shown, with `text`.
    void jobFailing(const QString& text);

public slots:
    // OK and Enter without a focused button: ignored; the window closes only
    // on the job's outcome.
    void accept() override;
    // Cancel, Esc and the window manager's close: request the stop only.
    void reject() override;

protected:
    // Draws the dialog frame, which the window manager does not give a window
    // without a title bar, and the bar's border.
    void paintEvent(QPaintEvent* event) override;

private:
    // Runs `update` on the GUI thread and waits until it is done. Worker thread.
    void RunOnGuiThread(const std::function<void()>& update);
    // Starts the next step; false when its worker could not start (said so).
    bool StartNextJob();
    void OnJobOutcome(int commandId);
    void WaitForWorker();
    void ShowTimes();
    double Seconds() const { return static_cast<double>(m_runClock.elapsed()) / 1000.0; }

    QLineEdit* m_versionEdit = nullptr;
    CLabeledProgressCtrl* m_progress = nullptr;
    QLineEdit* m_stageEdit = nullptr;
    QLineEdit* m_timeEdit = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::unique_ptr<TransferJob> m_job;
    WorkerLauncher m_launcher;
    // The run: its channel, port and steps, the step running, the jobs ended.
    SerialChannel* m_channel = nullptr;
    std::int32_t m_portNumber = 0;
    std::vector<JobStep> m_steps;
    std::size_t m_step = 0;
    RunResult m_result;
    // When the job began and its clock; the run's clock and time line.
    QDateTime m_jobStarted;
    QElapsedTimer m_jobClock;
    QElapsedTimer m_runClock;
    std::unique_ptr<JobEstimate> m_estimate;
    // Set while the window is being destroyed: late worker calls are dropped.
    bool m_closing = false;
    // Set by StopForExit: the worker's error boxes are not shown.
    bool m_stoppingForExit = false;
};

}  // namespace bramis
