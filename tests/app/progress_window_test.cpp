// The progress window with stand-in workers: its layout, the
// blocking view calls, the error boxes it owns, what Cancel, Esc and OK do,
// and that RunJob returns only after the worker thread has ended.
#include "app/progress_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/dialog_units.h"
#include "app/resource_ids.h"
#include "controls/labeled_progress_ctrl.h"
#include "gui_test_support.h"
#include "job/transfer_worker.h"
#include "link/device_memory.h"

namespace bramis {
namespace {

using namespace std::chrono_literals;
using test::MessageRecorder;
using test::Watchdog;

// Starts `fake` instead of the real worker.
CProgressDlg::WorkerLauncher StandIn(std::function<void()> fake) {
    return [fake](std::function<void()>) {
        std::unique_ptr<QThread> thread(QThread::create(fake));
        thread->start();
        return thread;
    };
}

void WaitFor(const std::atomic<bool>& flag) {
    while (!flag) std::this_thread::sleep_for(1ms);
}

class ProgressWindowTest : public ::testing::Test {
protected:
    QLineEdit* Line(const char* name) { return dialog.findChild<QLineEdit*>(name); }
    CLabeledProgressCtrl* Bar() { return dialog.findChild<CLabeledProgressCtrl*>("IDC_JOB_PROGRESS"); }
    QPushButton* Cancel() { return dialog.findChild<QPushButton*>("IDCANCEL"); }

    Watchdog watchdog;
    MessageRecorder recorder;
    CProgressDlg dialog;
    std::uint8_t buffer[kImageBufferSize] = {};
};

TEST_F(ProgressWindowTest, HasNoTitleBarAndItsFourControlsInPlace) {
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(dialog.windowTitle().isEmpty());

    const DialogBaseUnits units = BaseUnitsOf(dialog.font());
    EXPECT_EQ(dialog.size(), MapDialogSize(units, 186, 80));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    ASSERT_NE(Cancel(), nullptr);
    EXPECT_EQ(Cancel()->text(), QStringLiteral("Отмена"));
    EXPECT_EQ(Cancel()->geometry(), MapDialogRect(units, {68, 59, 50, 14}));
    ASSERT_NE(Bar(), nullptr);
    EXPECT_EQ(Bar()->geometry(), MapDialogRect(units, {7, 40, 172, 12}));
    EXPECT_EQ(Bar()->property(kControlIdProperty).toInt(), 1000);
    for (const auto& [name, id, top] : {std::tuple{"IDC_STAGE_TEXT", 1001, 7}, std::tuple{"IDC_VERSION_TEXT", 1002, 23}}) {
        QLineEdit* line = Line(name);
        ASSERT_NE(line, nullptr) << name;
        EXPECT_TRUE(line->isReadOnly());
        EXPECT_EQ(line->alignment(), Qt::AlignCenter);
        EXPECT_EQ(line->focusPolicy(), Qt::NoFocus);  // Cancel is the only tab stop
        EXPECT_EQ(line->property(kControlIdProperty).toInt(), id);
        EXPECT_EQ(line->geometry(), MapDialogRect(units, {7, top, 172, 12}));
    }
}

TEST_F(ProgressWindowTest, ViewCallsCompleteOnTheGuiThreadBeforeTheWorkerGoesOn) {
    std::atomic<bool> stageShown{false};
    std::atomic<bool> versionShown{false};
    std::atomic<bool> pastFirstError{false};
    std::atomic<bool> stageSeenAfterCall{false};
    std::atomic<bool> versionSeenAfterCall{false};
    std::atomic<bool> workerEnded{false};
    QObject::connect(Line("IDC_STAGE_TEXT"), &QLineEdit::textChanged, [&](const QString& text) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        stageShown = text == QStringLiteral("Запись программы");
    });
    QObject::connect(Line("IDC_VERSION_TEXT"), &QLineEdit::textChanged,
                     [&](const QString& text) { versionShown = !text.isEmpty(); });
    int barSeenByGui = -1;
    recorder.onShow = [&](const test::RecordedMessage&) {
        barSeenByGui = Bar()->GetPos();
        if (recorder.messages.size() > 1) return;
        // The worker waits in the box: give it time to run on if it would.
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(pastFirstError);
    };
    dialog.SetWorkerLauncher(StandIn([&] {
        dialog.SetStageText("Запись программы");
        stageSeenAfterCall = stageShown.load();
        dialog.SetVersionText(FormatLoaderVersion(1, 5));
        versionSeenAfterCall = versionShown.load();
        dialog.SetBarPosition(200);
        dialog.SetBarRange(0, 368);
        dialog.ShowError("Ошибка записи", "Ошибка");
        pastFirstError = true;
        dialog.ShowError("Не могу открыть порт", "");
        dialog.PostOutcome(ID_JOB_SUCCEEDED);
        // The window must wait for the thread, not just for the outcome.
        std::this_thread::sleep_for(100ms);
        workerEnded = true;
    }));

    EXPECT_EQ(dialog.RunJob(5, buffer, TransferMode::Write), IDOK);
    EXPECT_TRUE(workerEnded);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(stageSeenAfterCall);
    EXPECT_TRUE(versionSeenAfterCall);
    EXPECT_EQ(barSeenByGui, 200);
    EXPECT_EQ(Line("IDC_VERSION_TEXT")->text(), QStringLiteral("Версия загрузчика 01.05"));
    ASSERT_EQ(recorder.messages.size(), 2u);
    for (const auto& message : recorder.messages) {
        EXPECT_EQ(message.owner, &dialog);
        EXPECT_TRUE(message.ownerVisible);
        EXPECT_EQ(message.icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(recorder.messages[0].caption, QStringLiteral("Ошибка"));
    EXPECT_EQ(recorder.messages[1].caption, ApplicationTitle());
}

TEST_F(ProgressWindowTest, CancelEscAndCloseOnlyRequestTheStopAndOkIsIgnored) {
    std::atomic<bool> release{false};
    std::atomic<bool> workerEnded{false};
    dialog.SetWorkerLauncher(StandIn([&] {
        WaitFor(release);
        dialog.PostOutcome(ID_JOB_FAILED);
        std::this_thread::sleep_for(50ms);
        workerEnded = true;
    }));
    test::WhenIdle([&] {
        ASSERT_TRUE(dialog.isVisible());
        EXPECT_EQ(QApplication::focusWidget() ? QApplication::focusWidget() : dialog.focusWidget(), Cancel());
        dialog.accept();
        QTest::keyClick(Cancel(), Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(g_transferContext.abortRequested) << "Enter on the focused Cancel button cancels";
        g_transferContext.abortRequested = false;
        dialog.accept();
        EXPECT_FALSE(g_transferContext.abortRequested);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(g_transferContext.abortRequested);
        g_transferContext.abortRequested = false;
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(g_transferContext.abortRequested);
        Cancel()->click();
        Cancel()->click();
        EXPECT_TRUE(dialog.isVisible());
        release = true;
    });
    EXPECT_EQ(dialog.RunJob(5, buffer, TransferMode::Read), IDCANCEL);
    EXPECT_TRUE(workerEnded);
}

TEST_F(ProgressWindowTest, AWorkerThatCannotStartEndsTheJobAtOnce) {
    QWidget owner;
    CProgressDlg owned(&owner);
    owned.SetWorkerLauncher([](std::function<void()>) { return std::unique_ptr<QThread>(); });
    EXPECT_EQ(owned.RunJob(1, buffer, TransferMode::Read), -1);
    EXPECT_FALSE(owned.isVisible());
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(recorder.messages[0].owner, &owner);
    EXPECT_FALSE(g_transferContext.workerStarted);
}

}  // namespace
}  // namespace bramis
