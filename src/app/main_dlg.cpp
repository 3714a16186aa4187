#include "main_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "about_dlg.h"
#include "app_icon.h"
#include "app_texts.h"
#include "dialog_controls.h"
#include "help_page.h"
#include "image/profile_store.h"
#include "job_end_alert.h"
#include "journal/journal.h"
#include "journal_dlg.h"
#include "message_box.h"
#include "report/job_report.h"
#include "report/words.h"
#include "resource_ids.h"
#include "station_dlg.h"
#include "link/port_discovery.h"
#include "link/port_discovery_list.h"
#include "link/serial_channel.h"
#include "system_menu.h"
#include "taskbar_progress.h"

namespace bramis {
namespace {

std::string SystemDocumentsFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir::toNativeSeparators(folder).toStdString();
}

// "первый отличающийся блок ...", blocks counted from 1; "" when the
// program read agrees with the file.
QString DifferencesOf(const JobReport& report) {
    if (!report.differences || report.differences->count == 0) return {};
    return texts::Differences(report.differences->firstBlock + 1, report.differences->count,
                              static_cast<int>(kBlockCount));
}

}  // namespace

CMainDlg::CMainDlg(ProfileStore& store, FileChoosers choosers, DocumentsFolderLookup documentsFolder,
                   QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_store(store),
      m_choosers(std::move(choosers)),
      m_files(store, documentsFolder ? std::move(documentsFolder) : DocumentsFolderLookup(SystemDocumentsFolder)),
      m_dlgProgress(this) {
    setObjectName(QStringLiteral("IDD_MAIN"));
    connect(&m_dlgProgress, &CProgressDlg::jobProgress, this, [this](int percent) {
        setWindowTitle(texts::CaptionWithPercent(percent));
        ShowTaskbarProgress(this, percent);
    });
    connect(&m_dlgProgress, &CProgressDlg::jobFailing, this, &CMainDlg::OnJobFailing);
    setWindowTitle(texts::MainCaption());
    setWindowIcon(AppIcon());
    BuildMenu();
    BuildControls();

    m_files.ReadRecentFiles();
    FillFileNameBox();
    m_nPortNumber = m_store.GetInt(kSectionSettings, kValuePortNumber, kDefaultPortNumber);
    m_cbFileName->setEnabled(!StationLocked(m_store));
    if (m_store.GetInt(kSectionSettings, kValueProgramAutoload, 0) != 0)
        LoadImageFile(QString::fromStdString(m_files.RecentFiles().Entries()[0]), false);
}

CMainDlg::~CMainDlg() { m_files.WriteRecentFiles(); }

void CMainDlg::BuildMenu() {
    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("IDR_MAIN_MENU"));
    // The menu belongs to this window on every platform, also where menus
    // usually go to the top of the screen.
    m_menuBar->setNativeMenuBar(false);
    const auto addItem = [this](QMenu* menu, const QString& text, int id) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QStringLiteral("menu_%1").arg(id));
        action->setProperty(kControlIdProperty, id);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return action;
    };

    QMenu* operations = m_menuBar->addMenu(texts::MenuOperations());
    addItem(operations, texts::MenuChooseFile(), ID_OP_CHOOSE_FILE);
    operations->addSeparator();
    addItem(operations, texts::MenuWrite(), ID_OP_WRITE);
    addItem(operations, texts::MenuRead(), ID_OP_READ);
    addItem(operations, texts::MenuCompare(), ID_OP_COMPARE);
    operations->addSeparator();
    addItem(operations, texts::MenuExit(), ID_OP_EXIT);

    QMenu* service = m_menuBar->addMenu(texts::MenuService());
    addItem(service, texts::MenuSettings(), ID_SERVICE_SETTINGS);
    addItem(service, texts::MenuJournal(), ID_SERVICE_JOURNAL);
    addItem(service, texts::MenuStation(), ID_SERVICE_STATION);

    QMenu* help = m_menuBar->addMenu(texts::MenuHelp());
    addItem(help, texts::MenuHelpTopics(), ID_HELP_TOPICS);
    help->addSeparator();
    addItem(help, texts::MenuAbout(), ID_HELP_ABOUT);
}

void CMainDlg::BuildControls() {
    const DialogBaseUnits units = BaseUnitsOf(font());
    const int menuHeight = m_menuBar->sizeHint().height();
    const QSize client = MapDialogSize(units, 230, 114);
    m_menuBar->setGeometry(0, 0, client.width(), menuHeight);

    // Template order, which is also the tab order.
    QPushButton* exitButton =
        AddPushButton(this, texts::ExitButton(), "IDC_EXIT", IDC_EXIT, units, {82, 93, 50, 14}, menuHeight);
    exitButton->setDefault(true);
    QPushButton* writeButton =
        AddPushButton(this, texts::WriteButton(), "IDC_WRITE", IDC_WRITE, units, {7, 40, 89, 18}, menuHeight);
    QPushButton* browseButton =
        AddPushButton(this, texts::BrowseButton(), "IDC_BROWSE", IDC_BROWSE, units, {208, 20, 15, 12}, menuHeight);

    AddStaticText(this, texts::FileNameLabel(), "file_name_label", units, {7, 7, 86, 11}, menuHeight);

    m_cbFileName = new QComboBox(this);
    m_cbFileName->setObjectName(QStringLiteral("IDC_FILE_NAME"));
    m_cbFileName->setProperty(kControlIdProperty, IDC_FILE_NAME);
    m_cbFileName->setEditable(true);
    // Enter in the box reaches the default button instead of adding an item.
    m_cbFileName->setInsertPolicy(QComboBox::NoInsert);
    m_cbFileName->setDuplicatesEnabled(true);
    // The template gives the box 87 units including its 12-unit edit field;
    // the list below it has room for one item per 8 units.
    m_cbFileName->setMaxVisibleItems((87 - 12) / 8);
    PlaceComboBox(m_cbFileName, units, {7, 20, 196, 12}, menuHeight);

    QPushButton* readButton =
        AddPushButton(this, texts::ReadButton(), "IDC_READ", IDC_READ, units, {113, 40, 89, 18}, menuHeight);

    for (QPushButton* button : {exitButton, writeButton, browseButton, readButton}) {
        const int id = button->property(kControlIdProperty).toInt();
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    }

    setFixedSize(client.width(), client.height() + menuHeight);
    exitButton->setFocus();
}

void CMainDlg::OnCommand(int id) {
    if (m_quitRequested) return;
    // A locked station keeps the settings and the file as its supervisor set them.
    const bool changesSetup = id == IDC_BROWSE || id == ID_OP_CHOOSE_FILE || id == ID_SERVICE_SETTINGS;
    if (changesSetup && StationLocked(m_store)) {
        ShowMessage(this, texts::StationLocked(), MessageIcon::Exclamation);
        return;
    }
    switch (id) {
        case IDC_BROWSE:
        case ID_OP_CHOOSE_FILE: ChooseImageFile(); break;
        case IDC_WRITE:
        case ID_OP_WRITE: WriteToDevice(); break;
        case IDC_READ:
        case ID_OP_READ: ReadFromDevice(); break;
        case ID_OP_COMPARE: CompareWithDevice(); break;
        case ID_SERVICE_SETTINGS: OnSettings(); break;
        case ID_SERVICE_JOURNAL: {
            CJournalDlg journal(JournalPath(m_store), m_store, this);
            journal.exec();
            break;
        }
        case ID_SERVICE_STATION: OpenStation(); break;
        case ID_HELP_ABOUT: ShowAbout(); break;
        case IDC_EXIT:
        case ID_OP_EXIT: Exit(); break;
        case ID_HELP_TOPICS: OpenHelpPage(this); break;
        default: break;
    }
    WriteJournal();
    // A request to end that came during the command ends the program now.
    if (m_quitRequested) Exit();
}

void CMainDlg::RequestQuit() {
    m_quitRequested = true;
    m_dlgProgress.StopForExit();
    // Boxes and dialogs in front (a message, the Save dialog, the settings)
    // would wait for a user who is gone; the progress window closes on the
    // job's outcome.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != this && dialog != &m_dlgProgress && dialog->isVisible()) dialog->reject();
    }
    if (!m_dlgProgress.JobRunning()) Exit();
}

void CMainDlg::QuitNow(int limitMs) {
    RequestQuit();
    m_dlgProgress.StopForExitAndWait(limitMs);
}

void CMainDlg::accept() {}

void CMainDlg::reject() {}

void CMainDlg::Exit() { done(IDOK); }

void CMainDlg::closeEvent(QCloseEvent* event) {
    Exit();
    event->accept();
}

void CMainDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_systemMenuReady) {
        m_systemMenuReady = true;
        AppendToSystemMenu(reinterpret_cast<void*>(winId()), texts::SystemMenuAbout().toStdWString().c_str(),
                           IDM_ABOUT);
    }
}

bool CMainDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (IsSystemMenuCommand(message, IDM_ABOUT)) {
        ShowAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

int CMainDlg::LoadImageFile(const QString& path, bool interactive) {
    const FileOutcome outcome = m_files.LoadImageFile(path.toStdString());
    if (outcome.done()) {
        FillFileNameBox();
        m_cbFileName->setCurrentIndex(0);
    } else if (interactive) {
        ShowMessage(this, texts::FileMessage(outcome), MessageIcon::Exclamation);
    }
    return outcome.done() ? IDOK : IDCANCEL;
}

void CMainDlg::ChooseImageFile() {
    const QString path = m_choosers.chooseOpen(this, QString::fromStdString(m_files.GetInitialDirectory()));
    if (path.isEmpty()) return;
    if (LoadImageFile(path, true) == IDOK) ShowMessage(this, texts::FileLoaded());
}

void CMainDlg::SaveImageFile() {
    // A program read for minutes is not lost to a place where it cannot be
    // saved: the Save dialog comes again until it is saved or cancelled.
    while (!m_quitRequested) {
        const QString path = m_choosers.chooseSave(this, QString::fromStdString(m_files.GetInitialDirectory()));
        if (path.isEmpty() || m_quitRequested) return;
        const FileOutcome outcome = m_files.SaveImageFile(path.toStdString());
        if (outcome.done()) {
            FillFileNameBox();
            m_cbFileName->setCurrentIndex(0);
            // The read's journal record names the file it went to.
            if (!m_jobsToJournal.empty()) m_jobsToJournal.back().file = m_cbFileName->currentText();
            return;
        }
        // The data stays in memory; the cause says what to change for the next try.
        ShowMessage(this, texts::FileMessage(outcome) + QStringLiteral("\n\n") + texts::ChooseAnotherPlace(),
                    MessageIcon::Exclamation);
    }
}

void CMainDlg::FillFileNameBox() {
    m_cbFileName->clear();
    m_cbFileName->clearEditText();
    for (const std::string& entry : m_files.RecentFiles().Entries())
        if (!entry.empty()) m_cbFileName->addItem(QString::fromStdString(entry));
    // Filling selects nothing: the edit field stays empty.
    m_cbFileName->setCurrentIndex(-1);
}

RunResult CMainDlg::RunJobs(const std::vector<JobStep>& steps, const QString& file, const std::uint8_t* fileImage) {
    // The "Ports" overrides may have been edited since the last job.
    const std::map<int, std::string> overrides = ReadPortOverrides(m_store);
    m_channel.SetPortOverrides(overrides);
    const QString device = QString::fromStdString(DeviceForPort(EffectivePortNumber(m_nPortNumber), overrides));
    m_failureTold = false;
    RunResult run = m_dlgProgress.RunJobs(m_channel, m_nPortNumber, steps);
    setWindowTitle(texts::MainCaption());
    ClearTaskbarProgress(this);
    m_lastReports.clear();
    for (const StepOutcome& ended : run.ended) {
        EndedJob job;
        job.mode = ended.step.mode;
        job.program = QStringLiteral("bramis-programmer");
        job.portNumber = m_nPortNumber;
        job.device = device;
        job.file = file;
        job.buffer = ended.step.buffer;
        job.fileImage = fileImage;
        job.started = ended.started;
        job.durationMs = ended.durationMs;
        m_lastReports.push_back(ReportJob(job, ended.outcome));
        m_jobsToJournal.push_back(m_lastReports.back().record);
    }
    return run;
}

void CMainDlg::OnJobFailing(const QString& text) {
    m_failureTold = true;
    ShowTaskbarFailure(this);
    AlertJobEnded(this, true, text, EndSound());
}

void CMainDlg::ReportEnd(const QString& text, const QString& caption, bool failed) {
    if (!m_failureTold) AlertJobEnded(this, failed, text, EndSound());
    ShowMessage(this, text, failed ? MessageIcon::Exclamation : MessageIcon::None, caption);
}

bool CMainDlg::EndSound() const { return m_store.GetInt(kSectionSettings, kValueEndSound, 1) != 0; }

void CMainDlg::WriteJournal() {
    if (m_jobsToJournal.empty()) return;
    const QString path = JournalPath(m_store);
    QStringList warnings;
    for (const JournalRecord& record : m_jobsToJournal) {
        const QString warning = AppendJournalRecord(path, record);
        if (!warning.isEmpty() && !warnings.contains(warning)) warnings << warning;
    }
    const JournalRecord last = m_jobsToJournal.back();
    m_jobsToJournal.clear();
    if (m_quitRequested) return;
    QString readWarning;
    if (!last.device.isEmpty() && m_cableRule.ShouldWarn(ReadJournal(path, readWarning), last.device))
        warnings << QString::fromStdString(words::CableWarning(texts::PortItem(last.portNumber).toStdString()));
    if (!warnings.isEmpty()) ShowMessage(this, warnings.join(QStringLiteral("\n\n")), MessageIcon::Exclamation);
}

void CMainDlg::WriteToDevice() {
    // The file is read afresh, with the size check, at every write.
    if (LoadImageFile(m_cbFileName->currentText(), true) != IDOK) return;
    std::vector<JobStep> steps{{m_files.Image().Buffer().data(), TransferMode::Write}};
    // The program read back goes into a buffer of its own.
    std::unique_ptr<std::uint8_t[]> readBack;
    if (m_store.GetInt(kSectionSettings, kValueVerifyAfterWrite, 0) != 0) {
        readBack = std::make_unique<std::uint8_t[]>(kImageBufferSize);
        steps.push_back({readBack.get(), TransferMode::Verify});
    }
    const RunResult run = RunJobs(steps, m_cbFileName->currentText(), m_files.Image().Buffer().data());
    if (m_quitRequested) return;
    if (run.code != IDOK) {
        // A failure's box has said so already; a cancel has said nothing yet:
        // neither of a program it left erased or untouched, nor of one
        // written but not checked.
        if (run.ended.empty() || !run.ended.back().outcome.cancelled()) return;
        const StepOutcome& last = run.ended.back();
        if (last.step.mode == TransferMode::Verify)
            ShowMessage(this, texts::VerifyCancelled(), MessageIcon::Exclamation, texts::WriteCaption());
        else if (last.outcome.failure->programTouched)
            ShowMessage(this, texts::WriteCancelled() + QLatin1Char('\n') + texts::ProgramErased(),
                        MessageIcon::Exclamation, texts::WriteCaption());
        else
            ShowMessage(this, texts::WriteCancelledProgramKept(), MessageIcon::Exclamation, texts::WriteCaption());
        return;
    }
    if (!readBack) {
        ReportEnd(texts::WriteSucceeded(), texts::WriteCaption(), false);
        return;
    }
    const QString differences = DifferencesOf(m_lastReports.back());
    ReportEnd(differences.isEmpty() ? texts::WriteVerified() : texts::WriteNotVerified(differences),
              texts::WriteCaption(), !differences.isEmpty());
}

void CMainDlg::ReadFromDevice() {
    // The image is replaced only by a successful read.
    auto readBuffer = std::make_unique<std::uint8_t[]>(kImageBufferSize);
    if (RunJobs({{readBuffer.get(), TransferMode::Read}}, QString(), nullptr).code != IDOK || m_quitRequested) return;
    ReportEnd(texts::ReadSucceeded(), texts::ReadCaption(), false);
    std::copy_n(readBuffer.get(), kImageSize, m_files.Image().Bytes().begin());
    readBuffer.reset();
    SaveImageFile();
}

void CMainDlg::CompareWithDevice() {
    // The file as it is on disk now; the device's program into a buffer of its own.
    if (LoadImageFile(m_cbFileName->currentText(), true) != IDOK) return;
    auto readBuffer = std::make_unique<std::uint8_t[]>(kImageBufferSize);
    const RunResult run = RunJobs({{readBuffer.get(), TransferMode::Compare}}, m_cbFileName->currentText(),
                                  m_files.Image().Buffer().data());
    if (run.code != IDOK || m_quitRequested) return;
    const QString differences = DifferencesOf(m_lastReports.back());
    ReportEnd(differences.isEmpty() ? texts::DeviceMatchesFile() : texts::DeviceDiffersFromFile(differences),
              texts::CompareCaption(), !differences.isEmpty());
}

void CMainDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

PortDiscovery CMainDlg::Discovery() {
    if (m_discoverPorts) return m_discoverPorts;
    // The overrides are read afresh: they may have been edited meanwhile.
    return [this] { return EnumerateComPortDevices(ReadPortOverrides(m_store)); };
}

void CMainDlg::OpenStation() {
    CStationDlg station(m_store, m_choosers, Discovery(), this);
    if (m_stationReady) m_stationReady(station);
    station.exec();
    m_cbFileName->setEnabled(!StationLocked(m_store));
}

void CMainDlg::OnSettings() {
    CSettingsDlg settings(Discovery(), this);
    settings.SetPortCheck(m_channel.Opener(), JournalPath(m_store));
    settings.m_nPortNumber = m_nPortNumber;
    settings.m_bProgramAutoload = m_store.GetInt(kSectionSettings, kValueProgramAutoload, 0);
    settings.m_bEndSound = m_store.GetInt(kSectionSettings, kValueEndSound, 1);
    settings.m_bVerifyAfterWrite = m_store.GetInt(kSectionSettings, kValueVerifyAfterWrite, 0);
    if (settings.DoModal() != IDOK) return;
    // The port serves the next job at once; the autoload switch is read only
    // at the next start.
    m_nPortNumber = settings.m_nPortNumber;
    m_store.WriteInt(kSectionSettings, kValuePortNumber, m_nPortNumber);
    m_store.WriteInt(kSectionSettings, kValueProgramAutoload, settings.m_bProgramAutoload);
    m_store.WriteInt(kSectionSettings, kValueEndSound, settings.m_bEndSound);
    m_store.WriteInt(kSectionSettings, kValueVerifyAfterWrite, settings.m_bVerifyAfterWrite);
    if (settings.m_portBinding) WritePortOverride(m_store, m_nPortNumber, *settings.m_portBinding);
}

}  // namespace bramis
