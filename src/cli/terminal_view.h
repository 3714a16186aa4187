// The transfer view of bramis-flash: stage and version lines on standard
// output, a live progress line on a terminal (plain lines otherwise), errors on
// standard error with their caption.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>

#include "job/transfer_view.h"
#include "job/transfer_worker.h"

namespace bramis::cli {

class TerminalView : public TransferView {
public:
    // Seconds on a monotonic clock; replaceable for tests.
    using Clock = std::function<double()>;

    // `live`: redraw one progress line in place (a terminal); otherwise a
    // plain line at every tenth of the job. `applicationTitle` stands in for
    // an empty caption. Starting thread, before the job.
    TerminalView(std::ostream& out, std::ostream& err, bool live, std::string applicationTitle,
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
    const std::string& versionText() const { return version_; }
    int barPosition() const { return position_; }

    // The monotonic clock of the process, in seconds. Any thread.
    static Clock SteadySeconds();

private:
    void EndProgressLine();
    std::string ProgressLine() const;

    std::ostream& out_;
    std::ostream& err_;
    const bool live_;
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
};

}  // namespace bramis::cli
