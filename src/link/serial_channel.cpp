#include "serial_channel.h"

#include <algorithm>
#include <utility>

#include "bootloader.h"
#include "port_discovery.h"
#include "serial_os.h"

namespace bramis {
namespace {

// Chunk reads never ask for more than this many bytes.
constexpr std::uint32_t kMaxChunkBytes = 16;

}  // namespace

void SerialChannel::Trace(TraceDirection direction, const std::uint8_t* data, std::size_t length) {
    if (trace_) {
        trace_(direction, data, length, port_->NowMs());
    }
}

int SerialChannel::OpenPort(unsigned portNumber) {
    // A port left open by a caller that skipped ClosePort is released, not leaked.
    port_.reset();
    if (portNumber == 0 || portNumber > 255) {
        portNumber = 1;
    }
    PortOpenResult result = opener_ ? opener_(portNumber) : SystemPortOpener(overrides_)(portNumber);
    if (!result.port) {
        lastOpenError_ = std::move(result.error);
        return LINK_FAILED;
    }
    port_ = std::move(result.port);
    receivedSinceOpen_ = 0;
    lastOpenError_ = {};
    return LINK_OK;
}

void SerialChannel::ClosePort() {
    // Dropping the handle makes a second close, or I/O after the close,
    // harmless instead of acting on a handle the system may have reused.
    port_.reset();
}

PortBackend* SerialChannel::LivePort() const {
    // Every request to a vanished port fails at once instead of waiting out its pauses.
    return port_ != nullptr && !port_->Vanished() ? port_.get() : nullptr;
}

bool SerialChannel::PortVanished() const {
    return port_ != nullptr && port_->Vanished();
}

void SerialChannel::WritePort(const std::uint8_t* buffer, std::uint32_t length) {
    PortBackend* port = LivePort();
    if (port == nullptr) {
        return;
    }
    Trace(TraceDirection::Sent, buffer, length);
    port->WriteAll(buffer, length);
    port->PurgeInput();
    // 1.2 ms a byte, in 32-bit unsigned arithmetic: 7 bytes pause 8 ms.
    port->SleepMs(length * 12U / 10U);
    port->Drain();
}

std::uint32_t SerialChannel::ReadPort(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                                      std::uint32_t preDelayMs) {
    bytesRead = 0;
    lastReadCount_ = 0;
    PortBackend* port = LivePort();
    if (port == nullptr) {
        return bytesRead;
    }
    if (preDelayMs != 0) {
        port->SleepMs(preDelayMs);
    }
    while (bytesRead < capacity) {
        const std::uint32_t want = std::min(capacity - bytesRead, kMaxChunkBytes);
        const std::size_t got = std::min<std::size_t>(port->ReadChunk(buffer + bytesRead, want), want);
        if (got == 0) {
            break;
        }
        bytesRead += static_cast<std::uint32_t>(got);
    }
    Trace(TraceDirection::Received, buffer, bytesRead);
    lastReadCount_ = bytesRead;
    receivedSinceOpen_ += bytesRead;
    return bytesRead;
}

void SerialChannel::SetPortOpener(PortOpener opener) {
    opener_ = std::move(opener);
}

void SerialChannel::SetPortOverrides(std::map<int, std::string> overrides) {
    overrides_ = std::move(overrides);
}

const PortOpenError& SerialChannel::LastOpenError() const {
    return lastOpenError_;
}

void SerialChannel::SetTraceHandler(TraceHandler handler) {
    trace_ = std::move(handler);
}

PortOpener SystemPortOpener(std::map<int, std::string> overrides) {
    return [overrides = std::move(overrides)](unsigned portNumber) {
        const std::string device = DeviceForPort(static_cast<int>(portNumber), overrides);
        if (device.empty()) {
            return PortOpenResult{nullptr, PortOpenError{OpenFailure::NoSuchPort, {}, 0, {}, {}}};
        }
        return OpenOsPort(device);
    };
}

PortOpener DevicePathOpener(std::string devicePath) {
    return [path = std::move(devicePath)](unsigned) { return OpenOsPort(path); };
}

}  // namespace bramis
