// The taskbar button's progress through ITaskbarList3 (Windows 7 and later).
// Where the shell offers no such object the calls do nothing.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <QWidget>

#include "taskbar_progress.h"

namespace bramis {
namespace {

// The shell's taskbar object, made once on the GUI thread and kept for the
// life of the program; null where there is none.
ITaskbarList3* Taskbar() {
    static ITaskbarList3* const taskbar = [] {
        // Qt has initialised COM on this thread already; a second initialisation
        // in the same mode is harmless and one in another mode is refused.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ITaskbarList3* list = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&list))) ||
            list == nullptr)
            return static_cast<ITaskbarList3*>(nullptr);
        if (FAILED(list->HrInit())) {
            list->Release();
            return static_cast<ITaskbarList3*>(nullptr);
        }
        return list;
    }();
    return taskbar;
}

HWND WindowOf(QWidget* window) {
    return window != nullptr ? reinterpret_cast<HWND>(window->window()->winId()) : nullptr;
}

}  // namespace

void ShowTaskbarProgress(QWidget* window, int percent) {
    ITaskbarList3* taskbar = Taskbar();
    const HWND hwnd = WindowOf(window);
    if (taskbar == nullptr || hwnd == nullptr) return;
    taskbar->SetProgressState(hwnd, TBPF_NORMAL);
    taskbar->SetProgressValue(hwnd, static_cast<ULONGLONG>(percent < 0 ? 0 : percent), 100);
}

void ShowTaskbarFailure(QWidget* window) {
    ITaskbarList3* taskbar = Taskbar();
    const HWND hwnd = WindowOf(window);
    if (taskbar == nullptr || hwnd == nullptr) return;
    taskbar->SetProgressState(hwnd, TBPF_ERROR);
}

void ClearTaskbarProgress(QWidget* window) {
    ITaskbarList3* taskbar = Taskbar();
    const HWND hwnd = WindowOf(window);
    if (taskbar == nullptr || hwnd == nullptr) return;
    taskbar->SetProgressState(hwnd, TBPF_NOPROGRESS);
}

}  // namespace bramis
