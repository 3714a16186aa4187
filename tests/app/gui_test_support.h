// Helpers of the GUI tests: a recorder that stands in for message boxes,
// image files on disk, and the main window on a store of the test's own with
// the emulated device behind every port, on the virtual clock. A modal loop
// that nobody closes is ended by ctest's timeout.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "app/job_end_alert.h"
#include "app/main_dlg.h"
#include "app/message_box.h"
#include "app/resource_ids.h"
#include "devsim/adapter_model.h"
#include "devsim/device.h"
#include "image/memory_profile_store.h"
#include "journal/journal.h"
#include "report/words.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis::test {

// One message box that was shown.
struct RecordedMessage {
    QWidget* owner;
    QString text;
    QString caption;
    MessageIcon icon;
};

// Replaces the message box for its lifetime: every box is recorded and
// "closed" at once, after `onShow` (when set) has run inside it.
struct MessageRecorder {
    MessageRecorder() {
        SetMessageBoxFunction([this](QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
            messages.push_back({owner, text, caption, icon});
            if (onShow) onShow(messages.back());
        });
    }
    ~MessageRecorder() { SetMessageBoxFunction({}); }
    QStringList Texts() const {
        QStringList texts;
        for (const RecordedMessage& message : messages) texts << message.text;
        return texts;
    }

    std::vector<RecordedMessage> messages;
    std::function<void(const RecordedMessage&)> onShow;
};

// Replaces the end-of-job alerts for its lifetime: the sounds (true for
// failure), the requests for attention and the notifications' texts are
// recorded, nothing reaches the desktop.
struct AlertRecorder {
    AlertRecorder() {
        SetJobEndAlerts({[this](QWidget*) { ++attentionRequests; },
                         [this](QWidget*, const QString&, const QString& text, bool) { notices << text; },
                         [this](bool failed) { sounds.push_back(failed); }});
    }
    ~AlertRecorder() { SetJobEndAlerts({}); }

    std::vector<bool> sounds;
    int attentionRequests = 0;
    QStringList notices;
};

// `size` bytes that differ from block to block and with `seed`.
inline std::vector<std::uint8_t> TestPattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + (i / 512) * 13);
    return bytes;
}

// Whether `bytes` are TestPattern(their size, seed), and not empty.
inline bool HoldsPattern(std::span<const std::uint8_t> bytes, std::uint8_t seed) {
    const std::vector<std::uint8_t> pattern = TestPattern(bytes.size(), seed);
    return !bytes.empty() && std::equal(bytes.begin(), bytes.end(), pattern.begin());
}

// A folder of its own with image files in it.
class ImageFolder {
public:
    // Writes TestPattern(size, seed) as `name`; returns its full path.
    QString Write(const QString& name, std::size_t size, std::uint8_t seed = 1) const {
        QFile file(Path(name));
        const std::vector<std::uint8_t> bytes = TestPattern(size, seed);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(size)) != qint64(size))
            std::abort();
        return Path(name);
    }
    // Paths as the program shows them: with the system's separators.
    QString Path(const QString& name) const { return QDir::toNativeSeparators(dir_.filePath(name)); }
    QString Folder() const { return QDir::toNativeSeparators(dir_.path()); }

private:
    QTemporaryDir dir_;
};

// The child of `parent` named `name`; ends the test program when there is none.
template <typename T = QWidget>
T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no %s in %s", name, qPrintable(parent.objectName()));
    return child;
}

// Runs `open`, which shows a modal window and returns once it has closed;
// `inside` acts in that window meanwhile, which is then closed with reject()
// unless `inside` closed it. Returns whether a modal window came.
inline bool InModal(const std::function<void()>& open, const std::function<void(QDialog&)>& inside) {
    bool opened = false;
    QTimer inModalLoop;  // of this scope: when no modal window comes it cannot fire later
    inModalLoop.setSingleShot(true);
    QObject::connect(&inModalLoop, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        opened = true;
        inside(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    inModalLoop.start(0);
    open();
    return opened;
}

// The main window on a store of the test's own, with scripted Open and Save
// dialogs, a port list under the test's control, the emulated device
// (bootloader 1.3, its flash holding TestPattern seed 9) behind every port,
// recorded alerts and a journal in the test's folder.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        store.WriteString(kSectionSettings, kValueJournalFile, JournalFile().toStdString());
        Connect();
        Restart();
    }
    ~MainWindowTest() override { window.reset(); }

    // A new main window on the same store, as at the next start of the program.
    void Restart() {
        window.reset();
        const auto chooser = [](QStringList& folders, const QString& answer) -> FileChooser {
            return [&folders, &answer](QWidget*, const QString& startFolder) {
                folders << startFolder;
                return answer;
            };
        };
        window = std::make_unique<CMainDlg>(store,
                                            FileChoosers{chooser(openFolders, openAnswer), chooser(saveFolders, saveAnswer)},
                                            [this] { return documents.toStdString(); });
        window->SetPortDiscovery([this] { return ports; });
        // Every port leads to the device of the moment.
        window->Channel().SetPortOpener([this](unsigned number) { return cable->Opener()(number); });
    }

    // A new device with `faults` on a new cable; behind `adapter` at wire
    // speed when that delays replies.
    void Connect(std::vector<devsim::FaultRule> faults = {}) {
        devsim::DeviceConfig config;
        config.versionMajor = 1;
        config.versionMinor = 3;
        config.faults = devsim::FaultPlan(std::move(faults), std::nullopt);
        config.timing.wireSpeed = adapter.Delays();
        device = std::make_unique<devsim::Device>(config);
        const std::vector<std::uint8_t> flash = TestPattern(kImageSize, 9);
        std::copy(flash.begin(), flash.end(), device->Flash().begin());
        adapterPeer = std::make_unique<devsim::AdapterPeer>(*device, adapter);
        cable = std::make_unique<VirtualPort>(*adapterPeer);
    }

    // The stage line of `stage`.
    static QString Stage(TransferStage stage) { return QString::fromStdString(words::StageText(stage)); }

    QComboBox* Box() const { return Child<QComboBox>(*window, "IDC_FILE_NAME"); }
    QString JournalFile() const { return folder.Path(QStringLiteral("journal.csv")); }
    std::vector<QStringList> JournalRows() const {
        QString warning;
        std::vector<QStringList> rows;
        for (const JournalRecord& record : ReadJournal(JournalFile(), warning)) rows.push_back(JournalFields(record));
        return rows;
    }

    MessageRecorder recorder;
    AlertRecorder alerts;
    MemoryProfileStore store;
    ImageFolder folder;
    QString documents = QStringLiteral("/home/someone/Documents");
    QString openAnswer, saveAnswer;         // what the Open and Save dialogs answer ("" cancels)
    QStringList openFolders, saveFolders;  // the folders they started in
    std::vector<FoundPort> ports;           // what the settings window finds
    std::unique_ptr<devsim::Device> device;
    devsim::AdapterModel adapter;
    std::unique_ptr<devsim::AdapterPeer> adapterPeer;
    std::unique_ptr<VirtualPort> cable;
    std::unique_ptr<CMainDlg> window;
};

}  // namespace bramis::test
