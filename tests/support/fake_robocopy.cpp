// Stands in for ROBOCOPY.EXE in the Windows tests: appends its arguments, as
// the C run time split them, to the file named by CORVANE_TEST_LOG (UTF-8,
// one "ARG" line each between "BEGIN" and "END"), waits /TESTWAIT:seconds
// and exits with /TESTCODE:n. Win32 and the standard library only.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string utf8(const wchar_t *text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? size_t(n - 1) : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

void append(const std::wstring &log, const std::string &text)
{
    // Each write goes to the end at once: nested runs share the file.
    const HANDLE h = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(h);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"CORVANE_TEST_LOG", buffer, 32768);
    const std::wstring log = n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();

    int code = 0;
    int wait = 0;
    std::string record = "BEGIN\n";
    for (int i = 1; i < argc; ++i) {
        record += "ARG " + utf8(argv[i]) + "\n";
        if (std::wcsncmp(argv[i], L"/TESTCODE:", 10) == 0)
            code = _wtoi(argv[i] + 10);
        else if (std::wcsncmp(argv[i], L"/TESTWAIT:", 10) == 0)
            wait = _wtoi(argv[i] + 10);
    }
    if (!log.empty())
        append(log, record);
    std::fputs("  10%\r  55%\r 100%\n", stdout);
    std::fflush(stdout);
    if (wait > 0)
        Sleep(DWORD(wait) * 1000);
    if (!log.empty())
        append(log, "END\n");
    return code;
}
