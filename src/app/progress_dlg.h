// The progress window (IDD_PROGRESS) under which one transfer job runs: the
// stage line, the bootloader version line, the labelled progress bar and
// Cancel. It starts the worker thread, carries out the worker's view calls on
// the GUI thread, and closes only on the job's outcome, after the worker
// thread has ended.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>

#include "job/transfer_job.h"
#include "job/transfer_view.h"

class QLineEdit;
class QPushButton;
class QThread;

namespace bramis {

class CLabeledProgressCtrl;

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

    // Runs one job on `channel`: clears both lines, sets the bar to 0 of 368,
    // starts the worker and shows the window modally until the worker's
    // outcome has arrived and its thread has ended. `imageBuffer`
    // must stay valid and untouched until then (kImageSize bytes to write, or
    // room for kImageBufferSize bytes to read into). Returns IDOK when the job
    // succeeded, IDCANCEL when it failed or was cancelled, and -1 when no
    // worker thread could be started (a message box has then said so).
    // GUI thread; never while another job runs.
    int RunJob(SerialChannel& channel, std::int32_t portNumber, std::uint8_t* imageBuffer, TransferMode mode);

    // The job being run; null between jobs. GUI thread.
    const TransferJob* RunningJob() const { return m_job.get(); }

    // True while a job's worker thread runs. GUI thread.
    bool JobRunning() const { return m_job != nullptr; }

    // Requests the stop of a running job for the end of the program: the job
    // still sends the device back to its working mode, but shows no more
    // error boxes. RunJob returns as after Cancel. GUI thread.
    void StopForExit();

    // StopForExit, then waits up to `limitMs` for the worker to end, carrying
    // out its view calls meanwhile (the session is ending and the process
    // will be ended soon after). RunJob returns later, on the outcome. GUI thread.
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
    void OnJobOutcome(int commandId);
    void WaitForWorker();

    QLineEdit* m_versionEdit = nullptr;
    CLabeledProgressCtrl* m_progress = nullptr;
    QLineEdit* m_stageEdit = nullptr;
    QPushButton* m_cancelButton = nullptr;
    std::unique_ptr<TransferJob> m_job;
    WorkerLauncher m_launcher;
    // Set while the window is being destroyed: late worker calls are dropped.
    bool m_closing = false;
    // Set by StopForExit: the worker's error boxes are not shown.
    bool m_stoppingForExit = false;
};

}  // namespace bramis
