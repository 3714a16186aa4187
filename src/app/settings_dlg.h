// The settings window (IDD_SETTINGS): the COM port of the following jobs,
// chosen among the ports present on the machine, and the switch that loads the
// most recent program file again at the next start.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

#include "link/port_discovery.h"

class QCheckBox;
class QComboBox;

namespace bramis {

// Finds the ports present, in the order the system gives them, each with the
// device it opens ("" when not known). Called on the GUI thread each time the
// settings window opens.
using PortDiscovery = std::function<std::vector<FoundPort>()>;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the window in its template layout; nothing is discovered or shown
    // yet. `discoverPorts` fills the port list at each DoModal. GUI thread.
    explicit CSettingsDlg(PortDiscovery discoverPorts, QWidget* parent = nullptr);

    // Fills the port list from a fresh discovery, selecting the item of
    // m_nPortNumber (see FillPortList), sets the check box
    // from m_bProgramAutoload and runs the window modally. Returns IDOK after
    // OK, which has updated both members, or IDCANCEL after Cancel, Esc or the
    // close box, which change nothing. GUI thread.
    int DoModal();

    // On entry the port to select; after OK the port chosen, -1 when none.
    std::int32_t m_nPortNumber = -1;
    // On entry non-zero ticks the box; after OK 1 when ticked, else 0.
    int m_bProgramAutoload = 0;
    // The same for the sound at the end of a job, and for reading each write
    // back to check it.
    int m_bEndSound = 1;
    int m_bVerifyAfterWrite = 0;

public slots:
    // Finds the ports afresh and rebuilds the list, keeping the chosen port
    // (shown as not plugged in when it has gone). Runs by itself when ports
    // come and go while the window is open.
    void RefreshPorts();

    // OK and Enter: takes the chosen port and the box's state into the members
    // and ends the window with IDOK.
    void accept() override;
    // Cancel, Esc and the close box: ends the window with IDCANCEL.
    void reject() override;

private:
    void OnInitDialog();
    // Fills the list from a fresh discovery and selects `portToSelect`: its
    // item, or one that says it is not plugged in when it is a COM number
    // (1..255) not found; nothing otherwise.
    void FillPortList(int portToSelect);
    void ShowChosenDevice();
    // The place where the list, kept in text order, takes an item `text`.
    int SortedPlaceOf(const QString& text) const;

    const PortDiscovery m_discoverPorts;
    QComboBox* m_portCombo = nullptr;
    QCheckBox* m_autoloadCheck = nullptr;
    QCheckBox* m_soundCheck = nullptr;
    QCheckBox* m_verifyCheck = nullptr;
};

}  // namespace bramis
