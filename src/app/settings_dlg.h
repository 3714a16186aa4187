// The settings window (IDD_SETTINGS): the COM port of the following jobs,
// chosen among the ports present on the machine or found by asking each for
// the device, the check of the port chosen, the binding of a COM number to an
// adapter's stable name or to a USB socket, and the switch that loads the most
// recent program file again at the next start.
#pragma once

#include <QDialog>
#include <QList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "job/device_finder.h"
#include "link/port_backend.h"
#include "link/port_discovery.h"
#include "report/port_doctor.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace bramis {

// Finds the ports present, in the order the system gives them, each with the
// device it opens ("" when not known). Called on the GUI thread each time the
// settings window opens.
using PortDiscovery = std::function<std::vector<FoundPort>()>;

// Tries `ports` in turn until a device answers, telling `progress` the index
// of each port tried and stopping when `cancel` is set; FindDevice by default.
// Runs on the settings window's search thread.
using DeviceFinder = std::function<FindResult(const std::vector<FoundPort>& ports, const std::atomic<bool>& cancel,
                                              const std::function<void(std::size_t index)>& progress)>;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the window in its template layout; nothing is discovered or shown
    // yet. `discoverPorts` fills the port list at each DoModal. GUI thread.
    explicit CSettingsDlg(PortDiscovery discoverPorts, QWidget* parent = nullptr);
    // Stops a search or a check still running and waits for it.
    ~CSettingsDlg() override;

    // Replaces how "Найти прибор" asks the ports; an empty function restores
    // FindDevice. GUI thread, while no search runs.
    void SetDeviceFinder(DeviceFinder findDevice);

    // How "Проверить подключение" checks the chosen port (CheckPortHealth):
    // its device question opens the port through `opener` (empty: the
    // port's device itself), and the retries are those of the journal at
    // `journalPath`. GUI thread, while no check runs.
    void SetPortCheck(PortOpener opener, QString journalPath);

    // Fills the port list from a fresh discovery, selecting the item of
    // m_nPortNumber (see FillPortList), sets the check boxes from
    // m_bProgramAutoload and m_bEndSound and runs the window modally. Returns
    // IDOK after OK, which has updated the members below, or IDCANCEL after
    // Cancel, Esc or the close box, which change nothing. GUI thread.
    int DoModal();

    // On entry the port to select; after OK the port chosen, -1 when none.
    std::int32_t m_nPortNumber = -1;
    // On entry non-zero ticks the box; after OK 1 when ticked, else 0.
    int m_bProgramAutoload = 0;
    // The same for the sound at the end of a job, and for reading each write
    // back to check it.
    int m_bEndSound = 1;
    int m_bVerifyAfterWrite = 0;
    // After OK: the "Ports" override the chosen number is to have: the
    // adapter's stable path or its socket's path to bind the number to it, ""
    // to end the binding; nothing when it stays as it is.
    std::optional<std::string> m_portBinding;

public slots:
    // Finds the ports afresh and rebuilds the list, keeping the chosen port
    // (shown as not plugged in when it has gone). Runs by itself when ports
    // come and go while the window is open.
    void RefreshPorts();

    // OK and Enter: takes the chosen port, the boxes' states and the binding
    // into the members and ends the window with IDOK.
    void accept() override;
    // Cancel, Esc and the close box: ends the window with IDCANCEL.
    void reject() override;
    // Every way the window ends: a search or a check still running is stopped first.
    void done(int result) override;

private:
    void OnInitDialog();
    // Fills the list from a fresh discovery and selects `portToSelect`: its
    // item, or one that says it is not plugged in when it is a COM number
    // (1..255) not found; nothing otherwise.
    void FillPortList(int portToSelect);
    // Sizes the closed list to its longest item and the window to the list.
    void FitPortBox();
    // The chosen port's text and device in the tooltip, and whether its number can be,
    // and is, bound to its adapter or its USB socket.
    void ShowChosenDevice();
    // The binding row's hint and name for what it binds to now.
    void ShowBindingTarget();
    // Shows or hides the binding row; the rows below it move up into its place.
    void ShowBindingRow(bool shown);
    // "Найти прибор": starts a search over the ports listed on a thread of
    // its own; while it runs, the button stops it.
    void OnFindDevice();
    // The search's end, told on the GUI thread: selects the port whose
    // device answered, or says that none did or that it was stopped.
    void OnSearchEnded(const FindResult& result);
    // Cancels a search still running and waits for it to end.
    void StopSearch();
    // "Проверить подключение": checks the chosen port on a thread of its
    // own, the button disabled while it runs.
    void OnCheckPort();
    // The check's end, told on the GUI thread: lists what check `run` found
    // on COM `portNumber`.
    void OnCheckEnded(int run, int portNumber, const std::vector<DoctorEntry>& entries);
    // Cancels a check still running and waits for it to end.
    void StopCheck();
    // "Найти прибор" and "Проверить подключение" as far as the other is not
    // running, the check only with a port chosen.
    void EnableSearchAndCheck();
    // The place where the list, kept in text order, takes an item `text`.
    int SortedPlaceOf(const QString& text) const;

    const PortDiscovery m_discoverPorts;
    DeviceFinder m_findDevice;
    std::vector<FoundPort> m_ports;  // as last discovered
    QComboBox* m_portCombo = nullptr;
    QCheckBox* m_autoloadCheck = nullptr;
    QCheckBox* m_soundCheck = nullptr;
    QCheckBox* m_verifyCheck = nullptr;
    QCheckBox* m_bindCheck = nullptr;
    QComboBox* m_bindTarget = nullptr;  // what the number is bound to: the adapter or its USB socket
    QString m_bindingShownFor;        // the port and the names the binding row shows
    QList<QWidget*> m_belowBinding;   // what moves up when the binding row is hidden
    int m_bindingRowHeight = 0;       // pixels
    // The window's and the closed list's widths as laid out, and the buttons
    // kept in the middle with their places then, all for a list that needs
    // no more room; pixels.
    int m_narrowWidth = 0;
    int m_portFieldWidth = 0;
    std::vector<std::pair<QWidget*, int>> m_centred;
    QPushButton* m_findButton = nullptr;
    QLabel* m_findNote = nullptr;     // what the search does, then how it went
    std::thread m_search;
    std::atomic<bool> m_cancelSearch{false};
    QPushButton* m_checkButton = nullptr;
    QListWidget* m_checkList = nullptr;  // hidden until the first check
    int m_checkListHeight = 0;           // pixels, with the gap below it
    int m_checkListWidth = 0;            // pixels, for the narrow window
    PortOpener m_checkOpener;
    QString m_journalPath;
    std::thread m_check;
    std::atomic<bool> m_cancelCheck{false};
    int m_checkRun = 0;  // which check's end the window waits for
};

}  // namespace bramis
