#include "scripted_peer.h"

#include <algorithm>
#include <cstring>

#include "link/bootloader.h"
#include "link/virtual_line.h"

namespace bramis::test {
namespace {

// The request length the bootloader expects, from the command byte at offset 5.
std::size_t RequestLength(std::uint8_t command) {
    switch (command) {
        case CMD_ENTER_PROG:
            return 6;
        case CMD_WRITE_BLOCK:
            return 1037;
        case CMD_READ_BLOCK:
            return 9;
        default:
            return 7;
    }
}

}  // namespace

std::vector<TimedByte> ScriptedPeer::OnByte(std::uint8_t value, double atMs) {
    current_.push_back(value);
    if (current_.size() < 6 || current_.size() < RequestLength(current_[5])) {
        return {};
    }
    requests.push_back(std::move(current_));
    requestEndMs.push_back(atMs);
    current_.clear();
    if (replies_.empty()) {
        return {};
    }
    const ScriptedReply reply = std::move(replies_.front());
    replies_.pop_front();
    std::vector<TimedByte> out;
    double at = atMs + reply.delayMs;
    for (std::size_t n = 0; n < reply.bytes.size(); ++n) {
        if (n == reply.pauseAfter) {
            at += reply.pauseMs;
        }
        at += kByteWireMs;
        out.push_back({reply.bytes[n], at});
    }
    return out;
}

std::size_t RecordingBackend::ReadChunk(std::uint8_t* buffer, std::size_t want) {
    Log("read", want);
    const std::size_t count = chunks_.empty() ? 0 : chunks_.front();
    if (!chunks_.empty()) {
        chunks_.pop_front();
    }
    // The count may exceed `want` (a faulty driver); the bytes never do.
    std::memset(buffer, 0xEE, std::min(count, want));
    return count;
}

}  // namespace bramis::test
