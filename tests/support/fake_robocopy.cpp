// Stands in for ROBOCOPY.EXE in the Windows tests: appends its arguments, as
// the C run time split them, to the file named by CORVANE_TEST_LOG (UTF-8,
// one "ARG" line each between "BEGIN" and "END"), waits /TESTWAIT:seconds
// and exits with /TESTCODE:n. Given /L, it prints listing.txt from its own
// folder (UTF-8) in the OEM code page, as Robocopy writes into a pipe, and
// exits with /TESTLISTCODE:n when that is given. Otherwise, given
// /TESTOUTPUT:name (or the environment variable CORVANE_TEST_OUTPUT, for a
// run whose command cannot carry the switch), it prints that file from its
// folder the same way, a line at a time with /TESTDELAY:ms (or
// CORVANE_TEST_DELAY) between lines, as a run prints its report. Win32 and
// the standard library only.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
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

// The text of a file beside this program, in the OEM code page; false
// when there is no such file.
bool readBeside(const std::wstring &name, std::string &out)
{
    wchar_t self[32768];
    const DWORD n = GetModuleFileNameW(nullptr, self, 32768);
    if (n == 0 || n >= 32768)
        return false;
    std::wstring path(self, n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + name;
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::string utf8;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0)
        utf8.append(buffer, read);
    CloseHandle(h);
    if (utf8.empty())
        return true;
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(wide > 0 ? wide : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), wide);
    const int oem = WideCharToMultiByte(CP_OEMCP, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    out.assign(size_t(oem > 0 ? oem : 0), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, text.data(), wide, out.data(), oem, nullptr, nullptr);
    return true;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    // The bytes go out as they are: the C run time would add a carriage
    // return before each line feed, and a recorded output has its own.
    _setmode(_fileno(stdout), _O_BINARY);
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(L"CORVANE_TEST_LOG", buffer, 32768);
    const std::wstring log = n > 0 && n < 32768 ? std::wstring(buffer, n) : std::wstring();

    int code = 0;
    int wait = 0;
    int listCode = -1;
    int delay = 0;
    bool listing = false;
    std::wstring output;
    const auto variable = [&buffer](const wchar_t *name) {
        const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
        return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
    };
    output = variable(L"CORVANE_TEST_OUTPUT");
    delay = _wtoi(variable(L"CORVANE_TEST_DELAY").c_str());
    std::string record = "BEGIN\n";
    for (int i = 1; i < argc; ++i) {
        record += "ARG " + utf8(argv[i]) + "\n";
        if (std::wcsncmp(argv[i], L"/TESTCODE:", 10) == 0)
            code = _wtoi(argv[i] + 10);
        else if (std::wcsncmp(argv[i], L"/TESTWAIT:", 10) == 0)
            wait = _wtoi(argv[i] + 10);
        else if (std::wcsncmp(argv[i], L"/TESTLISTCODE:", 14) == 0)
            listCode = _wtoi(argv[i] + 14);
        else if (std::wcsncmp(argv[i], L"/TESTOUTPUT:", 12) == 0)
            output = argv[i] + 12;
        else if (std::wcsncmp(argv[i], L"/TESTDELAY:", 11) == 0)
            delay = _wtoi(argv[i] + 11);
        else if (_wcsicmp(argv[i], L"/L") == 0)
            listing = true;
    }
    if (!log.empty())
        append(log, record);
    std::string text;
    if (listing && readBeside(L"listing.txt", text)) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (listCode >= 0)
            code = listCode;
    } else if (!listing && !output.empty() && readBeside(output, text)) {
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
            std::fwrite(text.data() + at, 1, end - at, stdout);
            std::fflush(stdout);
            at = end;
            if (delay > 0)
                Sleep(DWORD(delay));
        }
    } else {
        std::fputs("  10%\r  55%\r 100%\n", stdout);
    }
    std::fflush(stdout);
    if (wait > 0)
        Sleep(DWORD(wait) * 1000);
    if (!log.empty())
        append(log, "END\n");
    return code;
}
