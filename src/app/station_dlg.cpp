#include "station_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <span>
#include <string>

#include "app_icon.h"
#include "app_texts.h"
#include "image/image_file.h"
#include "image/recent_file_list.h"
#include "journal/journal.h"
#include "message_box.h"
#include "password_hash.h"
#include "port_watch.h"
#include "shift_report.h"
#include "resource_ids.h"

namespace bramis {
namespace {

constexpr const char* kValueImageFile = "ImageFile";
constexpr const char* kValueVerify = "Verify";
constexpr const char* kValueAutoStart = "AutoStart";
constexpr const char* kValueAskSerial = "AskSerial";
constexpr const char* kValuePasswordHash = "PasswordHash";
constexpr const char* kValuePinnedSha256 = "PinnedSha256";
constexpr const char* kValueWrongTries = "WrongPasswords";
constexpr const char* kValueUnlockAfter = "UnlockAfter";
// Wrong passwords in a row before the next try waits, and how long.
constexpr int kWrongTries = 5;
constexpr int kUnlockWaitSeconds = 30;
// The longest serial number, in characters.
constexpr int kLongestSerial = 64;
constexpr const char* kValueCountersReset = "CountersReset";
constexpr const char* kGood = "Good";
constexpr const char* kBad = "Bad";

std::string SlotValue(int slot) { return "Slot" + std::to_string(slot); }

// The counter `name` of slot `slot`, or of the whole station for slot 0.
std::string CounterValue(int slot, const char* name) {
    return slot == 0 ? std::string(name) : SlotValue(slot) + name;
}

std::optional<QString> AskPassword(QWidget* owner, const QString& prompt) {
    bool ok = false;
    const QString password =
        QInputDialog::getText(owner, texts::StationCaption(), prompt, QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return password;
}

QString ChooseReportFile(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner, texts::ShiftReportButton(), folder, texts::ShiftReportFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QPushButton* AddButton(QWidget* parent, QLayout* layout, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    layout->addWidget(button);
    return button;
}

}  // namespace

bool StationLocked(const ProfileStore& store) {
    return !store.GetString(kSectionStation, kValuePasswordHash, "").empty();
}

CStationDlg::CStationDlg(ProfileStore& store, FileChoosers choosers, PortDiscovery discoverPorts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_store(store),
      m_choosers(std::move(choosers)),
      m_discoverPorts(std::move(discoverPorts)),
      m_prompt(AskPassword),
      m_reportChooser(ChooseReportFile) {
    setObjectName(QStringLiteral("IDD_STATION"));
    setWindowTitle(texts::StationCaption());
    setWindowIcon(AppIcon());
    auto* layout = new QVBoxLayout(this);

    auto* imageRow = new QHBoxLayout;
    imageRow->addWidget(new QLabel(texts::StationImageLabel(), this));
    m_imageBox = new QComboBox(this);
    m_imageBox->setObjectName(QStringLiteral("station_file"));
    m_imageBox->setMinimumWidth(320);
    imageRow->addWidget(m_imageBox, 1);
    AddButton(this, imageRow, texts::BrowseButton(), "station_browse")->setMaximumWidth(32);
    m_imageInfo = new QLabel(this);
    m_imageInfo->setObjectName(QStringLiteral("station_image_info"));
    m_imageInfo->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copySha = new QAction(texts::CopySha256(), m_imageInfo);
    copySha->setObjectName(QStringLiteral("station_copy_sha"));
    m_imageInfo->addAction(copySha);
    connect(copySha, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(m_imageInfo->toolTip()); });
    imageRow->addWidget(m_imageInfo);
    layout->addLayout(imageRow);

    auto* commandRow = new QHBoxLayout;
    QPushButton* startAll = AddButton(this, commandRow, texts::StartAllButton(), "station_start_all");
    startAll->setShortcut(QKeySequence(Qt::Key_F5));
    QPushButton* cancelAll = AddButton(this, commandRow, texts::CancelAllButton(), "station_cancel_all");
    m_verify = new QCheckBox(texts::VerifyAfterWriteLabel(), this);
    m_verify->setObjectName(QStringLiteral("station_verify"));
    m_verify->setChecked(m_store.GetInt(kSectionStation, kValueVerify, 0) != 0);
    commandRow->addWidget(m_verify);
    m_autoStart = new QCheckBox(texts::AutoStartLabel(), this);
    m_autoStart->setObjectName(QStringLiteral("station_autostart"));
    m_autoStart->setChecked(m_store.GetInt(kSectionStation, kValueAutoStart, 0) != 0);
    commandRow->addWidget(m_autoStart);
    m_askSerial = new QCheckBox(texts::AskSerialLabel(), this);
    m_askSerial->setObjectName(QStringLiteral("station_ask_serial"));
    m_askSerial->setChecked(m_store.GetInt(kSectionStation, kValueAskSerial, 0) != 0);
    commandRow->addWidget(m_askSerial);
    commandRow->addStretch(1);
    layout->addLayout(commandRow);
    // The counters and the supervisor's buttons on a row of their own: the
    // window fits a screen 1024 pixels wide.
    auto* counterRow = new QHBoxLayout;
    m_counters = new QLabel(this);
    m_counters->setObjectName(QStringLiteral("station_counters"));
    counterRow->addWidget(m_counters);
    counterRow->addStretch(1);
    QPushButton* reset = AddButton(this, counterRow, texts::ResetCountersButton(), "station_reset");
    QPushButton* report = AddButton(this, counterRow, texts::ShiftReportButton(), "station_report");
    m_lock = AddButton(this, counterRow, texts::LockButton(), "station_lock");
    layout->addLayout(counterRow);

    m_warning = new QLabel(this);
    m_warning->setObjectName(QStringLiteral("station_warning"));
    m_warning->setWordWrap(true);
    QPalette warningPalette = m_warning->palette();
    warningPalette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    m_warning->setPalette(warningPalette);
    layout->addWidget(m_warning);

    // The slots scroll: sixteen of them fit no small screen.
    auto* slotArea = new QScrollArea(this);
    slotArea->setObjectName(QStringLiteral("station_slots"));
    slotArea->setWidgetResizable(true);
    slotArea->setFrameShape(QFrame::NoFrame);
    auto* slotPanel = new QWidget(slotArea);
    auto* grid = new QGridLayout(slotPanel);
    grid->setColumnStretch(4, 1);  // the bars take what is left
    const std::vector<FoundPort> ports = m_discoverPorts ? m_discoverPorts() : std::vector<FoundPort>{};
    for (int slot = 1; slot <= kStationSlots; ++slot) {
        auto& made = m_slots[static_cast<std::size_t>(slot - 1)];
        made = std::make_unique<CStationSlot>(slot, *grid, slot - 1, *slotPanel);
        made->onPortChosen = [this](int chosen, int port) { SetSlotPort(chosen, port); };
        made->onStartClicked = [this](int clicked) { StartSlot(clicked); };
        made->onFinished = [this](const SlotRun& run) { OnSlotFinished(run); };
        made->onAutoRequest = [this, armed = made.get()](SlotRequest& request) {
            return MakeRequest(*armed, request, false);
        };
        made->ShowSerialField(m_askSerial->isChecked());
        made->FillPorts(ports);
        // A stored number out of range is no slot.
        const int port = m_store.GetInt(kSectionStation, SlotValue(slot), 0);
        if (port >= kLowestPortNumber && port <= kHighestPortNumber) made->SetPort(port);
    }
    grid->setRowStretch(2 * kStationSlots, 1);
    slotArea->setWidget(slotPanel);
    layout->addWidget(slotArea, 1);

    connect(findChild<QPushButton*>(QStringLiteral("station_browse")), &QPushButton::clicked, this,
            &CStationDlg::ChooseImage);
    connect(m_imageBox, &QComboBox::activated, this,
            [this](int index) { UseImage(m_imageBox->itemText(index), true); });
    connect(startAll, &QPushButton::clicked, this, &CStationDlg::StartAll);
    connect(cancelAll, &QPushButton::clicked, this, &CStationDlg::CancelAll);
    connect(reset, &QPushButton::clicked, this, &CStationDlg::ResetCounters);
    connect(report, &QPushButton::clicked, this, &CStationDlg::SaveReport);
    connect(m_lock, &QPushButton::clicked, this, [this] { StationLocked(m_store) ? Unlock() : Lock(); });
    connect(m_verify, &QCheckBox::toggled, this,
            [this](bool on) { m_store.WriteInt(kSectionStation, kValueVerify, on ? 1 : 0); });
    connect(m_askSerial, &QCheckBox::toggled, this, [this](bool on) {
        m_store.WriteInt(kSectionStation, kValueAskSerial, on ? 1 : 0);
        for (auto& slot : m_slots) slot->ShowSerialField(on);
    });
    connect(m_autoStart, &QCheckBox::toggled, this, [this](bool on) {
        m_store.WriteInt(kSectionStation, kValueAutoStart, on ? 1 : 0);
        for (auto& slot : m_slots) slot->SetAutoStart(on);
    });

    if (m_store.GetString(kSectionStation, kValueCountersReset, "").empty())
        m_store.WriteString(kSectionStation, kValueCountersReset,
                            QDateTime::currentDateTime().toString(Qt::ISODate).toStdString());
    ShowCounters();
    UseImage(QString::fromStdString(m_store.GetString(kSectionStation, kValueImageFile, "")), false);
    FillImageBox();
    ApplyLock();
    // The slots arm themselves once the window runs.
    if (m_autoStart->isChecked()) {
        QTimer::singleShot(0, this, [this] {
            for (auto& slot : m_slots) slot->SetAutoStart(m_autoStart->isChecked());
        });
    }
    WatchPortChanges(this, [this] { RefreshPorts(); });
    m_journalWriter.setMaxThreadCount(1);
    m_journalWriter.setExpiryTimeout(-1);
}

void CStationDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_sized) return;
    m_sized = true;
    // Wide enough for a slot's line, high enough for eight, within the screen.
    auto* slotArea = findChild<QScrollArea*>(QStringLiteral("station_slots"));
    QWidget* slotPanel = slotArea->widget();
    const QMargins margins = layout()->contentsMargins();
    const QSize wanted(slotPanel->sizeHint().width() + slotArea->verticalScrollBar()->sizeHint().width() +
                           margins.left() + margins.right(),
                       height() - slotArea->height() + slotPanel->sizeHint().height() / 2);
    const QScreen* shown = screen();
    resize(shown ? wanted.boundedTo(shown->availableGeometry().size()) : wanted);
}

void CStationDlg::RefreshPorts() {
    const std::vector<FoundPort> ports = m_discoverPorts ? m_discoverPorts() : std::vector<FoundPort>{};
    for (auto& slot : m_slots) slot->FillPorts(ports);
}

CStationDlg::~CStationDlg() {
    for (auto& slot : m_slots) slot->StopForExit();
    for (auto& slot : m_slots) slot->StopAndWait();
    m_journalWriter.waitForDone();
}

void CStationDlg::SetPortOpener(const PortOpener& opener) {
    for (auto& slot : m_slots) slot->Channel().SetPortOpener(opener);
}

void CStationDlg::SetPasswordPrompt(PasswordPrompt prompt) {
    m_prompt = prompt ? std::move(prompt) : PasswordPrompt(AskPassword);
}

void CStationDlg::SetReportChooser(FileChooser chooser) {
    m_reportChooser = chooser ? std::move(chooser) : FileChooser(ChooseReportFile);
}

void CStationDlg::SaveReport() {
    const QString path = m_reportChooser(this, QString());
    if (path.isEmpty()) return;
    FlushJournal();
    ShiftReport report;
    report.imageFile = m_imageFile;
    report.imageSha256 = m_imageSha256;
    report.since = QDateTime::fromString(
        QString::fromStdString(m_store.GetString(kSectionStation, kValueCountersReset, "")), Qt::ISODate);
    report.until = QDateTime::currentDateTime();
    for (const auto& slot : m_slots) {
        if (slot->PortNumber() != 0)
            report.slotTallies.push_back({slot->Number(), slot->PortNumber(), Counter(slot->Number(), kGood),
                                    Counter(slot->Number(), kBad)});
    }
    report.station = {0, 0, Counter(0, kGood), Counter(0, kBad)};
    QString journalWarning;
    report.units = ShiftUnits(ReadJournal(JournalPath(m_store), journalWarning), report.since);
    const QString reason = SaveShiftReport(path, report);
    QString text = reason.isEmpty() ? texts::ShiftReportSaved(QDir::toNativeSeparators(path))
                                    : texts::ShiftReportNotSaved(QDir::toNativeSeparators(path), reason);
    if (!journalWarning.isEmpty()) text += QStringLiteral("\n\n") + journalWarning;
    ShowMessage(this, text, reason.isEmpty() && journalWarning.isEmpty() ? MessageIcon::None : MessageIcon::Exclamation);
}

bool CStationDlg::SetSlotPort(int slot, int port) {
    CStationSlot& chosen = Slot(slot);
    if (chosen.Running() || StationLocked(m_store)) return false;
    for (const auto& other : m_slots) {
        if (port != 0 && other.get() != &chosen && other->PortNumber() == port) {
            ShowMessage(this, texts::PortInOtherSlot(port, other->Number()), MessageIcon::Exclamation);
            chosen.SetPort(chosen.PortNumber());
            return false;
        }
    }
    chosen.SetPort(port);
    if (m_autoStart->isChecked()) chosen.SetAutoStart(true);
    if (port == 0)
        m_store.Remove(kSectionStation, SlotValue(slot));
    else
        m_store.WriteInt(kSectionStation, SlotValue(slot), port);
    ShowCounters();
    return true;
}

bool CStationDlg::MakeRequest(CStationSlot& slot, SlotRequest& request, bool interactive) {
    if (m_imageFile.isEmpty()) {
        if (interactive) ShowMessage(this, texts::NoStationImage(), MessageIcon::Exclamation);
        return false;
    }
    if (m_askSerial->isChecked()) {
        // A scanner may add blanks around the number.
        const QString serial = slot.Serial().trimmed();
        if (serial.isEmpty()) {
            if (interactive) ShowMessage(this, texts::SerialNeeded(slot.Number()), MessageIcon::Exclamation);
            slot.FocusSerial();
            return false;
        }
        if (std::any_of(serial.begin(), serial.end(), [](QChar c) { return c.category() == QChar::Other_Control; })) {
            ShowMessage(this, texts::SerialHasControlCharacters(), MessageIcon::Exclamation);
            return false;
        }
        if (serial.toUcs4().size() > kLongestSerial) {
            ShowMessage(this, texts::SerialTooLong(kLongestSerial), MessageIcon::Exclamation);
            return false;
        }
        if (SerialWritten(serial) && !AskYesNo(this, texts::SerialAlreadyWritten(serial))) return false;
        request.serial = serial;
    }
    request.file = m_imageFile;
    request.pinnedSha256 = QString::fromStdString(m_store.GetString(kSectionStation, kValuePinnedSha256, ""));
    request.verify = m_verify->isChecked();
    // The overrides may have been edited since the last job.
    request.portOverrides = ReadPortOverrides(m_store);
    return true;
}

void CStationDlg::StartSlot(int slot) {
    CStationSlot& started = Slot(slot);
    if (started.PortNumber() == 0 || started.Running()) return;
    SlotRequest request;
    if (MakeRequest(started, request, true)) started.Start(request);
}

void CStationDlg::FlushJournal() {
    m_journalWriter.waitForDone();
    QCoreApplication::sendPostedEvents(this);
}

bool CStationDlg::SerialWritten(const QString& serial) {
    FlushJournal();
    QString warning;
    const std::vector<JournalRecord> records = ReadJournal(JournalPath(m_store), warning);
    return std::any_of(records.begin(), records.end(), [&](const JournalRecord& record) {
        return record.serial == serial && record.imageSha256 == m_imageSha256 && record.job == JournalJob::Write &&
               record.result == JournalResult::Succeeded;
    });
}

void CStationDlg::StartAll() {
    if (m_imageFile.isEmpty()) {
        ShowMessage(this, texts::NoStationImage(), MessageIcon::Exclamation);
        return;
    }
    // Slots without their unit's number yet wait for it, without a box each.
    for (auto& slot : m_slots) {
        SlotRequest request;
        if (slot->PortNumber() != 0 && !slot->Running() && MakeRequest(*slot, request, false)) slot->Start(request);
    }
}

void CStationDlg::CancelAll() {
    for (auto& slot : m_slots) slot->Cancel();
}

bool CStationDlg::AnyRunning() const {
    for (const auto& slot : m_slots)
        if (slot->Running()) return true;
    return false;
}

void CStationDlg::reject() {
    // Every job is asked to stop first, so that the devices go back together.
    for (auto& slot : m_slots) slot->StopForExit();
    for (auto& slot : m_slots) slot->StopAndWait();
    QDialog::reject();
}

void CStationDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CStationDlg::ChooseImage() {
    const QString folder = m_imageFile.isEmpty() ? QString() : QFileInfo(m_imageFile).absolutePath();
    const QString path = m_choosers.chooseOpen(this, folder);
    if (!path.isEmpty()) UseImage(path, true);
}

bool CStationDlg::UseImage(const QString& path, bool interactive) {
    // Locked, the image stays as it was chosen (the window's start reads it).
    if (path.isEmpty() || (StationLocked(m_store) && !m_imageFile.isEmpty())) return false;
    std::vector<std::uint8_t> image(kImageSize);
    const FileOutcome outcome =
        ReadImageFile(path.toStdString(), std::span<std::uint8_t, kImageSize>(image.data(), kImageSize));
    if (!outcome.done()) {
        if (interactive) ShowMessage(this, texts::FileMessage(outcome), MessageIcon::Exclamation);
        FillImageBox();
        return false;
    }
    m_imageFile = path;
    m_store.WriteString(kSectionStation, kValueImageFile, path.toStdString());
    const QString sha256 = m_imageSha256 = Sha256Hex(image.data(), image.size());
    m_imageInfo->setText(texts::StationImageInfo(static_cast<qint64>(image.size()), sha256));
    m_imageInfo->setToolTip(sha256);
    FillImageBox();
    return true;
}

void CStationDlg::FillImageBox() {
    const QSignalBlocker quiet(m_imageBox);
    m_imageBox->clear();
    if (!m_imageFile.isEmpty()) m_imageBox->addItem(m_imageFile);
    // The main window's recent files, to choose from; the list stays its own.
    RecentFileList recent;
    recent.Read(m_store);
    for (const std::string& entry : recent.Entries()) {
        const QString path = QString::fromStdString(entry);
        if (!path.isEmpty() && path != m_imageFile) m_imageBox->addItem(path);
    }
    m_imageBox->setCurrentIndex(m_imageFile.isEmpty() ? -1 : 0);
    if (m_imageFile.isEmpty()) m_imageInfo->setText(texts::StationNoImage());
}

void CStationDlg::OnSlotFinished(const SlotRun& run) {
    // The journal is written on a thread of its own, in the jobs' order: a
    // journal locked by another program must not hold the window. A unit that
    // cannot be recorded still counts.
    if (!run.records.empty()) {
        m_journalWriter.start([this, path = JournalPath(m_store), records = run.records] {
            QStringList warnings;
            for (const JournalRecord& record : records) {
                const QString warning = AppendJournalRecord(path, record);
                if (!warning.isEmpty() && !warnings.contains(warning)) warnings << warning;
            }
            QMetaObject::invokeMethod(this, [this, warnings] { m_warning->setText(warnings.join(QLatin1Char('\n'))); });
        });
    }
    if (run.verdict != SlotVerdict::NotCounted) {
        const char* name = run.verdict == SlotVerdict::Good ? kGood : kBad;
        AddToCounter(run.slot, name);
        AddToCounter(0, name);
    }
    ShowCounters();
}

int CStationDlg::Counter(int slot, const char* name) const {
    return m_store.GetInt(kSectionStation, CounterValue(slot, name), 0);
}

void CStationDlg::AddToCounter(int slot, const char* name) {
    m_store.WriteInt(kSectionStation, CounterValue(slot, name), Counter(slot, name) + 1);
}

void CStationDlg::ShowCounters() {
    for (auto& slot : m_slots)
        if (slot->PortNumber() != 0) slot->ShowCounters(Counter(slot->Number(), kGood), Counter(slot->Number(), kBad));
    const QDateTime since = QDateTime::fromString(
        QString::fromStdString(m_store.GetString(kSectionStation, kValueCountersReset, "")), Qt::ISODate);
    m_counters->setText(texts::StationCounters(Counter(0, kGood), Counter(0, kBad),
                                               since.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
}

void CStationDlg::Lock() {
    if (m_imageFile.isEmpty()) {
        ShowMessage(this, texts::NoStationImage(), MessageIcon::Exclamation);
        return;
    }
    const std::optional<QString> password = m_prompt(this, texts::NewPasswordPrompt());
    if (!password || password->isEmpty()) return;
    const std::optional<QString> again = m_prompt(this, texts::RepeatPasswordPrompt());
    if (!again) return;
    if (*again != *password) {
        ShowMessage(this, texts::PasswordsDiffer(), MessageIcon::Exclamation);
        return;
    }
    const QString hash = HashPassword(*password);
    if (hash.isEmpty()) {
        ShowMessage(this, texts::PasswordNotKept(), MessageIcon::Exclamation);
        return;
    }
    m_store.WriteString(kSectionStation, kValuePasswordHash, hash.toStdString());
    m_store.WriteString(kSectionStation, kValuePinnedSha256, m_imageSha256.toStdString());
    ApplyLock();
}

void CStationDlg::Unlock() {
    const QDateTime after = QDateTime::fromString(
        QString::fromStdString(m_store.GetString(kSectionStation, kValueUnlockAfter, "")), Qt::ISODate);
    const qint64 wait = after.isValid() ? QDateTime::currentDateTime().secsTo(after) : 0;
    if (wait > 0) {
        ShowMessage(this, texts::UnlockWait(static_cast<int>(wait)), MessageIcon::Exclamation);
        return;
    }
    const std::optional<QString> password = m_prompt(this, texts::UnlockPrompt());
    if (!password) return;
    if (!PasswordMatches(*password, QString::fromStdString(m_store.GetString(kSectionStation, kValuePasswordHash, "")))) {
        // Kept in the store: starting the program again does not reset the count.
        const int wrong = m_store.GetInt(kSectionStation, kValueWrongTries, 0) + 1;
        m_store.WriteInt(kSectionStation, kValueWrongTries, wrong % kWrongTries);
        if (wrong >= kWrongTries)
            m_store.WriteString(
                kSectionStation, kValueUnlockAfter,
                QDateTime::currentDateTime().addSecs(kUnlockWaitSeconds).toString(Qt::ISODate).toStdString());
        ShowMessage(this, texts::WrongPassword(), MessageIcon::Exclamation);
        return;
    }
    for (const char* name : {kValuePasswordHash, kValuePinnedSha256, kValueWrongTries, kValueUnlockAfter})
        m_store.Remove(kSectionStation, name);
    ApplyLock();
}

void CStationDlg::ApplyLock() {
    const bool locked = StationLocked(m_store);
    m_lock->setText(locked ? texts::UnlockButton() : texts::LockButton());
    for (QWidget* widget : std::initializer_list<QWidget*>{m_imageBox, findChild<QPushButton*>(QStringLiteral("station_browse")),
                                                           m_verify, m_autoStart, m_askSerial,
                                                           findChild<QPushButton*>(QStringLiteral("station_reset"))})
        widget->setEnabled(!locked);
    for (auto& slot : m_slots) slot->LockPort(locked);
}

void CStationDlg::ResetCounters() {
    if (StationLocked(m_store)) return;
    for (int slot = 0; slot <= kStationSlots; ++slot) {
        m_store.Remove(kSectionStation, CounterValue(slot, kGood));
        m_store.Remove(kSectionStation, CounterValue(slot, kBad));
    }
    m_store.WriteString(kSectionStation, kValueCountersReset,
                        QDateTime::currentDateTime().toString(Qt::ISODate).toStdString());
    ShowCounters();
}

}  // namespace bramis
