#include "serial_channel.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "bootloader.h"
#include "port_discovery.h"
#include "serial_os.h"

namespace bramis {
namespace {

// Chunk reads never ask for more than this many bytes.
constexpr std::uint32_t kMaxChunkBytes = 16;

// The channel: one port at most, process-wide. Only the transfer worker uses
// it while a job runs; the Set* functions are called between jobs.
struct Channel {
    std::unique_ptr<PortBackend> port;
    PortOpener opener;
    std::map<int, std::string> overrides;
    std::string lastOpenError;
    TraceHandler trace;
};

Channel& TheChannel() {
    static Channel channel;
    return channel;
}

void Trace(TraceDirection direction, const std::uint8_t* data, std::size_t length) {
    Channel& channel = TheChannel();
    if (channel.trace) {
        channel.trace(direction, data, length, channel.port->NowMs());
    }
}

}  // namespace

int OpenPort(unsigned portNumber) {
    Channel& channel = TheChannel();
    // A port left open by a caller that skipped ClosePort is released, not leaked.
    channel.port.reset();
    if (portNumber == 0 || portNumber > 255) {
        portNumber = 1;
    }
    PortOpenResult result = channel.opener ? channel.opener(portNumber) : SystemPortOpener()(portNumber);
    if (!result.port) {
        channel.lastOpenError = result.error.empty() ? "порт не открывается" : std::move(result.error);
        return LINK_FAILED;
    }
    channel.port = std::move(result.port);
    channel.lastOpenError.clear();
    return LINK_OK;
}

void ClosePort() {
    // Dropping the handle makes a second close, or I/O after the close,
    // harmless instead of acting on a handle the system may have reused.
    TheChannel().port.reset();
}

namespace {

// The open port, or null when none is open or it has vanished: every request
// to a vanished port fails at once instead of waiting out its pauses.
PortBackend* LivePort() {
    PortBackend* port = TheChannel().port.get();
    return port != nullptr && !port->Vanished() ? port : nullptr;
}

}  // namespace

void WritePort(const std::uint8_t* buffer, std::uint32_t length) {
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

std::uint32_t ReadPort(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t& bytesRead,
                       std::uint32_t preDelayMs) {
    bytesRead = 0;
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
    return bytesRead;
}

void SetPortOpener(PortOpener opener) {
    TheChannel().opener = std::move(opener);
}

PortOpener SystemPortOpener() {
    return [](unsigned portNumber) {
        const std::string device = DeviceForPort(static_cast<int>(portNumber), TheChannel().overrides);
        if (device.empty()) {
            return PortOpenResult{nullptr, "COM" + std::to_string(portNumber) + ": в этой системе нет такого порта"};
        }
        return OpenOsPort(device);
    };
}

void SetPortOverrides(std::map<int, std::string> overrides) {
    TheChannel().overrides = std::move(overrides);
}

PortOpener DevicePathOpener(std::string devicePath) {
    return [path = std::move(devicePath)](unsigned) { return OpenOsPort(path); };
}

std::string OpenFailureReason(const std::string& devicePath, OpenFailure failure, const std::string& systemError) {
    const char* reason = "";
    switch (failure) {
        case OpenFailure::NoSuchDevice: reason = "нет такого устройства"; break;
        case OpenFailure::NoAccess: reason = "нет прав на доступ к устройству"; break;
        case OpenFailure::Busy: reason = "порт занят другой программой"; break;
        case OpenFailure::NotASerialPort: reason = "это устройство не последовательный порт"; break;
        case OpenFailure::Gone: reason = "устройство не отвечает или отключено"; break;
        case OpenFailure::Other: return devicePath + ": системная ошибка " + systemError;
    }
    return devicePath + ": " + reason;
}

bool PortVanished() {
    const PortBackend* port = TheChannel().port.get();
    return port != nullptr && port->Vanished();
}

std::string LastOpenError() {
    return TheChannel().lastOpenError;
}

void SetTraceHandler(TraceHandler handler) {
    TheChannel().trace = std::move(handler);
}

}  // namespace bramis
