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

void TerminalView::SetStageText(const std::string& text) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    stageStart_ = clock_();
    out_ << text << '\n' << std::flush;
}

void TerminalView::SetVersionText(const std::string& text) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    version_ = text;
    out_ << text << '\n' << std::flush;
}

void TerminalView::SetBarPosition(int position) {
    std::lock_guard lock(mutex_);
    position_ = position;
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
        out_ << ProgressLine() << '\n' << std::flush;
    }
}

void TerminalView::SetBarRange(int minimum, int maximum) {
    std::lock_guard lock(mutex_);
    minimum_ = minimum;
    maximum_ = maximum;
}

void TerminalView::ShowError(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    errorShown_ = true;
    err_ << (caption.empty() ? applicationTitle_ : caption) << ": " << text << '\n' << std::flush;
}

void TerminalView::PostOutcome(int) {
    // The job's own outcome tells how it ended; the view only closes its line.
    std::lock_guard lock(mutex_);
    EndProgressLine();
}

void TerminalView::Note(const std::string& line, bool toError) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    (toError ? err_ : out_) << line << '\n' << std::flush;
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
    if (live_) {
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
