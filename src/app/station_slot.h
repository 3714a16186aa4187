// One slot of the production station: a port, the channel to it and the jobs
// that write the station's image into the device there (checked by reading
// it back when asked), with its row of controls: the port box, the bar, the
// stage, the times, the result with its cause, its counters, Start and
// Cancel. Each slot's jobs run on a thread of their own, beside the others.
#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "job/transfer_job.h"
#include "job/transfer_view.h"
#include "journal/journal.h"
#include "link/port_discovery.h"
#include "link/serial_channel.h"
#include "report/job_estimate.h"
#include "report/job_report.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace bramis {

class CLabeledProgressCtrl;

// What one unit's run in a slot came to, for the counters.
enum class SlotVerdict {
    Good,
    Bad,
    NotCounted,  // cancelled, or refused before any job ran
};

// A unit's run that has ended: its verdict and one journal record per job.
struct SlotRun {
    int slot = 0;
    SlotVerdict verdict = SlotVerdict::NotCounted;
    std::vector<JournalRecord> records;
};

// What a unit's run does.
struct SlotRequest {
    QString file;  // the image file, read afresh for the run
    bool verify = false;
    QString serial;
    // While the station is locked: the SHA-256 the file must still have.
    QString pinnedSha256;
    std::map<int, std::string> portOverrides;  // the "Ports" section as it is now
};

class CStationSlot : public QObject, public TransferView {
public:
    // Slot `slot` (1 to 16), its controls in row `row` of `grid` on `parent`,
    // with no port. GUI thread.
    CStationSlot(int slot, QGridLayout& grid, int row, QWidget& parent);
    // Cancels a run still going and waits for it; its outcome is dropped.
    ~CStationSlot() override;

    int Number() const { return m_slot; }
    // The slot's COM number; 0 when the slot is not set.
    int PortNumber() const { return m_port; }
    bool Running() const { return m_job != nullptr; }
    SerialChannel& Channel() { return m_channel; }

    // What the user asks for in the port box (a COM number, 0 for none);
    // the station decides and calls SetPort, with the old port on refusal.
    std::function<void(int slot, int port)> onPortChosen;
    std::function<void(int slot)> onStartClicked;
    // A run has ended: its verdict and records.
    std::function<void(const SlotRun& run)> onFinished;

    // Lists `ports` in the port box; the slot's own port stays chosen, marked
    // when it is absent. GUI thread.
    void FillPorts(const std::vector<FoundPort>& ports);
    // Binds the slot to COM `port` (0: no slot) and chooses it in the box;
    // not while running. GUI thread.
    void SetPort(int port);

    // Starts a unit's run: the file is read with the size check, then written
    // (and read back). False when nothing started: no port, a run going on,
    // or the file refused, which the slot then shows as "Брак" with the
    // file's message, counted as no unit. GUI thread.
    bool Start(const SlotRequest& request);
    // Asks the run's job to stop; the device is still sent back. An armed
    // slot stays unarmed until Start or autostart is switched on again. GUI thread.
    void Cancel();

    // Autostart: the slot arms itself, a write that repeats the enter
    // request until a device answers, with onAutoRequest's request. After
    // each unit a device that answers again is sent straight back ("Снимите
    // прибор"); only once the line has been silent for two seconds (or the
    // port gone) is the slot armed again. An absent port is tried each second
    // until it appears. Off: an armed slot whose device has not answered
    // stops. GUI thread.
    void SetAutoStart(bool on);
    // Fills the request of an armed run; false when none can be made now.
    std::function<bool(SlotRequest& request)> onAutoRequest;
    // Cancel for the end of the station: no further step starts. GUI thread.
    void StopForExit();
    // StopForExit, then returns once the run's job has ended (the device sent
    // back) and onFinished has been called. GUI thread.
    void StopAndWait();

    void ShowCounters(int good, int bad);

    // The unit's serial number as typed or scanned (Enter in the field asks
    // for the slot's start, as Start does); the field shows only when the
    // station asks for numbers. A run that starts with a number clears it.
    QString Serial() const;
    void ShowSerialField(bool shown);
    // A locked station: the port cannot be changed.
    void LockPort(bool locked);
    void FocusSerial();

    // TransferView, called by the worker thread: each call returns once the
    // GUI thread has carried it out.
    void SetStage(TransferStage stage) override;
    void SetLoaderVersion(LoaderVersion version) override;
    void SetBarPosition(int position) override;
    void SetBarRange(int minimum, int maximum) override;
    void ShowFailure(const TransferFailure& failure) override;
    void PostOutcome(int commandId) override;

private:
    struct Step {
        std::uint8_t* buffer = nullptr;
        TransferMode mode = TransferMode::Write;
    };
    enum class Shade { Neutral, Good, Bad };

    void RunOnGuiThread(const std::function<void()>& update);
    bool StartStep();
    void OnJobOutcome();
    // Ends the run after its last job, which ended with `last`.
    void Finish(const TransferOutcome& last);
    void WaitForWorker();
    // Autostart: starts a run that waits for the next device.
    void Arm();
    // Autostart: checks whether the line is silent (a version job with a
    // two-second limit), or tries an absent port again after `delayMs`.
    void Probe(int delayMs);
    void OnProbeOutcome(const TransferOutcome& outcome);
    void ShowResult(const QString& result, Shade shade, const QString& cause);
    void ShowTimes();
    void UpdateControls();
    // The cause under the result: two lines of it, the whole as its tooltip.
    void ShowCause(const QString& cause);
    double Seconds() const { return static_cast<double>(m_runClock.elapsed()) / 1000.0; }

    const int m_slot;
    int m_port = 0;
    std::vector<FoundPort> m_ports;
    SerialChannel m_channel;

    QComboBox* m_portBox = nullptr;
    QLineEdit* m_serial = nullptr;
    CLabeledProgressCtrl* m_progress = nullptr;
    QLabel* m_stage = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_result = nullptr;
    QLabel* m_cause = nullptr;
    QLabel* m_counters = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;

    // The run: its request, image, read-back room, steps and reports.
    SlotRequest m_request;
    QString m_device;
    std::vector<std::uint8_t> m_image;
    std::vector<std::uint8_t> m_readBack;
    std::vector<Step> m_steps;
    std::size_t m_step = 0;
    std::vector<JobReport> m_reports;
    std::unique_ptr<TransferJob> m_job;
    QDateTime m_jobStarted;
    QElapsedTimer m_jobClock;
    QElapsedTimer m_runClock;
    std::unique_ptr<JobEstimate> m_estimate;
    bool m_stopping = false;  // the station is ending: no further step
    bool m_portLocked = false;
    // Autostart: on; the slot arms itself (not after the user's Cancel); the
    // running job is a probe; the line has been silent since the last unit.
    bool m_autoStart = false;
    bool m_arming = false;
    bool m_probing = false;
    bool m_lineSilent = false;
    bool m_runArmed = false;        // the run was started by autostart
    bool m_deviceAnswered = false;  // the run's device entered programming mode
    QTimer m_probeTimer;
    bool m_closing = false;   // being destroyed: late worker calls are dropped
};

}  // namespace bramis
