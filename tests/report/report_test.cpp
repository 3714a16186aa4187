// What both front ends say and decide around a job: the shared words, the
// report of an ended job, the cable rule and the whole job's time estimate.
#include <gtest/gtest.h>

#include <vector>

#include "link/device_memory.h"
#include "report/job_estimate.h"
#include "report/job_report.h"
#include "report/words.h"

namespace bramis {
namespace {

using enum TransferStage;
using enum FailureKind;

TransferFailure Failure(FailureKind kind, TransferStage stage, int block = 0, bool programTouched = false) {
    TransferFailure failure;
    failure.kind = kind;
    failure.stage = stage;
    failure.block = block;
    failure.programTouched = programTouched;
    return failure;
}

TEST(Words, EveryKindHasItsWords) {
    EXPECT_EQ(words::StageText(NotStarted), "");
    EXPECT_EQ(words::StageText(Verifying), "Проверка записи");
    EXPECT_EQ(words::StageText(Comparing), "Сравнение с файлом");
    EXPECT_EQ(words::StageText(Returning), "Переход в рабочий режим");
    EXPECT_EQ(words::VersionLine({12, 3}), "Версия загрузчика 12.03");
    const std::pair<double, const char*> durations[] = {{0, "00:00"}, {-5, "00:00"}, {59.6, "01:00"},
                                                        {3599.4, "59:59"}, {3725, "1:02:05"}};
    for (const auto& [seconds, text] : durations) EXPECT_EQ(words::Duration(seconds), text) << seconds;

    // The message follows the kind, or for a step's failure the stage.
    const struct { FailureKind kind; TransferStage stage; const char* message; const char* cause; } failures[] = {
        {PortNotOpened, OpeningPort, "Не могу открыть порт", ""},
        {PortLost, Writing, "Порт пропал: кабель или USB-адаптер отключён?", ""},
        {NoReply, ReadingVersion, "Ошибка чтения версии загрузчика", "прибор не ответил"},
        {VersionNotRead, ReadingVersion, "Ошибка чтения версии загрузчика", "ответ прибора искажён"},
        {EraseNotConfirmed, Erasing, "Ошибка стирания", "прибор не подтвердил стирание"},
        {Refused5A, Writing, "Ошибка записи", "прибор отказался принять блок (статус 5A)"},
        {Refused2A, Writing, "Ошибка записи", "прибор отказался принять блок (статус 2A)"},
        {DamagedReply, Comparing, "Ошибка чтения", "ответ прибора искажён"},
        {Cancelled, Writing, "", ""},
        {EntryTimedOut, EnteringProgramming, "", ""},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(words::FailureMessage(Failure(f.kind, f.stage)), f.message) << static_cast<int>(f.kind);
        EXPECT_EQ(words::FailureCause(f.kind), f.cause) << static_cast<int>(f.kind);
    }
    EXPECT_EQ(words::BlockOf(6), "блок 6 из 368");
    // An FTDI adapter's timer known: its value and how to set it, as the port doctor says them.
    EXPECT_EQ(words::ReplyPauseHint(SlowAdapter{32, "/sys/x/latency_timer"}),
              "USB-переходник придерживает принятые байты (его таймер задержки): задержка переходника FTDI 32 мс (ответы "
              "приходят с опозданием); что делать: echo 1 | sudo tee /sys/x/latency_timer (или правило udev из пакета программатора).");

    const struct { PortOpenError error; const char* reason; } opens[] = {
        {{OpenFailure::NoSuchPort, "", 0, "", {}}, "COM200: в этой системе нет такого порта"},
        {{OpenFailure::Busy, "/dev/ttyUSB0", 16, "busy", {}}, "/dev/ttyUSB0: порт занят другой программой"},
        {{OpenFailure::Other, "COM7", 31, "Сбой", {}}, "COM7: системная ошибка 31 (Сбой)"},
    };
    for (const auto& o : opens) EXPECT_EQ(words::OpenFailureReason(o.error, 200), o.reason);
    EXPECT_EQ(words::PortNotOpened(200, "COM200: нет"), "COM200: нет");
    EXPECT_EQ(words::PortNotOpened(5, "/dev/ttyS4: нет"), "COM5 — /dev/ttyS4: нет");
    EXPECT_EQ(words::CableWarning("COM5"),
              "Последние задания на порту COM5 потребовали много повторных попыток. Проверьте кабель и переходник.");
}

TEST(JobReport, TheRecordTheVerdictAndTheHintFollowFromTheOutcome) {
    std::vector<std::uint8_t> image(kImageBufferSize, 0x11), read(kImageBufferSize, 0x11);
    read[3 * kBlockSize] = 0;
    read[9 * kBlockSize] = 0;
    EndedJob job;
    job.program = QStringLiteral("bramis-flash");
    job.portNumber = 300;  // opens COM1
    job.device = QStringLiteral("/dev/ttyS0");
    job.buffer = image.data();
    job.durationMs = 1500;
    TransferOutcome outcome;
    outcome.loaderVersion = LoaderVersion{1, 3};
    outcome.retries = 4;

    // A write: the image's hash whatever happened, the failure's stage and block.
    job.mode = TransferMode::Write;
    outcome.failure = Failure(Refused5A, Writing, 7, true);
    JobReport report = ReportJob(job, outcome);
    EXPECT_EQ(report.record.job, JournalJob::Write);
    EXPECT_EQ(report.record.portNumber, 1);
    EXPECT_EQ(report.record.imageSha256, "200a74283f22ef46dde164110fcae3b96d04ccbd0315ba66ed53b842e35f2933");
    EXPECT_EQ(report.record.loaderVersion, QStringLiteral("01.03"));
    EXPECT_EQ(report.record.result, JournalResult::Failed);
    EXPECT_EQ(report.record.stage, QStringLiteral("Запись программы"));
    EXPECT_EQ(report.record.block, 7);
    EXPECT_EQ(report.record.retries, 4);
    EXPECT_FALSE(report.differences);

    // A read has a hash only once whole; a cancel is its own result.
    job.mode = TransferMode::Read;
    job.buffer = read.data();
    outcome.failure = Failure(Cancelled, Reading);
    report = ReportJob(job, outcome);
    EXPECT_EQ(report.record.imageSha256, QString());
    EXPECT_EQ(report.record.result, JournalResult::Cancelled);
    outcome.failure.reset();
    EXPECT_EQ(ReportJob(job, outcome).record.imageSha256, Sha256Hex(read.data(), kImageSize));

    // A comparison that finds differences is no success.
    job.mode = TransferMode::Compare;
    job.fileImage = image.data();
    job.byPath = true;
    report = ReportJob(job, outcome);
    EXPECT_EQ(report.record.job, JournalJob::Verify);
    EXPECT_EQ(report.record.portNumber, 0);
    ASSERT_TRUE(report.differences);
    EXPECT_EQ(report.differences->count, 2);
    EXPECT_EQ(report.differences->firstBlock, 3);
    EXPECT_EQ(report.record.result, JournalResult::Failed);
    EXPECT_EQ(report.record.block, 4);
    job.buffer = image.data();
    report = ReportJob(job, outcome);
    EXPECT_EQ(report.differences->count, 0);
    EXPECT_EQ(report.record.result, JournalResult::Succeeded);
}

TEST(CableRule, FiveJobsOnThePortWithMoreThanTenRetriesWarnOncePerRun) {
    std::vector<JournalRecord> journal;
    const auto add = [&journal](const char* device, int retries) {
        JournalRecord record;
        record.device = QString::fromLatin1(device);
        record.retries = retries;
        journal.push_back(record);
    };
    CableRule rule;
    for (int retries : {3, 3, 3, 3}) add("/dev/ttyUSB0", retries);
    EXPECT_FALSE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // 12, but four jobs
    add("/dev/ttyUSB1", 50);
    add("/dev/ttyUSB0", 0);
    journal.erase(journal.begin());
    EXPECT_FALSE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // 9 in the last five
    add("/dev/ttyUSB0", 1);
    EXPECT_FALSE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // 10
    add("/dev/ttyUSB0", 4);
    EXPECT_TRUE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // 11
    EXPECT_FALSE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // said already
    EXPECT_FALSE(rule.ShouldWarn(journal, QStringLiteral("/dev/ttyUSB1")));  // one job only
    EXPECT_TRUE(CableRule().ShouldWarn(journal, QStringLiteral("/dev/ttyUSB0")));  // the next run
}

TEST(JobEstimate, AVerifiedWriteCountsItsReadBackFromTheFirstBlockOn) {
    JobEstimate estimate(2, 100.0);
    EXPECT_EQ(estimate.Left(), std::nullopt);
    EXPECT_EQ(estimate.Percent(), 0);
    estimate.BlocksBegin(110.0);  // after the enter, the version and the erase
    estimate.BlocksDone(1, 111.25);
    EXPECT_DOUBLE_EQ(*estimate.Left(), 1.25 * (367 + 368));
    EXPECT_DOUBLE_EQ(estimate.Elapsed(111.25), 11.25);
    estimate.BlocksDone(368, 570.0);
    EXPECT_EQ(estimate.Percent(), 50);
    estimate.BlocksBegin(575.0);
    EXPECT_EQ(estimate.Left(), std::nullopt);
    estimate.BlocksDone(92, 598.0);
    EXPECT_DOUBLE_EQ(*estimate.Left(), 23.0 / 92 * 276);
    EXPECT_EQ(estimate.Percent(), (368 + 92) * 100 / 736);
    estimate.BlocksDone(368, 650.0);
    EXPECT_EQ(estimate.Percent(), 100);
    EXPECT_DOUBLE_EQ(*estimate.Left(), 0.0);
}

}  // namespace
}  // namespace bramis
