// Win32 side of the listing before a run. Built on Windows only.
#ifdef _WIN32

#include "Listing_win.h"

#include <windows.h>

#include <climits>

namespace win32 {

std::wstring FromOemCodePage(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > size_t(INT_MAX))
        return std::wstring();
    const int length = int(bytes.size());
    const int n = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), length, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring text(size_t(n), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), length, text.data(), n);
    return text;
}

} // namespace win32

#endif
