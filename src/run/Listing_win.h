#pragma once

// Windows side of the listing before a run. Only the Win32 API and the
// standard library are used, so the file can be compile-checked with a
// cross compiler.

#include <string>
#include <string_view>

namespace win32 {

// Text as a console program writes it into a pipe, in the OEM code page
// (the console's), as UTF-16.
std::wstring FromOemCodePage(std::string_view bytes);

} // namespace win32
