#include "copy/Fd.h"

#include <cstring>

#include <sys/stat.h>

namespace copy {

std::string SystemMessage(int code)
{
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be buffer.
    const char *text = ::strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

SysError IdOf(int fd, FileId &id)
{
    struct stat st;
    if (::fstat(fd, &st) < 0)
        return SysError{errno};
    id = FileId{st.st_dev, st.st_ino};
    return {};
}

} // namespace copy
