// Tells the settings window when serial ports may have come or gone, so that
// its list follows an adapter plugged in or pulled out while it is open.
#pragma once

#include <functional>

class QObject;

namespace bramis {

// Calls `changed` on the GUI thread whenever the machine's set of serial
// ports may have changed; the watch is a child of `owner` and ends with it.
// Linux: a change of the device folders (no port is opened to find out).
// Windows: a look every 1.5 s (the system's port list costs no open either).
// GUI thread.
void WatchPortChanges(QObject* owner, std::function<void()> changed);

}  // namespace bramis
