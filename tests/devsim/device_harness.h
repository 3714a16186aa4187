// Helpers for driving the emulated device byte by byte in the tests.
#pragma once

#include "../link/link_harness.h"
#include "devsim/device.h"

namespace bramis::devsim::test {

using bramis::test::Block;
using bramis::test::Bytes;
using bramis::test::Framed;
using bramis::test::Request;

// Feeds `bytes` one every `spacingMs` from `startMs`; returns every byte sent back.
inline std::vector<TimedByte> Feed(Device& device, const Bytes& bytes, double startMs = 0.0, double spacingMs = 0.0) {
    std::vector<TimedByte> sent;
    for (const std::uint8_t value : bytes) {
        const std::vector<TimedByte> reply = device.OnByte(value, startMs);
        sent.insert(sent.end(), reply.begin(), reply.end());
        startMs += spacingMs;
    }
    return sent;
}

// The reply's bytes to one request fed at `startMs`.
inline Bytes Exchange(Device& device, const Bytes& request, double startMs = 0.0) {
    Bytes values;
    for (const TimedByte& b : Feed(device, request, startMs)) {
        values.push_back(b.value);
    }
    return values;
}

// How the programmer judges the reply: LINK_OK or its failure code.
inline int Judge(const CommandRow& command, const Bytes& request, const Bytes& reply) {
    return CheckReply(command, request, reply, nullptr);
}

}  // namespace bramis::devsim::test
