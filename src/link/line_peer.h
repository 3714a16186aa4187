// The far end of the virtual serial line: the device emulator, or a scripted
// device in tests. Times are milliseconds on the line's virtual clock.
#pragma once

#include <cstdint>
#include <vector>

namespace bramis {

// A byte the peer sends, with the moment it is complete at the programmer.
struct TimedByte {
    std::uint8_t value;
    double atMs;
};

class LinePeer {
public:
    virtual ~LinePeer() = default;

    // `value` has fully arrived at the device at `atMs`. Returns what the
    // device sends in answer (usually nothing until a request is complete),
    // each byte stamped with its arrival at the programmer (>= atMs).
    virtual std::vector<TimedByte> OnByte(std::uint8_t value, double atMs) = 0;

    // True once the peer has gone from the line (its adapter unplugged): the
    // programmer's port then reports itself vanished.
    virtual bool Unplugged() const { return false; }
};

}  // namespace bramis
