#include "copy/Walk.h"

#include "copy/Times.h"

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace copy {

namespace {

NodeKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return NodeKind::File;
    if (S_ISDIR(mode))
        return NodeKind::Directory;
    return NodeKind::Other;
}

void fill(Node &n, const struct stat &st)
{
    n.mode = st.st_mode;
    n.size = S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? uint64_t(st.st_size) : 0;
    n.mtimeNs = NsOf(st.st_mtim);
    n.atimeNs = NsOf(st.st_atim);
}

static_assert(sizeof(Node) <= 40, "a listed entry stays small: a folder may hold millions");

bool isDots(const char *name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

// Reads the names of a folder open on fd, from its start.
template<typename Each>
SysError readNamesOf(int fd, Each each)
{
    if (::lseek(fd, 0, SEEK_SET) < 0)
        return SysError{errno};
    alignas(8) char buffer[32768];
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return SysError{errno};
        }
        if (n == 0)
            return {};
        for (ssize_t at = 0; at < n;) {
            const auto *d = reinterpret_cast<const struct dirent64 *>(buffer + at);
            at += d->d_reclen;
            if (!isDots(d->d_name))
                each(d->d_name, d->d_type, ino_t(d->d_ino));
        }
    }
}

} // namespace

SysError Listing::read(int fd, bool followLinks)
{
    if (const SysError e = readNames(fd))
        return e;
    statRange(fd, followLinks, 0, size());
    return finish();
}

SysError Listing::readNames(int fd)
{
    m_nodes.clear();
    m_unseen.clear();
    m_names.clear();
    m_statFailure = 0;
    struct stat self;
    if (::fstat(fd, &self) < 0)
        return SysError{errno};
    m_device = self.st_dev;
    int tooLong = 0;
    const SysError e = readNamesOf(fd, [&](const char *name, unsigned char, ino_t) {
        const size_t length = std::strlen(name);
        if (length > UINT16_MAX || m_names.size() + length >= UINT32_MAX) {
            tooLong = ENAMETOOLONG; // beyond what any file system gives
            return;
        }
        Node n;
        n.nameAt = uint32_t(m_names.size());
        n.nameLength = uint16_t(length);
        m_names.append(name, length + 1);
        m_nodes.push_back(n);
    });
    if (tooLong)
        m_statFailure = tooLong;
    return e;
}

void Listing::statRange(int fd, bool followLinks, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i) {
        Node &n = m_nodes[i];
        const char *name = m_names.data() + n.nameAt;
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) < 0) {
            if (errno != ENOENT)
                m_statFailure = errno;
            n.mode = 0; // vanished since the listing (or not to be looked at): left out
            n.size = errno == ENOENT ? 0 : uint64_t(errno); // why, for unseen()
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            n.isLink = true;
            struct stat target;
            if (::fstatat(fd, name, &target, 0) == 0) {
                n.kind = kindOf(target.st_mode);
                const struct stat &shown = followLinks ? target : st;
                fill(n, shown);
                n.otherDevice = shown.st_dev != m_device;
            } else {
                n.kind = NodeKind::Dangling;
                n.linkError = uint8_t(errno > 0 && errno < 256 ? errno : ENOENT);
                fill(n, st);
            }
        } else {
            n.kind = kindOf(st.st_mode);
            fill(n, st);
            n.otherDevice = st.st_dev != m_device;
        }
    }
}

SysError Listing::finish()
{
    // Entries stat could not see are left out (a real mode is never 0).
    for (const Node &n : m_nodes)
        if (n.mode == 0 && n.size)
            m_unseen.emplace_back(std::string(m_names.data() + n.nameAt, n.nameLength), int(n.size));
    std::sort(m_unseen.begin(), m_unseen.end());
    m_nodes.erase(std::remove_if(m_nodes.begin(), m_nodes.end(), [](const Node &n) { return n.mode == 0; }),
                  m_nodes.end());
    // A folder whose entries cannot be looked at (no search right) cannot
    // be copied either: that is a failure of the listing, not an empty folder.
    if (m_statFailure && m_nodes.empty())
        return SysError{m_statFailure.load()};
    const char *names = m_names.data();
    std::sort(m_nodes.begin(), m_nodes.end(), [names](const Node &a, const Node &b) {
        return std::string_view(names + a.nameAt, a.nameLength) < std::string_view(names + b.nameAt, b.nameLength);
    });
    return {};
}

void Listing::release()
{
    std::vector<Node>().swap(m_nodes);
    std::vector<std::pair<std::string, int>>().swap(m_unseen);
    std::string().swap(m_names);
}

Fd OpenFolder(int parentFd, const std::string &name, bool followLink, SysError &err)
{
    Fd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
    err.code = fd ? 0 : errno;
    return fd;
}

SysError ForEachName(int fd, const std::function<void(const char *name, unsigned char type, ino_t ino)> &each)
{
    return readNamesOf(fd, each);
}

} // namespace copy
