// Win32 side of basCommonDialog. Built on Windows only.
#ifdef _WIN32

#include "basCommonDialog_win.h"

#include <windows.h>

#include <commdlg.h>

#include <vector>

namespace win32 {

SaveDialogAnswer SaveFileDialog(std::uintptr_t owner, const std::wstring &title, const std::wstring &initialFile,
                                const std::wstring &nulFilter, unsigned flags)
{
    // Room for the longest path Windows knows, not only MAX_PATH: a longer
    // name would otherwise end the dialog as if it had been cancelled.
    std::vector<wchar_t> file(32768, L'\0');
    initialFile.copy(file.data(), file.size() - 1);
    std::wstring filter = nulFilter;
    filter.push_back(L'\0'); // the terminator, whatever nulFilter holds at its end

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 0; // the first entry
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = initialFile.empty() ? nullptr : initialFile.c_str();
    ofn.lpstrTitle = title.c_str();
    // No default extension: the caller's rule alone decides the name. The
    // current folder stays: cmd.exe looks for programs there first. A save
    // dialog has no use for the read-only box of the open dialog.
    ofn.lpstrDefExt = nullptr;
    ofn.Flags = DWORD(flags) | OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;

    SaveDialogAnswer answer;
    if (!GetSaveFileNameW(&ofn))
        return answer;
    answer.accepted = true;
    answer.path = file.data(); // up to the first NUL
    answer.filterIndex = int(ofn.nFilterIndex);
    return answer;
}

} // namespace win32

#endif // _WIN32
