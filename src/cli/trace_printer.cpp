#include "cli/trace_printer.h"

#include <cstdio>
#include <optional>

#include "cli/flash_texts.h"

namespace bramis::cli {

TraceHandler TracePrinter(std::function<void(const std::string& line)> print) {
    return [print = std::move(print), originMs = std::optional<double>()](
               TraceDirection direction, const std::uint8_t* data, std::size_t length, double atMs) mutable {
        if (!originMs) {
            originMs = atMs;
        }
        std::string line = texts::TraceHead(atMs - *originMs, direction == TraceDirection::Sent);
        if (length == 0) {
            line += texts::TraceNoReply();
        }
        for (std::size_t i = 0; i < length; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, " %02X", data[i]);
            line += byte;
        }
        print(line);
    };
}

}  // namespace bramis::cli
