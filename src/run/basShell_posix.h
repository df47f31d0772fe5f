#pragma once

// POSIX side of basShell: the start of the stand-in console and the wait for
// it. Only POSIX and the standard library are used, as on the Windows side.

#include <string>

namespace posix {

// Starts program with argument as its single argument and polls its end every
// 55 ms. pump is called once per poll; it lets the window serve its events
// and returns false when the caller gives up the wait, which then ends at
// once and leaves the program running (its end is still collected, so it
// leaves no zombie). Returns the exit code, -1 when the program cannot be
// started, -2 when its status cannot be read, -3 when the wait was given up,
// -4 when a signal ended it (killed, crashed).
int RunAndWait(const std::string &program, const std::string &argument, bool (*pump)(void *context), void *context);

} // namespace posix
