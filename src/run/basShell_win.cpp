// Win32 implementation of basShell. Built on Windows only.
#ifdef _WIN32

#include "basShell_win.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

namespace win32 {

int RunAndWait(const std::wstring &command, bool (*pump)(void *context), void *context)
{
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};

    // CreateProcessW may write into the command buffer, so it gets a copy.
    std::vector<wchar_t> buffer(command.begin(), command.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &si, &pi))
        return -1;

    DWORD code = 0;
    int result = 0;
    for (;;) {
        if (!GetExitCodeProcess(pi.hProcess, &code)) {
            result = -2;
            break;
        }
        if (pump && !pump(context)) {
            result = -3; // the process is left running; only our handles go
            break;
        }
        Sleep(55);
        if (code != STILL_ACTIVE) {
            result = static_cast<int>(code);
            break;
        }
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return result;
}

int ShellOpen(const std::wstring &file, const std::wstring &parameters, const std::wstring &verb,
              const std::wstring &folder, int showState)
{
    auto orNull = [](const std::wstring &s) { return s.empty() ? nullptr : s.c_str(); };
    const HINSTANCE h = ShellExecuteW(nullptr, orNull(verb), file.c_str(), orNull(parameters),
                                      orNull(folder), showState);
    const INT_PTR value = reinterpret_cast<INT_PTR>(h);
    return value > 32 ? 0 : static_cast<int>(value);
}

void EndProcessNow(unsigned code)
{
    // Data the program put on the clipboard is otherwise rendered only as
    // the program takes OLE down.
    OleFlushClipboard();
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code); // not reached
}

namespace {
std::wstring queryString(const std::vector<char> &data, WORD language, WORD codePage, const wchar_t *field)
{
    wchar_t key[96];
    std::swprintf(key, 96, L"\\StringFileInfo\\%04x%04x\\%ls", language, codePage, field);
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), key, &value, &length) || !value || length == 0)
        return std::wstring();
    return std::wstring(static_cast<const wchar_t *>(value));
}
} // namespace

bool ReadVersion(const std::wstring &path, VersionResource &out)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return false;

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<LPVOID *>(&fixed), &length) || !fixed)
        return false;
    // The numbers come from the binary file version: major.minor in the high
    // word pair, the revision in the last word.
    out.major = HIWORD(fixed->dwFileVersionMS);
    out.minor = LOWORD(fixed->dwFileVersionMS);
    out.revision = LOWORD(fixed->dwFileVersionLS);

    struct Translation { WORD language; WORD codePage; } *translations = nullptr;
    WORD language = 0x0409, codePage = 0x04b0;
    if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translations),
                       &length) && translations && length >= sizeof(Translation)) {
        language = translations[0].language;
        codePage = translations[0].codePage;
    }
    out.description = queryString(data, language, codePage, L"FileDescription");
    out.comments = queryString(data, language, codePage, L"Comments");
    out.productName = queryString(data, language, codePage, L"ProductName");
    return true;
}

bool ReadOwnVersion(VersionResource &out)
{
    // A path longer than MAX_PATH is possible: grow the buffer until it fits.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0)
            return false;
        if (n < path.size())
            return ReadVersion(std::wstring(path.data(), n), out);
        path.resize(path.size() * 2);
    }
}

} // namespace win32

#endif // _WIN32
