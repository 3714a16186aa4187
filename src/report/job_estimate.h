// The time line of a whole job: elapsed from its start through every step,
// the time left over every block still to go (a verified write's read-back
// included from its first block on) and one percentage from 0 to 100 for the
// whole job. The window, the station and bramis-flash show the same figures.
#pragma once

#include <optional>

#include "job/transfer_context.h"

namespace bramis {

// Whether the blocks move in `stage`: the steps the estimate times.
bool BlocksMoveIn(TransferStage stage);

class JobEstimate {
public:
    // A job of `blockSteps` steps that each move every block (a verified
    // write has two), begun at `startSeconds` on the caller's clock.
    JobEstimate(int blockSteps, double startSeconds);

    // The next step's blocks begin to move at `now`.
    void BlocksBegin(double now);
    // `done` blocks of the current step are through at `now`.
    void BlocksDone(int done, double now);

    double Elapsed(double now) const { return now - start_; }
    // Once a block is through: the pace of the current step's blocks so far,
    // times every block still to go in this step and the ones after.
    std::optional<double> Left() const;
    // The share of all the job's blocks through, 0 to 100.
    int Percent() const;

private:
    int steps_;
    double start_;
    int step_ = -1;  // the step whose blocks move; -1 before the first
    double stepStart_ = 0;
    int done_ = 0;
    double lastAt_ = 0;
};

}  // namespace bramis
