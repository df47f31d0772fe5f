#pragma once

// Windows side of the run window's progress on its taskbar button
// (ITaskbarList3). Only the Win32 API and the standard library are used, so
// the file can be compile-checked with a cross compiler.

#include <cstdint>

namespace win32 {

enum class TaskbarState : std::uint8_t { None, Indeterminate, Normal, Paused, Error };

// Shows the state and, for Normal, Paused and Error, done of whole on the
// taskbar button of the window. Does nothing where the taskbar offers no
// progress (Windows before 7, a shell without it).
void SetTaskbarProgress(std::uintptr_t window, TaskbarState state, std::uint64_t done, std::uint64_t whole);

} // namespace win32
