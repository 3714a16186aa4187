#include "system_menu.h"

namespace bramis {

bool AppendToSystemMenu(void* /*nativeWindow*/, const wchar_t* /*text*/, unsigned /*commandId*/) { return false; }

bool IsSystemMenuCommand(void* /*message*/, unsigned /*commandId*/) { return false; }

}  // namespace bramis
