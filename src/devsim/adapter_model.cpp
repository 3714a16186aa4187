#include "adapter_model.h"

#include <algorithm>
#include <cmath>

namespace bramis::devsim {

AdapterPeer::AdapterPeer(LinePeer& peer, AdapterModel model) : peer_(peer), model_(model) {}

double AdapterPeer::NextTickMs(double atMs) const {
    if (model_.latencyMs <= 0.0) {
        return atMs;
    }
    return timerStartMs_ + std::ceil((atMs - timerStartMs_) / model_.latencyMs) * model_.latencyMs;
}

double AdapterPeer::HandOverMs(double atMs) {
    std::uniform_real_distribution<double> jitter(0.0, model_.jitterMs);
    lastHandOverMs_ = std::max(lastHandOverMs_, atMs + (model_.jitterMs > 0.0 ? jitter(random_) : 0.0));
    return lastHandOverMs_;
}

std::vector<TimedByte> AdapterPeer::OnByte(std::uint8_t value, double atMs) {
    std::vector<TimedByte> answer = peer_.OnByte(value, atMs);
    if (!model_.Delays()) {
        return answer;
    }
    // The packet being collected: answer[first, n) waiting for the tick.
    std::size_t first = 0;
    const auto handOver = [&](std::size_t end, double whenMs) {
        const double handedMs = HandOverMs(whenMs);
        for (std::size_t i = first; i < end; ++i) {
            answer[i].atMs = handedMs;
        }
        first = end;
    };
    for (std::size_t n = 0; n < answer.size(); ++n) {
        const double tickMs = first < n ? NextTickMs(answer[first].atMs) : answer[n].atMs;
        if (first < n && answer[n].atMs > tickMs) {
            handOver(n, tickMs);  // the timer went off before this byte came in
        }
        if (model_.packetBytes > 0 && n + 1 - first == static_cast<std::size_t>(model_.packetBytes)) {
            timerStartMs_ = answer[n].atMs;
            handOver(n + 1, answer[n].atMs);
        }
    }
    if (first < answer.size()) {
        handOver(answer.size(), NextTickMs(answer[first].atMs));
    }
    return answer;
}

}  // namespace bramis::devsim
