// --trace: every request and reply of a job in hex, as lines of its own.
#pragma once

#include <functional>
#include <string>

#include "link/serial_channel.h"

namespace bramis::cli {

// A trace handler that hands `print` one line per request or reply: the
// milliseconds since the first, the direction, the bytes. The channel's thread.
TraceHandler TracePrinter(std::function<void(const std::string& line)> print);

}  // namespace bramis::cli
