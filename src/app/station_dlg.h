// The production station (IDD_STATION), "Участок программирования": one
// image written into the devices of up to sixteen slots at once, each slot on
// a port of its own, with a result per unit, counters per slot and for the
// station kept across restarts, and a journal record of every job. Its
// settings live in the store's "Station" section.
#pragma once

#include <QDialog>
#include <QThreadPool>

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "file_choosers.h"
#include "image/profile_store.h"
#include "link/port_backend.h"
#include "settings_dlg.h"
#include "station_slot.h"

class QCheckBox;
class QPushButton;
class QComboBox;
class QLabel;

namespace bramis {

inline constexpr std::string_view kSectionStation = "Station";
inline constexpr int kStationSlots = 16;

// Whether a supervisor has locked the station: then neither it nor the main
// window's settings and file choice may be changed. The store's thread.
bool StationLocked(const ProfileStore& store);

// Asks for a password in a modal box; nothing when cancelled. GUI thread.
using PasswordPrompt = std::function<std::optional<QString>(QWidget* owner, const QString& prompt)>;

class CStationDlg : public QDialog {
public:
    // Builds the window on the settings of `store`, which must outlive it;
    // `discoverPorts` lists the ports for the slots' boxes. GUI thread.
    CStationDlg(ProfileStore& store, FileChoosers choosers, PortDiscovery discoverPorts, QWidget* parent = nullptr);
    // Ends every slot's run as closing does.
    ~CStationDlg() override;

    // Slot `slot`, 1 to 16.
    CStationSlot& Slot(int slot) { return *m_slots[static_cast<std::size_t>(slot - 1)]; }
    // Replaces how every slot's channel opens its port (tests). GUI thread.
    void SetPortOpener(const PortOpener& opener);
    // Replaces the password box (tests); an empty function restores it. GUI thread.
    void SetPasswordPrompt(PasswordPrompt prompt);
    // Replaces the Save dialog of the shift report (tests); an empty
    // function restores it. GUI thread.
    void SetReportChooser(FileChooser chooser);

    // "Отчёт смены": the PDF of the shift since the counters' reset, where
    // the Save dialog says; a box tells how it went. GUI thread.
    void SaveReport();

    // "Заблокировать участок": a new password, twice, kept as its hash, and
    // the image's SHA-256 pinned; "Разблокировать участок": the password,
    // with a 30 s wait after five wrong ones. GUI thread.
    void Lock();
    void Unlock();

    // As the user's choice in slot `slot`'s port box: binds it to COM `port`
    // (0: no slot) and stores it, unless another slot has that port, which a
    // box then names; true when bound. GUI thread.
    bool SetSlotPort(int slot, int port);
    // Starts slot `slot`'s run, or that of every set slot not running ("Пуск
    // всех", F5); stops them all ("Отменить все"). GUI thread.
    void StartSlot(int slot);
    void StartAll();
    void CancelAll();
    bool AnyRunning() const;
    // Lists the ports anew in every slot's box, each keeping its port; done
    // by itself when adapters come or go. GUI thread.
    void RefreshPorts();
    // Waits until every finished job is in the journal, and its warning shown.
    // GUI thread.
    void FlushJournal();

    // Closing the window, and the end of the program: every slot's job is
    // cancelled and has sent its device back before the window closes.
    void reject() override;

protected:
    // Esc does not close the window: a slip of the hand would stop the line.
    void keyPressEvent(QKeyEvent* event) override;
    // The first time: sized to its slots, in the fonts it shows.
    void showEvent(QShowEvent* event) override;

private:
    void ChooseImage();
    // Makes `path` the station's image when it reads as one; `interactive`:
    // say why not.
    bool UseImage(const QString& path, bool interactive);
    void FillImageBox();
    // The request of `slot`'s run: the image, and the unit's serial number
    // when asked for (checked, and confirmed when the journal has it for this
    // image already). False when no run may start; `interactive`: say why
    // when nothing has been typed yet.
    bool MakeRequest(CStationSlot& slot, SlotRequest& request, bool interactive);
    // Whether the journal has a successful write of `serial` with this image.
    bool SerialWritten(const QString& serial);
    void OnSlotFinished(const SlotRun& run);
    void ShowCounters();
    void ResetCounters();
    // Enables what may be changed, as locked or not.
    void ApplyLock();
    int Counter(int slot, const char* name) const;
    void AddToCounter(int slot, const char* name);

    ProfileStore& m_store;
    const FileChoosers m_choosers;
    const PortDiscovery m_discoverPorts;
    QString m_imageFile;
    QString m_imageSha256;
    QComboBox* m_imageBox = nullptr;
    QLabel* m_imageInfo = nullptr;
    QCheckBox* m_verify = nullptr;
    QCheckBox* m_autoStart = nullptr;
    QCheckBox* m_askSerial = nullptr;
    QPushButton* m_lock = nullptr;
    PasswordPrompt m_prompt;
    FileChooser m_reportChooser;
    QLabel* m_counters = nullptr;
    QLabel* m_warning = nullptr;
    // Appends the finished jobs to the journal one after another.
    QThreadPool m_journalWriter;
    bool m_sized = false;
    std::array<std::unique_ptr<CStationSlot>, kStationSlots> m_slots;
};

}  // namespace bramis
