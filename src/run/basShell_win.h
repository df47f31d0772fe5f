#pragma once

// Windows side of basShell: process start, shell open and the program's own
// version resource. Only the Win32 API and the standard library are used, so
// the file can be compile-checked with a cross compiler.

#include <string>

namespace win32 {

// Starts the command in a console window of its own
// and polls its exit code every 55 ms. pump is called once per poll; it lets
// the window serve its messages and returns false when the caller gives up
// the wait, which then ends at once and leaves the process running.
// Returns the exit code, -1 when the process cannot be started, -2 when its
// status cannot be read, -3 when the wait was given up.
// The text goes to Windows whole, in UTF-16: a folder name with letters
// beyond the system's code page must reach Robocopy as typed, not as "?".
int RunAndWait(const std::wstring &command, bool (*pump)(void *context), void *context);

// ShellExecuteW with no owner window: 0 on success, otherwise the platform's
// result (0 to 32).
int ShellOpen(const std::wstring &file, const std::wstring &parameters, const std::wstring &verb,
              const std::wstring &folder, int showState);

// Ends the process at once with the code, nothing taken down: the clipboard's
// data is rendered first, so that a copied command outlives the program.
[[noreturn]] void EndProcessNow(unsigned code);

struct VersionResource
{
    std::wstring description;
    int major = 0;
    int minor = 0;
    int revision = 0;
    std::wstring comments;
    std::wstring productName;
};

// Reads the version resource of an executable; false when it has none.
bool ReadVersion(const std::wstring &path, VersionResource &out);
// The same for the running executable.
bool ReadOwnVersion(VersionResource &out);

} // namespace win32
