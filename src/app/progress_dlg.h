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

// A job of a run that has ended, its thread too: when it began and how long
// it took.
struct EndedJob {
    const TransferJob& job;
    QDateTime started;
    qint64 durationMs = 0;
};

// True when a write that did not succeed got as far as the erase: the
// device's program is then erased or incomplete. Any thread.
bool ProgramTouched(TransferMode mode, const TransferOutcome& outcome);

class CProgressDlg : public QDialog, public TransferView {
    Q_OBJECT
public:
    // Starts `body` on a new thread; returns the running thread, or null when
    // no thread could be created.
    using WorkerLauncher = std::function<std::unique_ptr<QThread>(std::function<void()> body)>;
    // Called on the GUI thread after each job of a run, before the next begins.
    using JobEndedHandler = std::function<void(const EndedJob& ended)>;

    // Builds the window in its template layout; nothing is shown. GUI thread.
    explicit CProgressDlg(QWidget* parent = nullptr);

    // Requests the stop of a job still running and waits for its thread.
    ~CProgressDlg() override;

    // Runs `steps` one after the other on `channel`, COM `portNumber`
    // (opening `device`, "" when unknown), in one showing of the window,
    // stopping after the first that does not succeed. Each job starts clean:
    // both lines and the time line cleared, the bar at 0 of 368. The window
    // stays modal until the last job's outcome has arrived and its thread has
    // ended; `ended` hears of each job. The buffers must stay valid and
    // untouched until then. Returns IDOK when every job succeeded, IDCANCEL
    // when one failed or was cancelled, and -1 when no worker thread could be
    // started (a message box has then said so). GUI thread; never while
    // another job runs.
    int RunJobs(SerialChannel& channel, std::int32_t portNumber, const QString& device,
                const std::vector<JobStep>& steps, JobEndedHandler ended = {});

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
    // GUI thread has carried it out; ShowError once its box has been closed.
    void SetStageText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void SetBarPosition(int position) override;
    void SetBarRange(int minimum, int maximum) override;
    void ShowError(const std::string& text, const std::string& caption) override;
    void PostOutcome(int commandId) override;

signals:
    // The share of the job done, 0..100, at its start and as its blocks go.
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
    // The error `text` with the job's outcome put into words under it.
    QString ExplainedError(const QString& text) const;
    void ShowTimes();

    QLineEdit* m_versionEdit = nullptr;
    CLabeledProgressCtrl* m_progress = nullptr;
    QLineEdit* m_stageEdit = nullptr;
    QLineEdit* m_timeEdit = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::unique_ptr<TransferJob> m_job;
    WorkerLauncher m_launcher;
    // The run: its channel, port and steps, the step running, who hears of ends.
    SerialChannel* m_channel = nullptr;
    std::int32_t m_portNumber = 0;
    QString m_device;
    std::vector<JobStep> m_steps;
    std::size_t m_step = 0;
    JobEndedHandler m_ended;
    // When the job began, and its clock; the clock of its current stage,
    // from which the time left is estimated.
    QDateTime m_jobStarted;
    QElapsedTimer m_jobClock;
    QElapsedTimer m_stageClock;
    // Set while the window is being destroyed: late worker calls are dropped.
    bool m_closing = false;
    // Set by StopForExit: the worker's error boxes are not shown.
    bool m_stoppingForExit = false;
};

}  // namespace bramis
