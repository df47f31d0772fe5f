// Win32 implementation of basShell. Built on Windows only.
#ifdef _WIN32

#include "basShell_win.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

namespace win32 {

int RunAndWait(const std::string &command, bool (*pump)(void *context), void *context)
{
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi{};

    // CreateProcessA may write into the command buffer, so it gets a copy.
    std::vector<char> buffer(command.begin(), command.end());
    buffer.push_back('\0');
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
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

int ShellOpen(const std::string &file, const std::string &parameters, const std::string &verb,
              const std::string &folder, int showState)
{
    auto orNull = [](const std::string &s) { return s.empty() ? nullptr : s.c_str(); };
    const HINSTANCE h = ShellExecuteA(nullptr, orNull(verb), file.c_str(), orNull(parameters),
                                      orNull(folder), showState);
    const INT_PTR value = reinterpret_cast<INT_PTR>(h);
    return value > 32 ? 0 : static_cast<int>(value);
}

namespace {
std::string queryString(const std::vector<char> &data, WORD language, WORD codePage, const char *field)
{
    char key[96];
    std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\%s", language, codePage, field);
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), key, &value, &length) || !value || length == 0)
        return std::string();
    return std::string(static_cast<const char *>(value));
}
} // namespace

bool ReadOwnVersion(VersionResource &out)
{
    char path[MAX_PATH + 1] = {};
    if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0)
        return false;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path, 0, size, data.data()))
        return false;

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<LPVOID *>(&fixed), &length) || !fixed)
        return false;
    // The numbers come from the binary file version: major.minor in the high
    // word pair, the revision in the last word.
    out.major = HIWORD(fixed->dwFileVersionMS);
    out.minor = LOWORD(fixed->dwFileVersionMS);
    out.revision = LOWORD(fixed->dwFileVersionLS);

    struct Translation { WORD language; WORD codePage; } *translations = nullptr;
    WORD language = 0x0409, codePage = 0x04b0;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translations),
                       &length) && translations && length >= sizeof(Translation)) {
        language = translations[0].language;
        codePage = translations[0].codePage;
    }
    out.description = queryString(data, language, codePage, "FileDescription");
    out.comments = queryString(data, language, codePage, "Comments");
    out.productName = queryString(data, language, codePage, "ProductName");
    return true;
}

} // namespace win32

#endif // _WIN32
