#include "job/device_finder.h"

#include "link/bootloader.h"
#include "link/serial_channel.h"

namespace bramis {

FindResult FindDevice(const std::vector<FoundPort>& ports, const std::atomic<bool>& cancel,
                      const std::function<void(std::size_t index)>& progress,
                      const std::function<PortOpener(const FoundPort&)>& openerFor) {
    FindResult result;
    for (std::size_t index = 0; index < ports.size(); ++index) {
        if (cancel) {
            result.cancelled = true;
            return result;
        }
        if (progress) progress(index);
        const FoundPort& port = ports[index];
        SerialChannel channel;
        channel.SetPortOpener(openerFor ? openerFor(port) : DevicePathOpener(port.device));
        if (channel.OpenPort(static_cast<unsigned>(port.number)) != LINK_OK) {
            result.openError = channel.LastOpenError();
            continue;
        }
        bool answered = false;
        for (int tried = 0; tried < kFindEnterTries && !answered && !cancel; ++tried) {
            answered = EnterProgramming(channel) == LINK_OK;
        }
        RunProgram(channel);
        channel.ClosePort();
        if (answered) {
            result.found = port;
            return result;
        }
    }
    result.cancelled = cancel;
    return result;
}

}  // namespace bramis
