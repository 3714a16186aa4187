// The port doctor's checks on Linux: who may open the node, other programs
// holding it, the adapter, brltty and ModemManager (CheckPort).
#include <type_traits>

#include "link/port_checks.h"
#include "report/port_doctor.h"
#include "report/words.h"

namespace bramis {

std::vector<DoctorEntry> SystemEntries(const DoctorPort& port) {
    const PortCheckResult result = CheckPort(port.device, CurrentPortUser());
    std::vector<DoctorEntry> entries;
    if (const auto& usb = result.usb) {
        entries.push_back(words::DoctorAdapter(DescribeAdapter(usb->names), usb->vendorId + ":" + usb->productId,
                                               usb->driver));
        if (!usb->names.stablePath.empty()) entries.push_back(words::DoctorStableName(usb->names.stablePath));
        if (!usb->socketPath.empty()) entries.push_back(words::DoctorSocketName(usb->socketPath));
    }
    for (const PortFinding& finding : result.findings) {
        entries.push_back(std::visit(
            [&](const auto& f) {
                using Kind = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<Kind, NodeMissing>) {
                    return words::DoctorNodeMissing(result.device);
                } else if constexpr (std::is_same_v<Kind, NodeNotPermitted>) {
                    return words::DoctorNotPermitted(result.device, f.group);
                } else if constexpr (std::is_same_v<Kind, HeldByProcess>) {
                    return words::DoctorHeld(f.name, static_cast<long>(f.pid));
                } else if constexpr (std::is_same_v<Kind, LatencyAboveDefault>) {
                    return words::DoctorLatency(f.latencyMs, f.attributePath);
                } else if constexpr (std::is_same_v<Kind, BrlttyClaims>) {
                    return words::DoctorBrltty(f.rulesFile, f.running);
                } else if constexpr (std::is_same_v<Kind, ModemManagerProbes>) {
                    return words::DoctorModemManager();
                } else {
                    static_assert(std::is_same_v<Kind, CheckNotMade>);
                    return words::DoctorNotChecked(f.path);
                }
            },
            finding));
    }
    return entries;
}

// The holders are named among the system's findings.
std::string BusyRemedy() { return "закройте программу, которая его открыла"; }

}  // namespace bramis
