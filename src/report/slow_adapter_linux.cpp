#include <unistd.h>

#include "link/port_checks.h"
#include "report/job_report.h"

namespace bramis {

std::optional<SlowAdapter> SlowAdapterOf(const std::string& device) {
    if (device.empty()) return std::nullopt;
    for (const PortFinding& finding : CheckPort(device, CurrentPortUser()).findings) {
        if (const auto* slow = std::get_if<LatencyAboveDefault>(&finding))
            return SlowAdapter{slow->latencyMs, slow->attributePath};
    }
    return std::nullopt;
}

}  // namespace bramis
