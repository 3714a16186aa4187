// Helpers for driving the emulated device byte by byte in the tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "devsim/device.h"
#include "link/command_table.h"

namespace bramis::devsim::test {

using Bytes = std::vector<std::uint8_t>;

// The request the programmer sends for `command`.
inline Bytes Request(const CommandRow& command, int block = 0, const std::uint8_t* data = nullptr) {
    std::array<std::uint8_t, kMaxRequestSize> buffer{};
    const std::array<std::uint8_t, kBlockSize> zeros{};
    const std::size_t length = BuildRequest(command, block, data != nullptr ? data : zeros.data(), buffer);
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

// Feeds `bytes` one every `spacingMs` from `startMs`; returns every byte sent back.
inline std::vector<TimedByte> Feed(Device& device, const Bytes& bytes, double startMs = 0.0,
                                   double spacingMs = 0.0) {
    std::vector<TimedByte> sent;
    double atMs = startMs;
    for (const std::uint8_t value : bytes) {
        for (const TimedByte& reply : device.OnByte(value, atMs)) {
            sent.push_back(reply);
        }
        atMs += spacingMs;
    }
    return sent;
}

inline Bytes Values(const std::vector<TimedByte>& sent) {
    Bytes values;
    for (const TimedByte& b : sent) {
        values.push_back(b.value);
    }
    return values;
}

// The reply's bytes to one request fed at `startMs`.
inline Bytes Exchange(Device& device, const Bytes& request, double startMs = 0.0) {
    return Values(Feed(device, request, startMs));
}

// How the programmer judges the reply: LINK_OK or its failure code.
inline int Judge(const CommandRow& command, const Bytes& request, const Bytes& reply) {
    return CheckReply(command, request, reply, nullptr);
}

}  // namespace bramis::devsim::test
