#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace bramis::cli {
namespace {

// The text after the last carriage return: what a terminal shows last.
std::string LastSegment(const std::string& text) { return text.substr(text.rfind('\r')); }

std::size_t CodePointsOf(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// What the worker does after each block.
void Step(TerminalView& view, int position) {
    view.SetBarPosition(position);
    view.SetBarRange(0, 368);
}

using enum TransferStage;

TEST(TerminalView, PlainOutputPrintsStagesEveryTenthOfTheJobAndHandsFailuresOn) {
    std::ostringstream out, err;
    double now = 1000.0;  // seconds, moved by hand
    TerminalView view(out, err, false, 1, [&now] { return now; });

    view.SetStage(OpeningPort);
    view.SetLoaderVersion({1, 5});
    view.SetStage(Writing);
    for (int block = 1; block <= 368; ++block) {
        now += 1.25;
        Step(view, block);
    }
    view.SetStage(Returning);

    const std::string text = out.str();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4 + 10);  // four stage and version lines, ten of progress
    EXPECT_NE(text.find(" 10%  блок 37 из 368"), std::string::npos) << text;
    EXPECT_NE(text.find("100%  блок 368 из 368  прошло 07:40  осталось 00:00"), std::string::npos) << text;
    EXPECT_LT(text.find("Версия загрузчика 01.05\n"), text.find("Запись программы\n"));
    EXPECT_TRUE(text.ends_with("Переход в рабочий режим\n")) << text;

    EXPECT_EQ(err.str(), "");
    std::vector<FailureKind> failures;
    view.SetFailureHandler([&](const TransferFailure& failure) {
        failures.push_back(failure.kind);
        view.Note("заметка", true);
    });
    TransferFailure failure;
    failure.kind = FailureKind::NoReply;
    view.ShowFailure(failure);
    view.Note("в вывод");
    EXPECT_EQ(failures, std::vector<FailureKind>{FailureKind::NoReply});
    EXPECT_EQ(err.str(), "заметка\n");
    EXPECT_TRUE(out.str().ends_with("Переход в рабочий режим\nв вывод\n"));
}

TEST(TerminalView, LiveLineIsRedrawnInPlaceWithElapsedAndRemainingTime) {
    std::ostringstream out, err;
    double now = 1000.0;
    TerminalView view(out, err, true, 1, [&now] { return now; });

    now += 3;  // opening and the version before the blocks
    view.SetStage(Reading);
    Step(view, 0);
    EXPECT_NE(out.str().find("\r[..............................]   0%  блок 0 из 368  прошло 00:03  осталось --:--"),
              std::string::npos)
        << out.str();

    now += 10;
    Step(view, 8);
    // 8 blocks in 10 s: 360 more take 450 s.
    EXPECT_TRUE(out.str().ends_with("\r[..............................]   2%  блок 8 из 368  прошло 00:13  осталось 07:30"))
        << out.str();

    now += 450;
    Step(view, 368);
    EXPECT_TRUE(out.str().ends_with("\r[##############################] 100%  блок 368 из 368  прошло 07:43  осталось 00:00"))
        << out.str();

    // A line that got shorter is padded so that nothing of the longer one stays.
    now += 3600;  // "прошло 1:07:43" is longer than "прошло 07:43"
    Step(view, 368);
    const std::size_t longer = CodePointsOf(LastSegment(out.str()));
    now -= 3600;
    Step(view, 368);
    EXPECT_EQ(CodePointsOf(LastSegment(out.str())), longer);
    EXPECT_TRUE(LastSegment(out.str()).ends_with("осталось 00:00  "));

    // A stage or a note starts on a fresh line; only one newline ends the bar.
    view.Note("Ошибка чтения", true);
    view.SetStage(Returning);
    EXPECT_TRUE(out.str().ends_with("00:00  \nПереход в рабочий режим\n")) << out.str();
    EXPECT_EQ(err.str(), "Ошибка чтения\n");
}

// A verified write: the time left counts the read-back from the first block
// on, the time since the start runs on, the share runs once to 100.
TEST(TerminalView, AVerifiedWritesTimesCoverTheWholeJob) {
    std::ostringstream out, err;
    double now = 1000.0;
    TerminalView view(out, err, true, 2, [&now] { return now; });
    now += 5;
    view.SetStage(Writing);
    now += 10;
    Step(view, 8);
    // 8 blocks in 10 s: 360 more of the write and 368 of the read-back take 910 s.
    EXPECT_TRUE(out.str().ends_with("   1%  блок 8 из 368  прошло 00:15  осталось 15:10")) << out.str();
    now += 450;
    Step(view, 368);
    // The read-back is reckoned at the write's pace until its own blocks go.
    EXPECT_TRUE(out.str().ends_with(" 50%  блок 368 из 368  прошло 07:45  осталось 07:40")) << out.str();
    view.SetStage(Verifying);
    now += 4;
    Step(view, 92);
    // The read-back's own pace: 276 more blocks at 4 s per 92.
    EXPECT_NE(out.str().find(" 62%  блок 92 из 368  прошло 07:49  осталось 00:12"), std::string::npos) << out.str();
}

// Several devices on one terminal: lines go above the rows, one row per
// device redrawn in place, left in the scrollback at the end.
TEST(TerminalView, SeveralDevicesKeepOneRowEachUnderTheirLines) {
    std::ostringstream out, err;
    double now = 1000.0;
    ConsoleBoard board(out, err, true, 2);
    TerminalView first(board, 0, "COM5: ", 1, [&now] { return now; });
    TerminalView second(board, 1, "COM6: ", 1, [&now] { return now; });
    first.SetStage(Writing);
    second.SetStage(Reading);
    now += 10;
    Step(second, 8);
    // Drawn without line wrap, after going back to the first row and clearing.
    const auto drawn = [](const std::string& rows) { return "\r\x1b[1A\x1b[J\x1b[?7l" + rows + "\x1b[?7h"; };
    const std::string rows = "COM5: Запись программы\nCOM6:   2%  блок 8 из 368  прошло 00:10  осталось 07:30";
    EXPECT_TRUE(out.str().ends_with(drawn("COM5: Запись программы\nCOM6: Чтение программы") + drawn(rows)))
        << out.str();
    first.Note("Ошибка записи", true);
    EXPECT_EQ(err.str(), "COM5: Ошибка записи\n");
    EXPECT_TRUE(out.str().ends_with(drawn(rows) + drawn(rows))) << out.str();
    board.Close();
    EXPECT_TRUE(out.str().ends_with(rows + "\x1b[?7h\n"));
}

}  // namespace
}  // namespace bramis::cli
