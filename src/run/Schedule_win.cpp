// Win32 side of scheduling. Built on Windows only.
#ifdef _WIN32

#include "Schedule_win.h"

#define SECURITY_WIN32
#include <windows.h>
#include <security.h>

namespace win32 {

std::wstring CurrentUserId()
{
    ULONG size = 0;
    GetUserNameExW(NameSamCompatible, nullptr, &size);
    if (size == 0)
        return std::wstring();
    std::wstring name(size, L'\0');
    if (!GetUserNameExW(NameSamCompatible, name.data(), &size))
        return std::wstring();
    name.resize(size); // the length without the closing NUL
    return name;
}

} // namespace win32

#endif
