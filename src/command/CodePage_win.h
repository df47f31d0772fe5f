#pragma once

// Windows side of CodePage: the system's code pages and conversions by
// number. Only the Win32 API and the standard library are used, so the file
// can be compile-checked with a cross compiler.

#include <string>

namespace win32 {

// GetOEMCP and GetACP.
unsigned OemCodePage();
unsigned AnsiCodePage();

// The text in the code page. False when a character has no exact
// counterpart there (Windows would put a look-alike or "?" in its place) or
// the code page is not installed.
bool EncodeCodePage(const std::wstring &text, unsigned codePage, std::string &out);
// The bytes read in the code page. False when they are no valid text in it,
// or the code page is not installed; with lenient, invalid bytes become
// U+FFFD instead.
bool DecodeCodePage(const std::string &bytes, unsigned codePage, bool lenient, std::wstring &out);

} // namespace win32
