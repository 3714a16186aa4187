// Test doubles for the link layer: a scripted device at the far end of a
// virtual line, and a port backend that records what the channel asks of it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/line_peer.h"
#include "link/port_backend.h"

namespace bramis::test {

// One answer of the scripted device; no bytes means it stays silent.
struct ScriptedReply {
    std::vector<std::uint8_t> bytes;
    double delayMs = 1.0;  // from the request's last byte to the start of the answer
    std::size_t pauseAfter = SIZE_MAX;  // bytes sent before a pause in mid-answer
    double pauseMs = 0.0;
};

// Collects each request (its length follows from the command byte) and
// answers it with the next scripted reply, at wire speed.
class ScriptedPeer : public LinePeer {
public:
    void Queue(ScriptedReply reply) { replies_.push_back(std::move(reply)); }
    void Queue(std::vector<std::uint8_t> bytes) { Queue(ScriptedReply{std::move(bytes)}); }
    void QueueSilence() { Queue(ScriptedReply{}); }

    std::vector<TimedByte> OnByte(std::uint8_t value, double atMs) override;

    // Every complete request, and when its last byte arrived.
    std::vector<std::vector<std::uint8_t>> requests;
    std::vector<double> requestEndMs;

private:
    std::vector<std::uint8_t> current_;
    std::deque<ScriptedReply> replies_;
};

// A port whose chunk reads deliver scripted counts, and which logs every call
// as text: "write 7", "purge", "sleep 8", "drain", "read 16".
class RecordingBackend : public PortBackend {
public:
    RecordingBackend(std::vector<std::string>& log, std::deque<std::size_t> chunks)
        : log_(log), chunks_(std::move(chunks)) {}

    void WriteAll(const std::uint8_t*, std::size_t length) override { Log("write", length); }
    void PurgeInput() override { log_.push_back("purge"); }
    void Drain() override { log_.push_back("drain"); }
    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override;
    void SleepMs(std::uint32_t ms) override { Log("sleep", ms); }
    double NowMs() const override { return 0.0; }

private:
    void Log(const char* what, std::size_t n) {
        std::string entry = what;
        entry += ' ';
        entry += std::to_string(n);
        log_.push_back(std::move(entry));
    }

    std::vector<std::string>& log_;
    std::deque<std::size_t> chunks_;
};

}  // namespace bramis::test
