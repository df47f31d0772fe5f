#pragma once

// Windows side of basShell: process start, shell open and the program's own
// version resource. Only the Win32 API and the standard library are used, so
// the file can be compile-checked with a cross compiler.

#include <string>

namespace win32 {

// Starts the command (system code page text) in a console window of its own
// and polls its exit code every 55 ms. pump is called once per poll; it lets
// the window serve its messages and returns false when the caller gives up
// the wait, which then ends at once and leaves the process running.
// Returns the exit code, -1 when the process cannot be started, -2 when its
// status cannot be read, -3 when the wait was given up.
int RunAndWait(const std::string &command, bool (*pump)(void *context), void *context);

// ShellExecuteA with no owner window: 0 on success, otherwise the platform's
// result (0 to 32).
int ShellOpen(const std::string &file, const std::string &parameters, const std::string &verb,
              const std::string &folder, int showState);

struct VersionResource
{
    std::string description;
    int major = 0;
    int minor = 0;
    int revision = 0;
    std::string comments;
    std::string productName;
};

// Reads the version resource of the running executable; false when it has none.
bool ReadOwnVersion(VersionResource &out);

} // namespace win32
