// POSIX side of AtomicFile. Built everywhere but Windows.
#ifndef _WIN32

#include "AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace atomicfile {

namespace {

bool writeAllAt(int fd, std::string_view data, off_t offset)
{
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd, data.data(), data.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(size_t(n));
        offset += n;
    }
    return true;
}

bool rewrite(int fd, std::string_view data)
{
    return writeAllAt(fd, data, 0) && ::ftruncate(fd, off_t(data.size())) == 0 && ::fsync(fd) == 0;
}

// Makes a rename durable: the folder's entry reaches the disk as well.
void syncFolder(const std::filesystem::path &file)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

NewFile::~NewFile()
{
    if (m_handle >= 0) {
        ::unlink(m_path.c_str());
        ::close(int(m_handle));
    }
}

Create NewFile::create(const std::filesystem::path &path, const std::filesystem::path &like)
{
    struct stat old;
    const bool hasOld = ::stat(like.c_str(), &old) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, hasOld ? 0600 : 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return Create::Exists;
        return errno == EACCES || errno == EPERM ? Create::Denied : Create::Failed;
    }
    m_path = path;
    m_handle = fd;
    // The lock tells removeAbandoned() that the file is in use; a file
    // system without locks only loses that protection.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (hasOld)
        ::fchmod(fd, old.st_mode & 07777);
    return Create::Ok;
}

bool NewFile::write(std::string_view data)
{
    return m_handle >= 0 && writeAllAt(int(m_handle), data, 0) && ::fsync(int(m_handle)) == 0;
}

bool NewFile::commit(const std::filesystem::path &target)
{
    if (m_handle < 0 || ::rename(m_path.c_str(), target.c_str()) != 0)
        return false;
    syncFolder(target);
    ::close(int(m_handle)); // only now: the lock is held until the rename is done
    m_handle = -1;
    return true;
}

bool overwrite(const std::filesystem::path &path, std::string_view data)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    std::string old;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        old.resize(size_t(st.st_size));
        size_t got = 0;
        while (ok && got < old.size()) {
            const ssize_t n = ::pread(fd, old.data() + got, old.size() - got, off_t(got));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            got += ok ? size_t(n) : 0;
        }
    }
    if (ok && !rewrite(fd, data)) {
        rewrite(fd, old);
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool canWrite(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool removeAbandoned(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    const bool removed = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::unlink(path.c_str()) == 0;
    ::close(fd);
    return removed;
}

} // namespace atomicfile

#endif
