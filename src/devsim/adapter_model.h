// A USB-serial adapter between the device and the programmer, as it delays
// the device's replies: the chip collects received bytes and hands them to
// the PC only when its latency timer expires or a USB packet fills, and the
// host's USB scheduling adds jitter to each hand-over.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "link/line_peer.h"

namespace bramis::devsim {

struct AdapterModel {
    double latencyMs = 0.0;  // the latency timer's period; 0: no timer
    int packetBytes = 0;     // bytes that fill a packet, sent at once; 0: no limit
    double jitterMs = 0.0;   // each hand-over later by up to this much

    bool Delays() const { return latencyMs > 0.0 || packetBytes > 0 || jitterMs > 0.0; }
};

// Puts `peer` behind the adapter: its answers reach the programmer at the
// moments the adapter hands them on, in their order. The timer runs from the
// line's time 0 and restarts when a full packet goes, as the chip's does; a
// packet does not collect bytes across two requests. Jitter is seeded, so a
// run repeats exactly. Not thread-safe, like the peer.
class AdapterPeer final : public LinePeer {
public:
    AdapterPeer(LinePeer& peer, AdapterModel model);

    std::vector<TimedByte> OnByte(std::uint8_t value, double atMs) override;
    bool Unplugged() const override { return peer_.Unplugged(); }

private:
    double NextTickMs(double atMs) const;
    double HandOverMs(double atMs);

    LinePeer& peer_;
    const AdapterModel model_;
    std::mt19937 random_{20260};
    double timerStartMs_ = 0.0;
    double lastHandOverMs_ = 0.0;  // nothing is handed on before an earlier byte
};

}  // namespace bramis::devsim
