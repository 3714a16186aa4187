// The About item of the main window's system menu, where the platform has a
// system menu that a program can reach (Windows). Elsewhere these do nothing
// and the About command of the window's own menu serves.
#pragma once

namespace bramis {

// Appends a separator and the item `text` with `commandId` (low four bits
// clear) to the system menu of the native window `nativeWindow`. Returns false,
// adding nothing, when `text` is empty, the window has no system menu or the
// platform none that a program can reach. GUI thread.
bool AppendToSystemMenu(void* nativeWindow, const wchar_t* text, unsigned commandId);

// True when the native message `message` is the choice of the system-menu
// item `commandId`. GUI thread.
bool IsSystemMenuCommand(void* message, unsigned commandId);

}  // namespace bramis
