#include "cli/terminal_view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "cli/flash_texts.h"
#include "image/utf8_path.h"
#include "link/device_memory.h"
#include "report/words.h"

namespace bramis::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

ConsoleBoard::ConsoleBoard(std::ostream& out, std::ostream& err, bool live, std::size_t rows)
    : out_(out), err_(err), live_(live), rows_(rows) {}

void ConsoleBoard::Print(const std::string& line, bool toError) {
    std::lock_guard lock(mutex_);
    const bool redraw = drawn_;
    Erase();
    (toError ? err_ : out_) << line << '\n' << std::flush;
    if (redraw) {
        Draw();
    }
}

void ConsoleBoard::SetRow(std::size_t row, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (!live_ || row >= rows_.size()) {
        return;
    }
    rows_[row] = text;
    Erase();
    Draw();
}

void ConsoleBoard::Close() {
    std::lock_guard lock(mutex_);
    if (drawn_) {
        out_ << '\n' << std::flush;
        drawn_ = false;
    }
}

void ConsoleBoard::Erase() {
    if (!drawn_) {
        return;
    }
    // Back to the first row's start, then clear down to the end of the screen.
    out_ << '\r';
    if (rows_.size() > 1) {
        out_ << "\x1b[" << rows_.size() - 1 << 'A';
    }
    out_ << "\x1b[J" << std::flush;
    drawn_ = false;
}

void ConsoleBoard::Draw() {
    // A row wider than the terminal is cut at its edge rather than wrapped,
    // which would throw the count of lines to go back up.
    out_ << "\x1b[?7l";
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        out_ << (i > 0 ? "\n" : "") << rows_[i];
    }
    out_ << "\x1b[?7h" << std::flush;
    drawn_ = true;
}

TerminalView::Clock TerminalView::SteadySeconds() {
    return [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    };
}

TerminalView::TerminalView(std::ostream& out, std::ostream& err, bool live, int blockSteps, Clock clock)
    : out_(out),
      err_(err),
      live_(live),
      clock_(std::move(clock)),
      estimate_(blockSteps, clock_()),
      stageStart_(clock_()),
      maximum_(static_cast<int>(kBlockCount)) {}

TerminalView::TerminalView(ConsoleBoard& board, std::size_t row, std::string prefix, int blockSteps, Clock clock)
    : out_(board.out_),
      err_(board.err_),
      live_(board.live()),
      board_(&board),
      row_(row),
      prefix_(std::move(prefix)),
      clock_(std::move(clock)),
      estimate_(blockSteps, clock_()),
      stageStart_(clock_()),
      maximum_(static_cast<int>(kBlockCount)) {}

TransferStage TerminalView::stage() const {
    std::lock_guard lock(mutex_);
    return stage_;
}

double TerminalView::SecondsInStage() const {
    std::lock_guard lock(mutex_);
    return clock_() - stageStart_;
}

void TerminalView::SetStage(TransferStage stage) {
    std::lock_guard lock(mutex_);
    stage_ = stage;
    stageStart_ = clock_();
    if (BlocksMoveIn(stage)) estimate_.BlocksBegin(stageStart_);
    const std::string text = words::StageText(stage);
    Line(text, false);
    if (board_ != nullptr) {
        board_->SetRow(row_, prefix_ + text);
    }
}

void TerminalView::SetLoaderVersion(LoaderVersion version) {
    std::lock_guard lock(mutex_);
    Line(words::VersionLine(version), false);
}

void TerminalView::SetBarPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
    estimate_.BlocksDone(position - minimum_, clock_());
    if (live_ && board_ != nullptr) {
        board_->SetRow(row_, prefix_ + ProgressLine());
        return;
    }
    if (live_) {
        // Pads with spaces so that a shorter line wipes out the longer one.
        const std::string line = ProgressLine();
        const std::size_t width = Utf8CharacterCount(line);
        widestLine_ = std::max(widestLine_, width);
        out_ << '\r' << line << std::string(widestLine_ - width, ' ') << std::flush;
        progressLineOpen_ = true;
        return;
    }
    const int tenth = estimate_.Percent() / 10;
    if (tenth > lastPlainTenth_) {
        lastPlainTenth_ = tenth;
        Line(ProgressLine(), false);
    }
}

void TerminalView::SetBarRange(int minimum, int maximum) {
    std::lock_guard lock(mutex_);
    minimum_ = minimum;
    maximum_ = maximum;
}

void TerminalView::ShowFailure(const TransferFailure& failure) {
    // The handler prints through Note, which takes the lock itself.
    if (failureHandler_) {
        failureHandler_(failure);
    }
}

void TerminalView::PostOutcome(int) {
    // The job's own outcome tells how it ended; the view only closes its line.
    std::lock_guard lock(mutex_);
    EndProgressLine();
}

void TerminalView::Note(const std::string& line, bool toError) {
    std::lock_guard lock(mutex_);
    Line(line, toError);
}

void TerminalView::Line(const std::string& text, bool toError) {
    if (board_ != nullptr) {
        board_->Print(prefix_ + text, toError);
        return;
    }
    EndProgressLine();
    (toError ? err_ : out_) << text << '\n' << std::flush;
}

void TerminalView::EndProgressLine() {
    if (progressLineOpen_) {
        out_ << '\n' << std::flush;
        progressLineOpen_ = false;
    }
}

std::string TerminalView::ProgressLine() const {
    const int span = maximum_ - minimum_;
    const int done = std::clamp(position_ - minimum_, 0, std::max(span, 0));
    const int percent = estimate_.Percent();
    const int filled = percent * kBarWidth / 100;
    const std::optional<double> left = estimate_.Left();
    std::string line;
    if (live_ && board_ == nullptr) {
        line.append(1, '[')
            .append(static_cast<std::size_t>(filled), '#')
            .append(static_cast<std::size_t>(kBarWidth - filled), '.')
            .append("] ");
    }
    return line.append(texts::ProgressCounts(percent, done, span))
        .append(texts::ProgressTimes(estimate_.Elapsed(clock_()), left ? words::Duration(*left) : "--:--"));
}

}  // namespace bramis::cli
