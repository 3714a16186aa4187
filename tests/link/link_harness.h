// Shared by the link tests: requests and replies as byte vectors, a scripted
// device at the far end of a virtual line, and a port backend that records
// what the channel asks of it.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "link/command_table.h"
#include "link/port_backend.h"
#include "link/virtual_line.h"

namespace bramis::test {

using Bytes = std::vector<std::uint8_t>;
using Block = std::array<std::uint8_t, kBlockSize>;

// The frame header followed by `rest`.
inline Bytes Framed(std::initializer_list<std::uint8_t> rest) {
    Bytes frame(kFrameHeader.size() + rest.size());
    std::copy(rest.begin(), rest.end(), std::copy(kFrameHeader.begin(), kFrameHeader.end(), frame.begin()));
    return frame;
}

// The request the programmer sends for `command`; a block write without data sends zeros.
inline Bytes Request(const CommandRow& command, int blockNumber = 0, const std::uint8_t* data = nullptr) {
    const std::array<std::uint8_t, kBlockSize> zeros{};
    std::array<std::uint8_t, kMaxRequestSize> request{};
    const std::size_t length = BuildRequest(command, blockNumber, data != nullptr ? data : zeros.data(), request);
    return Bytes(request.begin(), request.begin() + static_cast<std::ptrdiff_t>(length));
}

inline Block RandomBlock(unsigned seed) {
    Block block{};
    std::mt19937 random(seed);
    std::generate(block.begin(), block.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return block;
}

// A well-formed read-block reply carrying `block`.
inline Bytes ReadReply(const Block& block) {
    Bytes reply = Framed({CMD_READ_BLOCK});
    reply.resize(6 + kEncodedBlockSize);
    EncodeBlock(block, std::span<std::uint8_t, kEncodedBlockSize>(reply.data() + 6, kEncodedBlockSize));
    return reply;
}

// One answer of the scripted device; no bytes means it stays silent.
struct ScriptedReply {
    Bytes bytes;
    double delayMs = 1.0;  // from the request's last byte to the start of the answer
    std::size_t pauseAfter = SIZE_MAX;  // bytes sent before a pause in mid-answer
    double pauseMs = 0.0;
};

// Collects each request (its length follows from the command byte) and
// answers it with the next scripted reply, at wire speed.
class ScriptedPeer : public LinePeer {
public:
    void Queue(ScriptedReply reply) { replies_.push_back(std::move(reply)); }

    std::vector<TimedByte> OnByte(std::uint8_t value, double atMs) override {
        current_.push_back(value);
        const std::size_t length = current_.size() < 6              ? SIZE_MAX
                                   : current_[5] == CMD_ENTER_PROG  ? 6
                                   : current_[5] == CMD_WRITE_BLOCK ? kMaxRequestSize
                                   : current_[5] == CMD_READ_BLOCK  ? 9
                                                                    : 7;
        if (current_.size() < length) {
            return {};
        }
        requests.push_back(std::move(current_));
        current_.clear();
        std::vector<TimedByte> out;
        if (replies_.empty()) return out;
        const ScriptedReply reply = std::move(replies_.front());
        replies_.pop_front();
        double at = atMs + reply.delayMs;
        for (std::size_t n = 0; n < reply.bytes.size(); ++n) {
            at += (n == reply.pauseAfter ? reply.pauseMs : 0.0) + kByteWireMs;
            out.push_back({reply.bytes[n], at});
        }
        return out;
    }

    // Every complete request.
    std::vector<Bytes> requests;

private:
    Bytes current_;
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
    void SleepMs(std::uint32_t ms) override { Log("sleep", ms); }
    double NowMs() const override { return 0.0; }
    bool Vanished() const override { return false; }
    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override {
        Log("read", want);
        const std::size_t count = chunks_.empty() ? 0 : chunks_.front();
        if (!chunks_.empty()) chunks_.pop_front();
        // The count may exceed `want` (a faulty driver); the bytes never do.
        std::memset(buffer, 0xEE, std::min(count, want));
        return count;
    }

private:
    void Log(const char* what, std::size_t n) { log_.push_back(what + (' ' + std::to_string(n))); }

    std::vector<std::string>& log_;
    std::deque<std::size_t> chunks_;
};

}  // namespace bramis::test
