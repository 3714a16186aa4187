#include <type_traits>

#include "cli/doctor_command.h"
#include "cli/flash_texts.h"
#include "link/port_checks.h"

namespace bramis::cli {

int SystemChecks(const std::string& device, std::vector<std::string>& lines) {
    const PortCheckResult result = CheckPort(device, CurrentPortUser());
    if (const auto& usb = result.usb) {
        lines.push_back(texts::DoctorAdapter(DescribeAdapter(usb->names), usb->vendorId + ":" + usb->productId, usb->driver));
        if (!usb->names.stablePath.empty()) lines.push_back(texts::DoctorStableName(usb->names.stablePath));
        if (!usb->socketPath.empty()) lines.push_back(texts::DoctorSocketName(usb->socketPath));
    }
    int problems = 0;
    for (const PortFinding& finding : result.findings) {
        std::visit(
            [&](const auto& f) {
                using Kind = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<Kind, NodeMissing>) {
                    lines.push_back(texts::DoctorNodeMissing(result.device));
                } else if constexpr (std::is_same_v<Kind, NodeNotPermitted>) {
                    lines.push_back(texts::DoctorNotPermitted(result.device, f.group));
                } else if constexpr (std::is_same_v<Kind, HeldByProcess>) {
                    lines.push_back(texts::DoctorHeld(f.name, static_cast<long>(f.pid)));
                } else if constexpr (std::is_same_v<Kind, LatencyAboveDefault>) {
                    lines.push_back(texts::DoctorLatency(f.latencyMs, f.attributePath));
                } else if constexpr (std::is_same_v<Kind, BrlttyClaims>) {
                    lines.push_back(texts::DoctorBrltty(f.rulesFile, f.running));
                } else if constexpr (std::is_same_v<Kind, ModemManagerProbes>) {
                    lines.push_back(texts::DoctorModemManager());
                } else {
                    static_assert(std::is_same_v<Kind, CheckNotMade>);
                    lines.push_back(texts::DoctorNotChecked(f.path));
                    return;  // no problem found, only a check not made
                }
                ++problems;
            },
            finding);
    }
    return problems;
}

}  // namespace bramis::cli
