#include "virtual_line.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace bramis {

VirtualLine::VirtualLine(LinePeer& peer, VirtualClock& clock, std::function<void()> onClose)
    : peer_(peer), clock_(clock), onClose_(std::move(onClose)), sendFreeMs_(clock.nowMs) {}

VirtualLine::~VirtualLine() {
    if (onClose_) {
        onClose_();
    }
}

void VirtualLine::WriteAll(const std::uint8_t* data, std::size_t length) {
    for (std::size_t n = 0; n < length; ++n) {
        const double arrivedMs = std::max(clock_.nowMs, sendFreeMs_) + kByteWireMs;
        sendFreeMs_ = arrivedMs;
        for (const TimedByte& answer : peer_.OnByte(data[n], arrivedMs)) {
            // Answers nearly always come in time order: append without a search.
            if (incoming_.empty() || incoming_.back().atMs <= answer.atMs) {
                incoming_.push_back(answer);
                continue;
            }
            const auto later = std::upper_bound(incoming_.begin(), incoming_.end(), answer.atMs,
                                                [](double at, const TimedByte& b) { return at < b.atMs; });
            incoming_.insert(later, answer);
        }
    }
}

void VirtualLine::PurgeInput() {
    while (!incoming_.empty() && incoming_.front().atMs <= clock_.nowMs) {
        incoming_.pop_front();
    }
}

void VirtualLine::Drain() {
    clock_.nowMs = std::max(clock_.nowMs, sendFreeMs_);
}

std::size_t VirtualLine::ReadChunk(std::uint8_t* buffer, std::size_t want) {
    const double startMs = clock_.nowMs;
    double lastByteMs = startMs;
    std::size_t got = 0;
    while (got < want) {
        const double deadlineMs = ChunkDeadlineMs(startMs, lastByteMs, got);
        // A byte that came in before the call is there at once.
        if (incoming_.empty() || std::max(incoming_.front().atMs, startMs) > deadlineMs) {
            clock_.nowMs = deadlineMs;
            return got;
        }
        lastByteMs = std::max(incoming_.front().atMs, startMs);
        buffer[got++] = incoming_.front().value;
        incoming_.pop_front();
    }
    clock_.nowMs = lastByteMs;
    return got;
}

void VirtualLine::SleepMs(std::uint32_t ms) {
    clock_.nowMs += ms;
}

double VirtualLine::NowMs() const {
    return clock_.nowMs;
}

bool VirtualLine::Vanished() const {
    return peer_.Unplugged();
}

VirtualPort::VirtualPort(LinePeer& peer) : peer_(peer) {}

PortOpener VirtualPort::Opener() {
    return [this](unsigned portNumber) {
        lastPortNumber_ = portNumber;
        if (openFailure_) {
            return PortOpenResult{nullptr, *openFailure_};
        }
        ++openCount_;
        open_ = true;
        return PortOpenResult{std::make_unique<VirtualLine>(peer_, clock_, [this] { open_ = false; }), {}};
    };
}

void VirtualPort::FailOpens(std::optional<PortOpenError> error) {
    openFailure_ = std::move(error);
}

double VirtualPort::NowMs() const {
    return clock_.nowMs;
}

int VirtualPort::OpenCount() const {
    return openCount_;
}

bool VirtualPort::IsOpen() const {
    return open_;
}

unsigned VirtualPort::LastPortNumber() const {
    return lastPortNumber_;
}

}  // namespace bramis
