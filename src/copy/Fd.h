#pragma once

#include <cerrno>
#include <string>
#include <utility>

#include <sys/types.h>
#include <unistd.h>

// A file descriptor that closes itself. The engine works on folder
// descriptors (openat, fstatat, renameat, unlinkat) rather than rebuilt
// paths, so these are passed around everywhere.
namespace copy {

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Closes and reports the error close() gave (EIO on some network file
    // systems is where a failed write shows up last). 0 when it went well.
    int close()
    {
        if (m_fd < 0)
            return 0;
        const int r = ::close(std::exchange(m_fd, -1));
        return r == 0 ? 0 : errno;
    }

private:
    int m_fd = -1;
};

// A failed system call: the errno it gave, 0 when there is none.
struct SysError
{
    int code = 0;
    explicit operator bool() const { return code != 0; }
};

// The system's message for an errno, as strerror gives it (thread-safe).
std::string SystemMessage(int code);

// The (device, inode) of a file: what the engine knows a file or folder by.
struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId &) const = default;
};
SysError IdOf(int fd, FileId &id);

} // namespace copy
