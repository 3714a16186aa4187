// An in-process serial line to a LinePeer (the device emulator, or a scripted
// device in tests) on a virtual clock: every pause, pre-delay, wire time and
// read time-out is accounted in virtual milliseconds and costs no real time,
// so a whole 368-block job runs in well under a second.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "line_peer.h"
#include "port_backend.h"

namespace bramis {

// One byte on the wire: 11 bits (start, 8 data, parity, stop) at 9600 baud.
inline constexpr double kByteWireMs = 11.0 * 1000.0 / 9600.0;

// Virtual milliseconds since the line's start. Kept outside the line so that
// the time survives closing the port and opening it again.
struct VirtualClock {
    double nowMs = 0.0;
};

// The programmer's end of the virtual line. Bytes written leave back to back
// at wire speed and reach the peer when complete; the peer's answer bytes
// come in at the times it stamps on them. Used from one thread at a time.
class VirtualLine final : public PortBackend {
public:
    // `peer` and `clock` must outlive the line; `onClose` runs when it is destroyed.
    VirtualLine(LinePeer& peer, VirtualClock& clock, std::function<void()> onClose = {});
    VirtualLine(const VirtualLine&) = delete;
    VirtualLine& operator=(const VirtualLine&) = delete;
    ~VirtualLine() override;

    // Hands each byte to the peer at the moment it has fully arrived; the
    // clock does not move (the bytes go into the driver's buffer).
    void WriteAll(const std::uint8_t* data, std::size_t length) override;
    // Drops every answer byte that has arrived by now.
    void PurgeInput() override;
    // Moves the clock to the moment the last written byte has left.
    void Drain() override;
    // The 30 ms / 5 ms / count rule over the stamped bytes; the clock moves
    // to the moment the call returns.
    std::size_t ReadChunk(std::uint8_t* buffer, std::size_t want) override;
    void SleepMs(std::uint32_t ms) override;
    double NowMs() const override;
    // True once the peer is unplugged.
    bool Vanished() const override;

private:
    LinePeer& peer_;
    VirtualClock& clock_;
    std::function<void()> onClose_;
    double sendFreeMs_;                 // when the wire is free for the next byte
    std::deque<TimedByte> incoming_;    // answer bytes not yet read, by arrival time
};

// A virtual cable to one peer, with an opener for the serial channel:
//   bramis::VirtualPort cable(device);
//   channel.SetPortOpener(cable.Opener());
// The cable must outlive every line it opened. Used from one thread at a time.
class VirtualPort {
public:
    explicit VirtualPort(LinePeer& peer);

    // An opener that connects a new VirtualLine to the peer, whatever the
    // port number, or fails with the error given to FailOpens.
    PortOpener Opener();

    // Makes every following open fail with `error`; nullopt lets opens succeed again.
    void FailOpens(std::optional<PortOpenError> error);

    // The cable's clock, shared by all its lines, in virtual ms.
    double NowMs() const;

    // How many lines were opened, and whether one is open now.
    int OpenCount() const;
    bool IsOpen() const;

    // The number that the last open attempt asked for (0 before any).
    unsigned LastPortNumber() const;

private:
    LinePeer& peer_;
    VirtualClock clock_;
    std::optional<PortOpenError> openFailure_;
    int openCount_ = 0;
    bool open_ = false;
    unsigned lastPortNumber_ = 0;
};

}  // namespace bramis
