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
#include "report/job_estimate.h"

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
    // Puts a failure into lines (through Note); the worker waits meanwhile.
    using FailureHandler = std::function<void(const TransferFailure& failure)>;

    // `live`: redraw one progress line in place (a terminal); otherwise a
    // plain line at every tenth of the job. `blockSteps`: the jobs of the
    // run that move every block (two for a verified write), over which the
    // time left and the share run. Starting thread, before the job.
    TerminalView(std::ostream& out, std::ostream& err, bool live, int blockSteps = 1, Clock clock = SteadySeconds());
    // One of several devices: every line starts with `prefix`, the progress
    // is row `row` of `board`.
    TerminalView(ConsoleBoard& board, std::size_t row, std::string prefix, int blockSteps = 1,
                 Clock clock = SteadySeconds());

    // Who words the failures shown; before the job.
    void SetFailureHandler(FailureHandler handler) { failureHandler_ = std::move(handler); }

    // TransferView; worker thread.
    void SetStage(TransferStage stage) override;
    void SetLoaderVersion(LoaderVersion version) override;
    void SetBarPosition(int position) override;
    void SetBarRange(int minimum, int maximum) override;
    void ShowFailure(const TransferFailure& failure) override;
    void PostOutcome(int commandId) override;

    // Writes one line to standard output or, with `toError`, to standard
    // error, without tearing the progress line. Any thread.
    void Note(const std::string& line, bool toError = false);

    // The stage the job is in, and the seconds it has been in it. Any thread.
    TransferStage stage() const;
    double SecondsInStage() const;
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
    const Clock clock_;
    FailureHandler failureHandler_;

    mutable std::mutex mutex_;

    JobEstimate estimate_;
    TransferStage stage_ = TransferStage::NotStarted;
    double stageStart_;
    int position_ = 0;
    int minimum_ = 0;
    int maximum_;
    bool progressLineOpen_ = false;  // live: the cursor stands at its end
    std::size_t widestLine_ = 0;     // live: characters of the widest line drawn
    int lastPlainTenth_ = 0;
};

}  // namespace bramis::cli
