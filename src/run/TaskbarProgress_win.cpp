// Win32 side of the taskbar progress. Built on Windows only.
#ifdef _WIN32

#include "TaskbarProgress_win.h"

#include <windows.h>
#include <shobjidl.h>

namespace win32 {

namespace {

// One instance for the program's life, made on first use on the window's
// thread (COM is set up there by the toolkit).
ITaskbarList3 *taskbar()
{
    static ITaskbarList3 *list = [] {
        ITaskbarList3 *made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void **>(&made))))
            return static_cast<ITaskbarList3 *>(nullptr);
        if (FAILED(made->HrInit())) {
            made->Release();
            return static_cast<ITaskbarList3 *>(nullptr);
        }
        return made;
    }();
    return list;
}

} // namespace

void SetTaskbarProgress(std::uintptr_t window, TaskbarState state, std::uint64_t done, std::uint64_t whole)
{
    ITaskbarList3 *list = taskbar();
    if (!list || !window)
        return;
    const HWND hwnd = reinterpret_cast<HWND>(window);
    TBPFLAG flag = TBPF_NOPROGRESS;
    switch (state) {
    case TaskbarState::None: flag = TBPF_NOPROGRESS; break;
    case TaskbarState::Indeterminate: flag = TBPF_INDETERMINATE; break;
    case TaskbarState::Normal: flag = TBPF_NORMAL; break;
    case TaskbarState::Paused: flag = TBPF_PAUSED; break;
    case TaskbarState::Error: flag = TBPF_ERROR; break;
    }
    list->SetProgressState(hwnd, flag);
    if (state == TaskbarState::Normal || state == TaskbarState::Paused || state == TaskbarState::Error)
        list->SetProgressValue(hwnd, done, whole > 0 ? whole : 1);
}

} // namespace win32

#endif // _WIN32
