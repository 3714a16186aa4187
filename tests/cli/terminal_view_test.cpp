#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "job/transfer_context.h"

namespace bramis::cli {
namespace {

// A clock the test moves by hand.
struct FakeClock {
    double seconds = 1000.0;
    TerminalView::Clock Function() {
        return [this] { return seconds; };
    }
};

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The text after the last carriage return: what a terminal shows last.
std::string LastSegment(const std::string& text) { return text.substr(text.rfind('\r')); }

std::size_t CodePointsOf(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return count;
}

// What the worker does after each block.
void Step(TerminalView& view, int position) {
    view.SetBarPosition(position);
    view.SetBarRange(0, 368);
}

TEST(TerminalView, FormatsDurations) {
    EXPECT_EQ(FormatDuration(0), "00:00");
    EXPECT_EQ(FormatDuration(-5), "00:00");
    EXPECT_EQ(FormatDuration(59.4), "00:59");
    EXPECT_EQ(FormatDuration(59.6), "01:00");
    EXPECT_EQ(FormatDuration(483), "08:03");
    EXPECT_EQ(FormatDuration(3599.4), "59:59");
    EXPECT_EQ(FormatDuration(3600), "1:00:00");
    EXPECT_EQ(FormatDuration(3725), "1:02:05");
}

TEST(TerminalView, PlainOutputPrintsStagesAndEveryTenthOfTheJob) {
    std::ostringstream out;
    std::ostringstream err;
    FakeClock clock;
    TerminalView view(out, err, false, "bramis-flash", clock.Function());

    view.SetStageText("Открытие порта");
    view.SetVersionText("Версия загрузчика 01.05");
    view.SetStageText("Запись программы");
    for (int block = 1; block <= 368; ++block) {
        clock.seconds += 1.25;
        Step(view, block);
    }
    view.SetStageText("Переход в рабочий режим");

    const std::string text = out.str();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(CountOf(text, "блок "), 10);
    EXPECT_NE(text.find(" 10%  блок 37 из 368"), std::string::npos) << text;
    EXPECT_NE(text.find("100%  блок 368 из 368  прошло 07:40  осталось 00:00"), std::string::npos) << text;
    EXPECT_LT(text.find("Версия загрузчика 01.05\n"), text.find("Запись программы\n"));
    EXPECT_TRUE(text.ends_with("Переход в рабочий режим\n")) << text;
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(view.stage(), "Переход в рабочий режим");
    EXPECT_EQ(view.lastWorkStage(), "Запись программы");
    EXPECT_EQ(view.barPosition(), 368);
}

TEST(TerminalView, LiveLineIsRedrawnInPlaceWithElapsedAndRemainingTime) {
    std::ostringstream out;
    std::ostringstream err;
    FakeClock clock;
    TerminalView view(out, err, true, "bramis-flash", clock.Function());

    clock.seconds += 3;  // opening and the version before the blocks
    view.SetStageText("Чтение программы");
    Step(view, 0);
    EXPECT_NE(out.str().find("\r[..............................]   0%  блок 0 из 368  прошло 00:03  осталось --:--"),
              std::string::npos)
        << out.str();

    clock.seconds += 10;
    Step(view, 8);
    // 8 blocks in 10 s: 360 more take 450 s.
    EXPECT_TRUE(out.str().ends_with("\r[..............................]   2%  блок 8 из 368  прошло 00:13  осталось 07:30"))
        << out.str();

    clock.seconds += 450;
    Step(view, 368);
    EXPECT_TRUE(out.str().ends_with("\r[##############################] 100%  блок 368 из 368  прошло 07:43  осталось 00:00"))
        << out.str();

    // A line that got shorter is padded so that nothing of the longer one stays.
    clock.seconds += 3600;  // "прошло 1:07:43" is longer than "прошло 07:43"
    Step(view, 368);
    const std::size_t longer = CodePointsOf(LastSegment(out.str()));
    clock.seconds -= 3600;
    Step(view, 368);
    EXPECT_EQ(CodePointsOf(LastSegment(out.str())), longer);
    EXPECT_TRUE(LastSegment(out.str()).ends_with("осталось 00:00  "));

    // A stage, an error or a note starts on a fresh line; only one newline ends the bar.
    view.ShowError("Ошибка чтения", "Ошибка");
    view.SetStageText("Переход в рабочий режим");
    EXPECT_TRUE(out.str().ends_with("00:00  \nПереход в рабочий режим\n")) << out.str();
    EXPECT_EQ(err.str(), "Ошибка: Ошибка чтения\n");
    EXPECT_TRUE(view.errorShown());
}

TEST(TerminalView, ErrorsGoToStandardErrorWithTheirCaption) {
    std::ostringstream out;
    std::ostringstream err;
    TerminalView view(out, err, false, "bramis-flash");
    EXPECT_FALSE(view.errorShown());
    view.ShowError("Не могу открыть порт", "");
    view.ShowError("Ошибка стирания", "Ошибка");
    view.Note("заметка", true);
    view.Note("в вывод");
    EXPECT_EQ(err.str(), "bramis-flash: Не могу открыть порт\nОшибка: Ошибка стирания\nзаметка\n");
    EXPECT_EQ(out.str(), "в вывод\n");
    EXPECT_TRUE(view.errorShown());
}

TEST(TerminalView, OutcomeArrivesFromAnotherThread) {
    std::ostringstream out;
    std::ostringstream err;
    TerminalView view(out, err, false, "bramis-flash");
    EXPECT_FALSE(view.WaitForOutcome(std::chrono::milliseconds(1)));
    std::thread worker([&] {
        view.SetStageText("Переход в рабочий режим");
        view.PostOutcome(ID_JOB_FAILED);
    });
    std::optional<int> outcome;
    while (!(outcome = view.WaitForOutcome(std::chrono::milliseconds(100)))) {
    }
    worker.join();
    EXPECT_EQ(*outcome, ID_JOB_FAILED);
    EXPECT_EQ(view.stage(), "Переход в рабочий режим");
}

}  // namespace
}  // namespace bramis::cli
