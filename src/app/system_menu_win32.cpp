#include "system_menu.h"

#include <windows.h>

namespace bramis {

bool AppendToSystemMenu(void* nativeWindow, const wchar_t* text, unsigned commandId) {
    HMENU systemMenu = GetSystemMenu(static_cast<HWND>(nativeWindow), FALSE);
    if (systemMenu == nullptr || text == nullptr || *text == L'\0') return false;
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, commandId, text);
    return true;
}

bool IsSystemMenuCommand(void* message, unsigned commandId) {
    const MSG* msg = static_cast<const MSG*>(message);
    // The system uses the low four bits of a system command itself.
    return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == commandId;
}

}  // namespace bramis
