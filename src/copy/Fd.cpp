#include "copy/Fd.h"

#include <cstring>

namespace copy {

std::string SystemMessage(int code)
{
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be buffer.
    const char *text = ::strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

} // namespace copy
