// The transfer view of bramis-flash: stage and version lines on standard
// output, a live progress line on a terminal (plain lines otherwise), errors on
// standard error with their caption. Several devices share one ConsoleBoard.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "job/transfer_view.h"
#include "job/transfer_worker.h"

namespace bramis::cli {

// The console shared by the jobs of several devices: whole lines from any
// thread without tearing and, on a terminal, one progress row per device kept
// under them and redrawn in place.
class ConsoleBoard {
public:
    // `live`: keep the rows on screen (a terminal). Any thread after.
    ConsoleBoard(std::ostream& out, std::ostream& err, bool live, std::size_t rows);

    // One line above the rows, to standard output or, with `toError`, error.
    void Print(const std::string& line, bool toError);
    // Replaces row `row` (live only; otherwise nothing shows).
    void SetRow(std::size_t row, const std::string& text);
    // Leaves the rows in the scrollback; lines printed after go under them.
    void Close();

    bool live() const { return live_; }

private:
    friend class TerminalView;
    void Erase();
    void Draw();

    std::ostream& out_;
    std::ostream& err_;
    const bool live_;
    std::mutex mutex_;
    std::vector<std::string> rows_;
    bool drawn_ = false;  // the rows are on screen, the cursor at the end of the last
};

class TerminalView : public TransferView {
public:
    // Seconds on a monotonic clock; replaceable for tests.
    using Clock = std::function<double()>;

    // `live`: redraw one progress line in place (a terminal); otherwise a
    // plain line at every tenth of the job. `applicationTitle` stands in for
    // an empty caption. Starting thread, before the job.
    TerminalView(std::ostream& out, std::ostream& err, bool live, std::string applicationTitle,
                 Clock clock = SteadySeconds());
    // One of several devices: every line starts with `prefix`, the progress
    // is row `row` of `board`.
    TerminalView(ConsoleBoard& board, std::size_t row, std::string prefix, std::string applicationTitle,
                 Clock clock = SteadySeconds());

    // TransferView; worker thread.
    void SetStageText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void SetBarPosition(int position) override;
    void SetBarRange(int minimum, int maximum) override;
    void ShowError(const std::string& text, const std::string& caption) override;
    void PostOutcome(int commandId) override;

    // Writes one line to standard output or, with `toError`, to standard
    // error, without tearing the progress line. Any thread.
    void Note(const std::string& line, bool toError = false);

    // What the job showed. Starting thread, after the job has ended.
    bool errorShown() const { return errorShown_; }
    const std::string& errorText() const { return errorText_; }  // of the first error shown
    const std::string& versionText() const { return version_; }
    int barPosition() const { return position_; }

    // The monotonic clock of the process, in seconds. Any thread.
    static Clock SteadySeconds();

private:
    // One whole line, under the mutex.
    void Line(const std::string& text, bool toError);
    void EndProgressLine();
    std::string ProgressLine() const;

    std::ostream& out_;
    std::ostream& err_;
    const bool live_;
    ConsoleBoard* const board_ = nullptr;
    const std::size_t row_ = 0;
    const std::string prefix_;
    const std::string applicationTitle_;
    const Clock clock_;
    const double jobStart_;

    mutable std::mutex mutex_;

    std::string version_;
    double stageStart_;
    int position_ = 0;
    int minimum_ = 0;
    int maximum_;
    bool progressLineOpen_ = false;  // live: the cursor stands at its end
    std::size_t widestLine_ = 0;     // live: characters of the widest line drawn
    int lastPlainTenth_ = 0;
    bool errorShown_ = false;
    std::string errorText_;
};

}  // namespace bramis::cli
