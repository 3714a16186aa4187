#include "settings_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QString>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>
#include <tuple>

#include "app_texts.h"
#include "dialog_controls.h"
#include "message_box.h"
#include "port_watch.h"
#include "report/words.h"
#include "resource_ids.h"
#include "window_placement.h"

namespace bramis {
namespace {

// The closed list's field and the whole drop-down, in dialog units: the list
// shows as many items as fit below the field.
constexpr DluRect kPortComboField{164, 7, 52, 12};
constexpr int kPortComboDropDownHeight = 69;
constexpr int kItemHeight = 8;
// The binding row (hidden where no port has a stable name), the search row,
// the check row with its list (hidden until the first check) and the
// buttons' row, below the rows of switches.
constexpr int kBindingTop = 68;
constexpr int kFindTop = 82;
constexpr int kCheckTop = 100;
constexpr DluRect kCheckList{7, kCheckTop + 18, 209, 76};
constexpr int kButtonsTop = 121;

// What a port item holds besides its number and its device (the tooltip).
constexpr int kStablePathRole = Qt::UserRole + 1;
constexpr int kBoundRole = Qt::UserRole + 2;  // the stable or socket path its number opens already, or ""
constexpr int kSocketPathRole = Qt::UserRole + 3;

// Shows the wait cursor while the ports are probed, which may take a while.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A closed list whose text, when longer than the field, is cut in the middle:
// both the port number and the adapter's serial number stay in sight.
class MiddleElidedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

}  // namespace

CSettingsDlg::CSettingsDlg(PortDiscovery discoverPorts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_discoverPorts(std::move(discoverPorts)) {
    SetDeviceFinder({});
    setObjectName(QStringLiteral("IDD_SETTINGS"));
    setWindowTitle(texts::SettingsCaption());
    const DialogBaseUnits units = BaseUnitsOf(font());

    // Template order, which is also the tab order; the sound switch comes
    // after the template's controls, in a row of its own below them.
    QPushButton* ok = AddPushButton(this, texts::OkButton(), "IDOK", IDOK, units, {51, kButtonsTop, 50, 14});
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    QPushButton* cancel =
        AddPushButton(this, texts::CancelButton(), "IDCANCEL", IDCANCEL, units, {122, kButtonsTop, 50, 14});
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);

    QLabel* portLabel = AddStaticText(this, texts::PortNumberLabel(), "port_label", units, {7, 9, 140, 8});

    // A check box without text at `top`, named by the label to its left
    // (for screen readers too).
    const auto addSwitch = [this, &units](const QString& text, const char* name, int id, const char* labelName,
                                          int top) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setProperty(kControlIdProperty, id);
        box->setAccessibleName(text);
        PlaceInDialogUnits(box, units, {167, top, 16, 8});
        QLabel* label = AddStaticText(this, text, labelName, units, {7, top, 154, 8});
        return std::pair(box, label);
    };
    QLabel* autoloadLabel = nullptr;
    std::tie(m_autoloadCheck, autoloadLabel) =
        addSwitch(texts::ProgramAutoloadLabel(), "IDC_PROGRAM_AUTOLOAD", IDC_PROGRAM_AUTOLOAD, "autoload_label", 26);
    QLabel* soundLabel = nullptr;
    std::tie(m_soundCheck, soundLabel) =
        addSwitch(texts::EndSoundLabel(), "IDC_END_SOUND", IDC_END_SOUND, "end_sound_label", 40);
    QLabel* verifyLabel = nullptr;
    std::tie(m_verifyCheck, verifyLabel) = addSwitch(texts::VerifyAfterWriteLabel(), "IDC_VERIFY_AFTER_WRITE",
                                                     IDC_VERIFY_AFTER_WRITE, "verify_label", 54);
    // The binding's switch, with what it binds to chosen where its label would be.
    m_bindCheck = new QCheckBox(this);
    m_bindCheck->setObjectName(QStringLiteral("IDC_BIND_PORT"));
    m_bindCheck->setProperty(kControlIdProperty, IDC_BIND_PORT);
    PlaceInDialogUnits(m_bindCheck, units, {167, kBindingTop, 16, 8});
    m_bindTarget = new QComboBox(this);
    m_bindTarget->setObjectName(QStringLiteral("IDC_BIND_TARGET"));
    m_bindTarget->setProperty(kControlIdProperty, IDC_BIND_TARGET);
    m_bindTarget->addItems({texts::BindPortLabel(), texts::BindSocketLabel()});
    PlaceComboBox(m_bindTarget, units, {7, kBindingTop - 2, 154, 12});
    connect(m_bindTarget, &QComboBox::currentIndexChanged, this, &CSettingsDlg::ShowBindingTarget);

    m_portCombo = new MiddleElidedComboBox(this);
    m_portCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_portCombo->setObjectName(QStringLiteral("IDC_PORT_NUMBER"));
    m_portCombo->setProperty(kControlIdProperty, IDC_PORT_NUMBER);
    m_portCombo->setAccessibleName(texts::PortNumberLabel());
    m_portCombo->setMaxVisibleItems((kPortComboDropDownHeight - kPortComboField.height) / kItemHeight);
    PlaceComboBox(m_portCombo, units, kPortComboField);
    connect(m_portCombo, &QComboBox::currentIndexChanged, this, &CSettingsDlg::ShowChosenDevice);

    // The search says what it does before it is started: it asks every port.
    m_findButton = AddPushButton(this, texts::FindDeviceButton(), "IDC_FIND_DEVICE", IDC_FIND_DEVICE, units,
                                 {7, kFindTop, 64, 14});
    m_findButton->setToolTip(texts::FindDeviceHint());
    connect(m_findButton, &QPushButton::clicked, this, &CSettingsDlg::OnFindDevice);
    m_findNote = AddStaticText(this, texts::FindDeviceNote(), "find_note", units, {76, kFindTop - 1, 140, 16});
    m_findNote->setWordWrap(true);
    m_findNote->setToolTip(texts::FindDeviceHint());

    m_checkButton = AddPushButton(this, texts::CheckPortButton(), "IDC_CHECK_PORT", IDC_CHECK_PORT, units,
                                  {7, kCheckTop, 96, 14});
    m_checkButton->setToolTip(texts::CheckPortHint());
    connect(m_checkButton, &QPushButton::clicked, this, &CSettingsDlg::OnCheckPort);
    m_checkList = new QListWidget(this);
    m_checkList->setObjectName(QStringLiteral("check_results"));
    m_checkList->setAccessibleName(texts::CheckPortButton());
    m_checkList->setWordWrap(true);
    m_checkList->setSelectionMode(QAbstractItemView::NoSelection);
    PlaceInDialogUnits(m_checkList, units, kCheckList);
    m_checkList->hide();
    m_checkListHeight = MapDialogRect(units, {0, 0, 0, kCheckList.height + 3}).height();

    // A font wider than the one the layout was drawn for (Cyrillic is, in
    // most Linux fonts) would cut the labels short: the window grows by what
    // the longer one lacks, the controls right of the labels move along and
    // the buttons stay centred.
    const auto lacking = [](const QLabel* label) {
        return label->fontMetrics().horizontalAdvance(label->text()) - label->width();
    };
    const int extra =
        std::max({0, lacking(portLabel), lacking(autoloadLabel), lacking(soundLabel), lacking(verifyLabel),
                  m_bindTarget->sizeHint().width() - m_bindTarget->width()});
    for (QWidget* widget : std::initializer_list<QWidget*>{portLabel, autoloadLabel, soundLabel, verifyLabel,
                                                           m_bindTarget, m_findNote})
        widget->resize(widget->width() + extra, widget->height());
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_portCombo, m_autoloadCheck, m_soundCheck, m_verifyCheck, m_bindCheck})
        control->move(control->x() + extra, control->y());
    for (QPushButton* button : {ok, cancel}) button->move(button->x() + extra / 2, button->y());

    setFixedSize(MapDialogSize(units, 223, kButtonsTop + 21) + QSize(extra, 0));
    m_checkList->resize(m_checkList->width() + extra, m_checkList->height());
    m_narrowWidth = width();
    m_portFieldWidth = m_portCombo->width();
    m_checkListWidth = m_checkList->width();
    for (QWidget* button : {ok, cancel}) m_centred.emplace_back(button, button->x());
    m_belowBinding = {m_findButton, m_findNote, m_checkButton, m_checkList, ok, cancel};
    m_bindingRowHeight =
        MapDialogRect(units, {0, kFindTop, 0, 0}).y() - MapDialogRect(units, {0, kBindingTop, 0, 0}).y();
    ok->setFocus();
    WatchPortChanges(this, [this] { RefreshPorts(); });
}

CSettingsDlg::~CSettingsDlg() {
    StopSearch();
    StopCheck();
}

void CSettingsDlg::SetDeviceFinder(DeviceFinder findDevice) {
    m_findDevice = findDevice ? std::move(findDevice)
                              : [](const std::vector<FoundPort>& ports, const std::atomic<bool>& cancel,
                                   const std::function<void(std::size_t)>& progress) {
                                    return FindDevice(ports, cancel, progress);
                                };
}

void CSettingsDlg::SetPortCheck(PortOpener opener, QString journalPath) {
    m_checkOpener = std::move(opener);
    m_journalPath = std::move(journalPath);
}

int CSettingsDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CSettingsDlg::OnInitDialog() {
    m_autoloadCheck->setChecked(m_bProgramAutoload != 0);
    m_soundCheck->setChecked(m_bEndSound != 0);
    m_verifyCheck->setChecked(m_bVerifyAfterWrite != 0);
    m_bindingShownFor.clear();
    m_checkList->clear();  // what an earlier check found may be no longer so
    const WaitCursor waiting;
    FillPortList(m_nPortNumber);
}

void CSettingsDlg::RefreshPorts() {
    const int index = m_portCombo->currentIndex();
    FillPortList(index < 0 ? -1 : m_portCombo->itemData(index).toInt());
}

void CSettingsDlg::FillPortList(int portToSelect) {
    m_ports = m_discoverPorts ? m_discoverPorts() : std::vector<FoundPort>{};
    const std::vector<FoundPort>& ports = m_ports;
    // Rebuilding the list is no choice of the user's.
    const QSignalBlocker quiet(m_portCombo);
    m_portCombo->clear();
    // The first item added is made current by the combo box itself; only the
    // item of the port given is to be selected.
    bool selected = false;
    for (const FoundPort& port : ports) {
        QString text = texts::PortItem(port.number);
        if (!port.description.empty())
            text += QStringLiteral(" — ") + QString::fromStdString(port.description);
        const int index = SortedPlaceOf(text);
        m_portCombo->insertItem(index, text, port.number);
        QString device = QString::fromStdString(port.device);
        if (!port.stablePath.empty() && port.stablePath != port.device)
            device += QLatin1Char('\n') + QString::fromStdString(port.stablePath);
        if (!port.location.empty()) device += QLatin1Char('\n') + QString::fromStdString(words::UsbPlace(port.location));
        if (!device.isEmpty())
            m_portCombo->setItemData(index, device, Qt::ToolTipRole);
        if (port.number >= kLowestPortNumber && port.number <= kHighestPortNumber) {
            m_portCombo->setItemData(index, QString::fromStdString(port.stablePath), kStablePathRole);
            m_portCombo->setItemData(index, QString::fromStdString(port.socketPath), kSocketPathRole);
            const bool bound = !port.device.empty() && (port.device == port.stablePath || port.device == port.socketPath);
            m_portCombo->setItemData(index, bound ? QString::fromStdString(port.device) : QString(), kBoundRole);
        }
        if (port.number == portToSelect && !selected) {
            m_portCombo->setCurrentIndex(index);
            selected = true;
        }
    }
    // A port that is not plugged in now stays the choice, so that OK keeps it.
    if (!selected && portToSelect >= kLowestPortNumber && portToSelect <= kHighestPortNumber) {
        const QString text = texts::AbsentPortItem(portToSelect);
        const int index = SortedPlaceOf(text);
        m_portCombo->insertItem(index, text, portToSelect);
        m_portCombo->setCurrentIndex(index);
        selected = true;
    }
    if (!selected) m_portCombo->setCurrentIndex(-1);
    // The field is narrow: the open list is as wide as the longest adapter name.
    QAbstractItemView* list = m_portCombo->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width());
    FitPortBox();
    // Binding is offered where the system gives stable names (Linux, with a
    // USB adapter plugged in); elsewhere the row would never be of use.
    ShowBindingRow(std::any_of(ports.begin(), ports.end(), [](const FoundPort& port) {
        return !port.stablePath.empty() || !port.socketPath.empty();
    }));
    ShowChosenDevice();
}

void CSettingsDlg::FitPortBox() {
    // As wide as the longest item, the window growing to the right by what
    // the field lacks, as far as the screen leaves room; beyond that the
    // text is cut in the middle.
    const int room = FitToScreen(QSize(QWIDGETSIZE_MAX, height()), *this).width() - (m_narrowWidth - m_portFieldWidth);
    const int boxWidth = std::max(m_portFieldWidth, std::min(m_portCombo->sizeHint().width(), room));
    const int growth = boxWidth - m_portFieldWidth;
    m_portCombo->resize(boxWidth, m_portCombo->height());
    m_checkList->resize(m_checkListWidth + growth, m_checkList->height());
    for (const auto& [widget, left] : m_centred) widget->move(left + growth / 2, widget->y());
    setFixedSize(m_narrowWidth + growth, height());
}

void CSettingsDlg::ShowChosenDevice() {
    // The closed list tells the whole text of the chosen port, which its
    // field may cut, and the port's device, as the open list does.
    const QString device = m_portCombo->currentData(Qt::ToolTipRole).toString();
    m_portCombo->setToolTip(device.isEmpty() ? m_portCombo->currentText()
                                             : m_portCombo->currentText() + QLatin1Char('\n') + device);
    const QString stablePath = m_portCombo->currentData(kStablePathRole).toString();
    const QString socketPath = m_portCombo->currentData(kSocketPathRole).toString();
    // A refresh that keeps the same adapter in the same socket chosen keeps the user's choice.
    const QString shownFor =
        m_portCombo->currentData().toString() + QLatin1Char('=') + stablePath + QLatin1Char('=') + socketPath;
    if (shownFor != m_bindingShownFor) {
        const QSignalBlocker quiet(m_bindTarget);
        m_bindTarget->clear();
        if (!stablePath.isEmpty()) m_bindTarget->addItem(texts::BindPortLabel(), stablePath);
        if (!socketPath.isEmpty()) m_bindTarget->addItem(texts::BindSocketLabel(), socketPath);
        if (m_bindTarget->count() == 0) m_bindTarget->addItem(texts::BindPortLabel());
        const QString bound = m_portCombo->currentData(kBoundRole).toString();
        const int boundItem = bound.isEmpty() ? -1 : m_bindTarget->findData(bound);
        m_bindTarget->setCurrentIndex(std::max(boundItem, 0));
        m_bindCheck->setChecked(boundItem >= 0);
    }
    m_bindingShownFor = shownFor;
    const bool bindable = !stablePath.isEmpty() || !socketPath.isEmpty();
    m_bindCheck->setEnabled(bindable);
    m_bindTarget->setEnabled(bindable);
    ShowBindingTarget();
    EnableSearchAndCheck();
}

void CSettingsDlg::ShowBindingTarget() {
    const QString path = m_bindTarget->currentData().toString();
    const bool socket = !path.isEmpty() && path == m_portCombo->currentData(kSocketPathRole).toString();
    const QString hint = path.isEmpty() ? texts::NoStableNameHint() : socket ? texts::BindSocketHint() : texts::BindPortHint();
    for (QWidget* row : std::initializer_list<QWidget*>{m_bindCheck, m_bindTarget}) row->setToolTip(hint);
    m_bindCheck->setAccessibleName(m_bindTarget->currentText());
}

void CSettingsDlg::ShowBindingRow(bool shown) {
    if (m_bindCheck->isHidden() != shown) return;
    m_bindCheck->setVisible(shown);
    m_bindTarget->setVisible(shown);
    const int shift = shown ? m_bindingRowHeight : -m_bindingRowHeight;
    for (QWidget* below : m_belowBinding) below->move(below->x(), below->y() + shift);
    setFixedSize(minimumSize() + QSize(0, shift));
}

void CSettingsDlg::OnFindDevice() {
    if (m_search.joinable()) {
        m_cancelSearch = true;  // the button reads "Остановить"
        return;
    }
    m_cancelSearch = false;
    m_findButton->setText(texts::StopFindButton());
    m_search = std::thread([this, ports = m_ports] {
        // The window hears of the search only on its own thread.
        const auto progress = [this, &ports](std::size_t index) {
            QMetaObject::invokeMethod(
                this, [this, number = ports[index].number] { m_findNote->setText(texts::FindTrying(number)); },
                Qt::QueuedConnection);
        };
        const FindResult result = m_findDevice(ports, m_cancelSearch, progress);
        QMetaObject::invokeMethod(this, [this, result] { OnSearchEnded(result); }, Qt::QueuedConnection);
    });
    EnableSearchAndCheck();
}

void CSettingsDlg::OnSearchEnded(const FindResult& result) {
    if (!m_search.joinable()) return;  // stopped by the window's end
    m_search.join();
    m_findButton->setText(texts::FindDeviceButton());
    EnableSearchAndCheck();
    if (result.found) {
        const int index = m_portCombo->findData(result.found->number);
        if (index >= 0) m_portCombo->setCurrentIndex(index);
        m_findNote->setText(texts::DeviceFoundOn(result.found->number));
    } else if (result.cancelled) {
        m_findNote->setText(texts::FindStopped());
    } else {
        m_findNote->setText(texts::NoDeviceFound());
        ShowMessage(this, texts::NoDeviceFound(), MessageIcon::Exclamation);
    }
}

void CSettingsDlg::StopSearch() {
    if (!m_search.joinable()) return;
    m_cancelSearch = true;
    m_search.join();
    m_findButton->setText(texts::FindDeviceButton());
    EnableSearchAndCheck();
}

void CSettingsDlg::OnCheckPort() {
    if (!m_checkButton->isEnabled()) return;
    DoctorPort port{m_portCombo->currentData().toInt(), {}};
    for (const FoundPort& found : m_ports)
        if (found.number == port.number) port.device = found.device;
    if (m_checkList->isHidden()) {
        m_checkList->show();
        // The buttons move down below the list.
        for (const auto& [button, left] : m_centred) button->move(button->x(), button->y() + m_checkListHeight);
        setFixedSize(minimumSize() + QSize(0, m_checkListHeight));
    }
    m_checkList->clear();
    m_checkList->addItem(texts::CheckingPort(port.number));
    m_cancelCheck = false;
    const int run = ++m_checkRun;
    m_check = std::thread([this, run, port, opener = m_checkOpener, journal = m_journalPath] {
        const std::vector<DoctorEntry> entries = CheckPortHealth(port, opener, journal, m_cancelCheck);
        // The window hears of the check only on its own thread.
        QMetaObject::invokeMethod(
            this, [this, run, number = port.number, entries] { OnCheckEnded(run, number, entries); },
            Qt::QueuedConnection);
    });
    EnableSearchAndCheck();
}

void CSettingsDlg::OnCheckEnded(int run, int portNumber, const std::vector<DoctorEntry>& entries) {
    if (run != m_checkRun || !m_check.joinable()) return;  // stopped by the window's end
    m_check.join();
    EnableSearchAndCheck();
    m_checkList->clear();
    const QIcon problemIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon noteIcon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (const DoctorEntry& entry : entries) {
        auto* item = new QListWidgetItem(entry.problem ? problemIcon : noteIcon,
                                         texts::CheckFinding(QString::fromStdString(entry.found),
                                                             QString::fromStdString(entry.remedy)),
                                         m_checkList);
        item->setData(Qt::UserRole, entry.problem);
        item->setToolTip(item->text());
    }
    const int problems = ProblemCount(entries);
    // The verdict names the port: the list stays when another is chosen.
    auto* verdict = new QListWidgetItem(
        problems == 0 ? style()->standardIcon(QStyle::SP_DialogApplyButton) : problemIcon,
        texts::CheckVerdict(portNumber, QString::fromStdString(words::DoctorVerdict(problems))), m_checkList);
    QFont bold = verdict->font();
    bold.setBold(true);
    verdict->setFont(bold);
    verdict->setData(Qt::UserRole, problems != 0);
}

void CSettingsDlg::StopCheck() {
    if (!m_check.joinable()) return;
    m_cancelCheck = true;
    m_check.join();
    EnableSearchAndCheck();
}

void CSettingsDlg::EnableSearchAndCheck() {
    // Each would find the port the other has open; the button of a search
    // running stops it.
    m_findButton->setEnabled(!m_check.joinable());
    m_checkButton->setEnabled(!m_check.joinable() && !m_search.joinable() && m_portCombo->currentIndex() >= 0);
}

int CSettingsDlg::SortedPlaceOf(const QString& text) const {
    // After the items that sort before it or equal to it, as a sorted list
    // box places a new item.
    int place = 0;
    while (place < m_portCombo->count() &&
           QString::compare(m_portCombo->itemText(place), text, Qt::CaseInsensitive) <= 0)
        ++place;
    return place;
}

void CSettingsDlg::accept() {
    const int index = m_portCombo->currentIndex();
    m_nPortNumber = index < 0 ? -1 : m_portCombo->itemData(index).toInt();
    m_bProgramAutoload = m_autoloadCheck->isChecked() ? 1 : 0;
    m_bEndSound = m_soundCheck->isChecked() ? 1 : 0;
    m_bVerifyAfterWrite = m_verifyCheck->isChecked() ? 1 : 0;
    m_portBinding.reset();
    if (m_bindCheck->isEnabled()) {
        const QString chosen = m_bindCheck->isChecked() ? m_bindTarget->currentData().toString() : QString();
        if (chosen != m_portCombo->currentData(kBoundRole).toString()) m_portBinding = chosen.toStdString();
    }
    done(IDOK);
}

void CSettingsDlg::reject() { done(IDCANCEL); }

void CSettingsDlg::done(int result) {
    StopSearch();
    StopCheck();
    QDialog::done(result);
}

}  // namespace bramis
