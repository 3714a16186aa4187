#include "cli/terminal_view.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "image/utf8_path.h"
#include "link/device_memory.h"

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

TerminalView::TerminalView(std::ostream& out, std::ostream& err, bool live, std::string applicationTitle,
                           Clock clock)
    : out_(out),
      err_(err),
      live_(live),
      applicationTitle_(std::move(applicationTitle)),
      clock_(std::move(clock)),
      jobStart_(clock_()),
      stageStart_(jobStart_),
      maximum_(static_cast<int>(kBlockCount)) {}

TerminalView::TerminalView(ConsoleBoard& board, std::size_t row, std::string prefix, std::string applicationTitle,
                           Clock clock)
    : out_(board.out_),
      err_(board.err_),
      live_(board.live()),
      board_(&board),
      row_(row),
      prefix_(std::move(prefix)),
      applicationTitle_(std::move(applicationTitle)),
      clock_(std::move(clock)),
      jobStart_(clock_()),
      stageStart_(jobStart_),
      maximum_(static_cast<int>(kBlockCount)) {}

void TerminalView::SetStageText(const std::string& text) {
    std::lock_guard lock(mutex_);
    stageStart_ = clock_();
    Line(text, false);
    if (board_ != nullptr) {
        board_->SetRow(row_, prefix_ + text);
    }
}

void TerminalView::SetVersionText(const std::string& text) {
    std::lock_guard lock(mutex_);
    version_ = text;
    Line(text, false);
}

void TerminalView::SetBarPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
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
    const int span = maximum_ - minimum_;
    const int tenth = span > 0 ? (position - minimum_) * 10 / span : 10;
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

void TerminalView::ShowError(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    if (!errorShown_) {
        errorText_ = text;
    }
    errorShown_ = true;
    Line((caption.empty() ? applicationTitle_ : caption) + ": " + text, true);
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
    const int percent = span > 0 ? done * 100 / span : 100;
    const int filled = span > 0 ? done * kBarWidth / span : kBarWidth;

    const double now = clock_();
    std::string remaining = "--:--";
    if (done > 0) {
        remaining = FormatDuration((now - stageStart_) / done * (span - done));
    }
    char counts[96];
    std::snprintf(counts, sizeof counts, "%3d%%  блок %d из %d", percent, done, span);
    std::string line;
    if (live_ && board_ == nullptr) {
        line.append(1, '[')
            .append(static_cast<std::size_t>(filled), '#')
            .append(static_cast<std::size_t>(kBarWidth - filled), '.')
            .append("] ");
    }
    return line.append(counts)
        .append("  прошло ")
        .append(FormatDuration(now - jobStart_))
        .append("  осталось ")
        .append(remaining);
}

}  // namespace bramis::cli
