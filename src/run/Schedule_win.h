#pragma once

// Windows side of scheduling. Only the Win32 API and the standard library are
// used, so the file can be compile-checked with a cross compiler.

#include <string>

namespace win32 {

// The signed-in user as the Task Scheduler names a task's account:
// "DOMAIN\user" (the computer's name for a local account); empty when
// Windows does not tell.
std::wstring CurrentUserId();

} // namespace win32
