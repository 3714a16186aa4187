#include "report/job_estimate.h"

#include <algorithm>

#include "link/device_memory.h"

namespace bramis {
namespace {

constexpr int kBlocks = static_cast<int>(kBlockCount);

}  // namespace

bool BlocksMoveIn(TransferStage stage) {
    return stage == TransferStage::Writing || stage == TransferStage::Reading || stage == TransferStage::Verifying ||
           stage == TransferStage::Comparing;
}

JobEstimate::JobEstimate(int blockSteps, double startSeconds) : steps_(std::max(blockSteps, 1)), start_(startSeconds) {}

void JobEstimate::BlocksBegin(double now) {
    step_ = std::min(step_ + 1, steps_ - 1);
    stepStart_ = now;
    done_ = 0;
    lastAt_ = now;
}

void JobEstimate::BlocksDone(int done, double now) {
    done_ = std::clamp(done, 0, kBlocks);
    lastAt_ = now;
}

std::optional<double> JobEstimate::Left() const {
    if (step_ < 0 || done_ == 0) return std::nullopt;
    const int toGo = kBlocks - done_ + (steps_ - 1 - step_) * kBlocks;
    return (lastAt_ - stepStart_) / done_ * toGo;
}

int JobEstimate::Percent() const {
    const int through = std::max(step_, 0) * kBlocks + (step_ < 0 ? 0 : done_);
    return through * 100 / (steps_ * kBlocks);
}

}  // namespace bramis
