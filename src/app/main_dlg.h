// The main window (IDD_MAIN): the file-name box with the recent image files,
// the buttons and menu commands that choose a file, write it to the device
// (checked by reading it back when the settings say so), read the device's
// program back, compare it with the file, and leave, plus help and About. It
// owns the image, the recent-file list, the COM port number and the progress
// window; it tells of each job's end and writes it to the journal.
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "file_choosers.h"
#include "image/image_files.h"
#include "image/profile_store.h"
#include "journal/journal.h"
#include "link/serial_channel.h"
#include "progress_dlg.h"
#include "report/job_report.h"
#include "settings_dlg.h"

class QComboBox;
class QMenuBar;
class QPushButton;

namespace bramis {

class CStationDlg;

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    // Builds the window and reads its settings from `store`: the recent-file
    // list, "PortNumber" (kDefaultPortNumber when absent) and, when
    // "ProgramAutoload" is set, loads the most recent file silently. `store`
    // must outlive the window. GUI thread.
    explicit CMainDlg(ProfileStore& store, FileChoosers choosers = SystemFileChoosers(),
                      DocumentsFolderLookup documentsFolder = {}, QWidget* parent = nullptr);

    // Writes the recent-file list to the store.
    ~CMainDlg() override;

    // Carries out the command `id` of the buttons and the menu (ids of
    // resource_ids.h); ids of no command do nothing. GUI thread.
    void OnCommand(int id);

    // Loads the image file `path`; on success the box shows it, first of the
    // recent files. `interactive`: say why a load failed. Returns 1 when
    // loaded, 2 when not. GUI thread.
    int LoadImageFile(const QString& path, bool interactive);

    // The COM port number of the following jobs. GUI thread.
    std::int32_t PortNumber() const { return m_nPortNumber; }

    // Replaces how the settings window finds the ports present (by default
    // the system's discovery with the stored "Ports" overrides); an empty
    // function restores the default. GUI thread.
    void SetPortDiscovery(PortDiscovery discoverPorts) { m_discoverPorts = std::move(discoverPorts); }

    // Called with the station window each time it opens, before it shows
    // (tests reach its channels this way). GUI thread.
    void SetStationHook(std::function<void(CStationDlg&)> hook) { m_stationReady = std::move(hook); }

    // A request from outside to end the program (a termination signal, the
    // session ending): a running job is cancelled and still sends the device
    // back to its working mode, open dialogs and boxes are closed, and the
    // window ends like Exit once the job is over. GUI thread.
    void RequestQuit();

    // RequestQuit for a session that ends now: returns once the job has
    // ended, or after `limitMs`. GUI thread.
    void QuitNow(int limitMs);

    // The progress window that runs every job, the channel they talk
    // through (the system's ports by default), and the image with its files.
    CProgressDlg& ProgressWindow() { return m_dlgProgress; }
    SerialChannel& Channel() { return m_channel; }
    ImageFiles& Files() { return m_files; }

public slots:
    // OK and Cancel (Enter without any button, Esc) do nothing.
    void accept() override;
    void reject() override;

protected:
    // The close box and Alt+F4 end the program like Exit.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void BuildControls();
    void BuildMenu();
    void ChooseImageFile();
    void WriteToDevice();
    void ReadFromDevice();
    void CompareWithDevice();
    void SaveImageFile();
    void FillFileNameBox();
    void ShowAbout();
    void OnSettings();
    void OpenStation();
    PortDiscovery Discovery();
    void Exit();
    // Runs `steps` in the progress window on the chosen port; the main
    // window's title and taskbar button show their progress meanwhile. Each
    // job that ends is reported (m_lastReports, compared with `fileImage`
    // where it reads for a comparison) and noted for the journal with `file`.
    RunResult RunJobs(const std::vector<JobStep>& steps, const QString& file, const std::uint8_t* fileImage);
    // A failure box of the job is coming: the taskbar and the alert say so.
    void OnJobFailing(const QString& text);
    // Tells of the end of a command's jobs in a box: the alert first, unless
    // a failure box has given it already.
    void ReportEnd(const QString& text, const QString& caption, bool failed);
    // Appends the jobs noted to the journal, then warns of a journal that
    // could not be written and of a cable that wants checking.
    void WriteJournal();
    bool EndSound() const;

    ProfileStore& m_store;
    const FileChoosers m_choosers;
    ImageFiles m_files;  // the image and the recent-file list
    QComboBox* m_cbFileName = nullptr;
    QMenuBar* m_menuBar = nullptr;
    std::int32_t m_nPortNumber = kDefaultPortNumber;
    PortDiscovery m_discoverPorts;  // empty: the system's
    SerialChannel m_channel;
    CProgressDlg m_dlgProgress;
    bool m_systemMenuReady = false;
    bool m_quitRequested = false;  // RequestQuit: end as soon as no job runs
    std::vector<JournalRecord> m_jobsToJournal;  // ended, not yet in the journal
    std::vector<JobReport> m_lastReports;        // of the last run's jobs
    CableRule m_cableRule;
    std::function<void(CStationDlg&)> m_stationReady;
    bool m_failureTold = false;  // a failure box of the last run has come
};

}  // namespace bramis
