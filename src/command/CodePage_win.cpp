// Win32 side of CodePage. Built on Windows only.
#ifdef _WIN32

#include "CodePage_win.h"

#include <windows.h>

#include <climits>

namespace win32 {

unsigned OemCodePage() { return GetOEMCP(); }
unsigned AnsiCodePage() { return GetACP(); }

bool DecodeCodePage(const std::string &bytes, unsigned codePage, bool lenient, std::wstring &out)
{
    out.clear();
    if (bytes.empty())
        return IsValidCodePage(codePage) != 0;
    if (bytes.size() > size_t(INT_MAX))
        return false;
    const DWORD flags = lenient ? 0 : MB_ERR_INVALID_CHARS;
    const int size = int(bytes.size());
    const int n = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return false;
    out.resize(size_t(n));
    return MultiByteToWideChar(codePage, flags, bytes.data(), size, out.data(), n) == n;
}

bool EncodeCodePage(const std::wstring &text, unsigned codePage, std::string &out)
{
    out.clear();
    if (text.empty())
        return IsValidCodePage(codePage) != 0;
    if (text.size() > size_t(INT_MAX))
        return false;
    const int size = int(text.size());
    // No best fit: a letter the code page lacks must not become another one.
    // Some code pages take neither the flag nor the question (UTF-7, GB18030,
    // the ISO-2022 ones); the round trip below judges those.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *askDefault = &usedDefault;
    int n = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, askDefault);
    if (n <= 0 && (GetLastError() == ERROR_INVALID_FLAGS || GetLastError() == ERROR_INVALID_PARAMETER)) {
        flags = 0;
        askDefault = nullptr;
        n = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, askDefault);
    }
    if (n <= 0 || usedDefault)
        return false;
    out.resize(size_t(n));
    if (WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), n, nullptr, askDefault) != n
        || usedDefault)
        return false;
    // Only what reads back as the very same text fits.
    std::wstring back;
    return DecodeCodePage(out, codePage, false, back) && back == text;
}

} // namespace win32

#endif // _WIN32
