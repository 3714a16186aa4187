// A logout or a closed terminal in the middle of a write: the signal cancels
// the job, which still sends the device back to its working mode, and the
// window then ends without a word.
#include <gtest/gtest.h>

#include <signal.h>

#include <QLineEdit>

#include "gui_test_support.h"
#include "job/transfer_worker.h"
#include "link/bootloader.h"
#include "app/termination_requests.h"

namespace bramis {
namespace {

class TerminationTest : public test::MainWindowTest {};

TEST_F(TerminationTest, ATerminationSignalDuringAWriteSendsTheDeviceBackThenEndsTheWindow) {
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        Connect();
        Restart();
        const TerminationRequests termination([this] { window->RequestQuit(); }, {});
        QObject::connect(test::Child<QLineEdit>(window->ProgressWindow(), "IDC_STAGE_TEXT"), &QLineEdit::textChanged,
                         [signal](const QString& stage) {
                             if (stage == Stage(TransferStage::Writing)) raise(signal);
                         });
        Box()->setEditText(folder.Write("a.dat", kImageSize, 4));
        window->OnCommand(IDC_WRITE);
        EXPECT_TRUE(recorder.messages.empty());
        EXPECT_LT(device->RequestCount(CMD_WRITE_BLOCK), 10);
        EXPECT_EQ(device->RequestCount(CMD_RUN_PROGRAM), 1);
        EXPECT_EQ(device->CurrentMode(), devsim::Mode::Working);
        EXPECT_EQ(window->result(), IDOK);  // ended like Exit
    }
}

}  // namespace
}  // namespace bramis
