#pragma once

// Windows side of basCommonDialog: the system's own save dialog. Only the
// Win32 API and the standard library are used, so the file can be
// compile-checked with a cross compiler.

#include <cstdint>
#include <string>

namespace win32 {

struct SaveDialogAnswer
{
    bool accepted = false; // false: cancelled, or the dialog failed
    std::wstring path;     // as the user chose it; the dialog adds no extension
    int filterIndex = 0;   // 1-based entry chosen when the user pressed Save
};

// GetSaveFileNameW owned by the given window (0: none), so that the window
// waits for it. The filter is in its NUL-separated form with the final
// double NUL; the initial file name also names the starting folder. The
// dialog adds no default extension and leaves the current folder as it was.
SaveDialogAnswer SaveFileDialog(std::uintptr_t owner, const std::wstring &title, const std::wstring &initialFile,
                                const std::wstring &nulFilter, unsigned flags);

} // namespace win32
