// Which COM numbers have a serial device behind them on this machine, for the
// settings window's port list and `bramis-flash ports`.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace bramis {

// The COM numbers a port can have.
inline constexpr int kLowestPortNumber = 1;
inline constexpr int kHighestPortNumber = 255;

struct FoundPort {
    int number = 0;        // COM number: 1..255 when probed; as named when listed by the system
    std::string device{};  // what opening it opens
    // The adapter as the system names it ("FT232R USB UART (A50285BI)") and,
    // on Linux, its /dev/serial/by-id path and the /dev/serial/by-path one of
    // the USB socket it is in; empty when unknown (AddPortDetails).
    std::string description{};
    std::string stablePath{};
    std::string socketPath{};
    // Windows: where the adapter is plugged in, as the system names it
    // ("Port_#0002.Hub_#0001"); empty when unknown.
    std::string location{};
};

// The device COM `portNumber` stands for: the per-user override when there is
// one, otherwise the platform's fixed mapping; "" when there is none. Any thread.
std::string DeviceForPort(int portNumber, const std::map<int, std::string>& overrides);

// The probing rule: true when `device` opens for reading and writing, or
// fails only because it is in use or access is denied; any other failure
// means absent. A successful open is closed at once. Any thread, but not
// while a job has the same port open.
bool ProbeSerialDevice(const std::string& device);

// Probes COM 1..255 (each number that maps to a device) and returns the
// present ones in ascending order. On Linux that is COM 1..96 of the fixed
// ranges and the overridden numbers. Any thread, between jobs.
std::vector<FoundPort> DiscoverPorts(const std::map<int, std::string>& overrides);

}  // namespace bramis
