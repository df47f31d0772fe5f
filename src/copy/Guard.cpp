#include "copy/Guard.h"

#include "copy/DosAttributes.h"
#include "copy/Walk.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace copy {

namespace {

bool sameIdentity(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The same file as copied: the inode, and neither its content nor anything
// else about it changed since (a write changes mtime, any change ctime).
bool unchangedSince(const struct stat &now, const struct stat &copied)
{
    return sameIdentity(now, copied) && now.st_size == copied.st_size && now.st_mtim.tv_sec == copied.st_mtim.tv_sec
        && now.st_mtim.tv_nsec == copied.st_mtim.tv_nsec && now.st_ctim.tv_sec == copied.st_ctim.tv_sec
        && now.st_ctim.tv_nsec == copied.st_ctim.tv_nsec;
}

FolderId folderIdOf(const struct statx &sx)
{
    FolderId f;
    f.id = FileId{makedev(sx.stx_dev_major, sx.stx_dev_minor), ino_t(sx.stx_ino)};
    f.mode = mode_t(sx.stx_mode);
    f.uid = uid_t(sx.stx_uid);
    f.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    return f;
}

constexpr unsigned kStatxWanted = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO;

// A name for a source file moved aside while it is checked: unique in the
// process, and never one a copy of ours makes in a destination.
std::string asideName()
{
    static std::atomic<uint64_t> counter{0};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ".corvane-moving-%d-%llu", int(::getpid()),
                  static_cast<unsigned long long>(counter.fetch_add(1)));
    return buffer;
}

// A rename that never replaces what stands under the new name (where the file
// system cannot say so, the new name is unique anyway).
int renameNoReplace(int dirFd, const char *from, const char *to)
{
    if (::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat st;
    if (::fstatat(dirFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

std::string markValue(ino_t ino, std::string_view name)
{
    return std::to_string(static_cast<unsigned long long>(ino)) + ':' + std::string(name);
}

} // namespace

SysError IdentifyFolder(int fd, FolderId &folder)
{
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH, kStatxWanted, &sx) < 0)
        return SysError{errno};
    folder = folderIdOf(sx);
    return {};
}

// ------------------------------------------------------------ what is protected

void Guard::setDestinationDevice(dev_t device)
{
    m_device = device;
    m_deviceKnown = true;
}

void Guard::protectSource(int rootFd)
{
    FileId root;
    if (!IdOf(rootFd, root))
        protectSourceFolder(root);
    // The folders above it, up to the file system's root.
    Fd at(::openat(rootFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int depth = 0; at && depth < 4096; ++depth) {
        FileId id;
        if (IdOf(at.get(), id) || std::find(m_holders.begin(), m_holders.end(), id) != m_holders.end() || id == root)
            break;
        m_holders.push_back(id);
        at.reset(::openat(at.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
}

void Guard::protectFile(int fd)
{
    FileId id;
    if (IdOf(fd, id))
        return;
    m_files.push_back(id);
    // The folders above a log are found by its path: /proc names it.
    char path[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    if (n <= 0)
        return;
    std::string folder(path, size_t(n));
    folder.erase(folder.rfind('/') + 1);
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return;
    Fd at(::dup(dir.get()));
    for (int depth = 0; at && depth < 4096; ++depth) {
        FileId above;
        if (IdOf(at.get(), above) || std::find(m_holders.begin(), m_holders.end(), above) != m_holders.end())
            break;
        m_holders.push_back(above);
        at.reset(::openat(at.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
}

void Guard::protectSourceFolder(const FileId &id)
{
    const std::lock_guard lock(m_mutex);
    m_sourceFolders.insert(id);
}

bool Guard::isSourceFolder(const FileId &id) const
{
    const std::lock_guard lock(m_mutex);
    return m_sourceFolders.count(id) != 0;
}

bool Guard::holdsSomething(const FileId &id) const
{
    return std::find(m_holders.begin(), m_holders.end(), id) != m_holders.end();
}

bool Guard::isProtectedFile(const FileId &id) const
{
    return std::find(m_files.begin(), m_files.end(), id) != m_files.end();
}

int Guard::checkDestinationFolder(const FolderId &folder) const
{
    if (folder.mountRoot || foreignDevice(folder.id.dev))
        return kOtherMount;
    if (isSourceFolder(folder.id))
        return kHoldsSource;
    return 0;
}

int Guard::checkRemovableFolder(const FolderId &folder) const
{
    if (const int refused = checkDestinationFolder(folder))
        return refused;
    return holdsSomething(folder.id) ? kHoldsSource : 0;
}

// ------------------------------------------------------------ the destination

int Guard::removeExtraFile(int dirFd, const char *name) const
{
    if (!m_files.empty()) {
        struct stat st;
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && isProtectedFile(FileId{st.st_dev, st.st_ino}))
            return kInUse;
    }
    if (::unlinkat(dirFd, name, 0) < 0 && errno != ENOENT)
        return errno;
    return 0;
}

bool Guard::removeTree(int parentFd, const std::string &name, const RemoveFailure &onFailure,
                       const RemoveKeep &keep) const
{
    const uid_t me = ::geteuid();
    struct Name
    {
        std::string name;
        bool isDir;
        ino_t ino;
    };
    struct Frame
    {
        Fd fd;
        std::string name; // in the folder above
        std::string rel;  // below the tree's folder, ending in '/' ("" for the folder itself)
        FolderId id;
        std::vector<Name> entries;
        size_t next = 0;
        bool complete = true; // everything inside is gone
        bool madeWritable = false;
    };
    std::vector<Frame> stack;

    // Opens a folder to empty it, after the checks; false when it stays
    // (reported), and sets gone when it vanished meanwhile.
    const auto enter = [&](int above, const std::string &entryName, const std::string &rel, bool &gone) {
        gone = false;
        struct statx sx;
        if (::statx(above, entryName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxWanted, &sx) < 0) {
            gone = errno == ENOENT;
            if (!gone)
                onFailure(rel, true, errno);
            return false;
        }
        if (!S_ISDIR(sx.stx_mode)) {
            // Swapped for a file or a link since it was listed: that name goes, nothing is followed.
            const int e = removeExtraFile(above, entryName.c_str());
            gone = e == 0;
            if (e)
                onFailure(rel.substr(0, rel.size() - 1), false, e);
            return false;
        }
        const FolderId id = folderIdOf(sx);
        if (const int refused = checkRemovableFolder(id)) {
            onFailure(rel, true, refused);
            return false;
        }
        SysError err;
        Frame frame;
        frame.fd = OpenFolder(above, entryName, false, err);
        FolderId opened;
        if (frame.fd && !IdentifyFolder(frame.fd.get(), opened) && !(opened.id == id.id))
            err.code = EAGAIN; // replaced between the look and the open
        if (err) {
            gone = err.code == ENOENT;
            if (!gone)
                onFailure(rel, true, err.code);
            return false;
        }
        if (const SysError e = ForEachName(frame.fd.get(), [&](const char *n, unsigned char type, ino_t ino) {
                frame.entries.push_back(Name{n, type == DT_DIR, ino});
                if (type == DT_UNKNOWN) {
                    struct stat st;
                    frame.entries.back().isDir = ::fstatat(frame.fd.get(), n, &st, AT_SYMLINK_NOFOLLOW) == 0
                        && S_ISDIR(st.st_mode);
                }
            })) {
            onFailure(rel, true, e.code);
            return false;
        }
        // A read-only folder of ours is emptied all the same: the owner may write it.
        if (id.uid == me && (id.mode & 0700) != 0700 && !frame.entries.empty())
            frame.madeWritable = ::fchmod(frame.fd.get(), (id.mode & 07777) | 0700) == 0;
        frame.name = entryName;
        frame.rel = rel;
        frame.id = id;
        stack.push_back(std::move(frame));
        return true;
    };

    bool gone = false;
    if (!enter(parentFd, name, std::string(), gone))
        return gone;
    bool result = false;
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next == top.entries.size()) {
            Frame done = std::move(top);
            stack.pop_back();
            const int above = stack.empty() ? parentFd : stack.back().fd.get();
            bool removed = false;
            if (done.complete) {
                if (::unlinkat(above, done.name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
                    removed = true;
                else
                    onFailure(done.rel, true, errno);
            }
            if (!removed && done.madeWritable)
                ::fchmod(done.fd.get(), done.id.mode & 07777);
            if (stack.empty())
                result = removed;
            else if (!removed)
                stack.back().complete = false;
            continue;
        }
        const Name entry = top.entries[top.next++];
        if (!entry.isDir) {
            const std::string rel = top.rel + entry.name;
            int e = 0;
            if (isProtectedFile(FileId{top.id.id.dev, entry.ino}))
                e = kInUse;
            else if (::unlinkat(top.fd.get(), entry.name.c_str(), 0) < 0 && errno != ENOENT)
                e = errno;
            if (e) {
                onFailure(rel, false, e);
                top.complete = false;
            }
            continue;
        }
        const std::string rel = top.rel + entry.name + '/';
        if (keep && keep(rel)) {
            top.complete = false;
            continue;
        }
        const int above = top.fd.get();
        if (!enter(above, entry.name, rel, gone) && !gone)
            stack.back().complete = false; // top may have moved: the vector grew only on success
    }
    return result;
}

int Guard::replace(int dirFd, const char *from, const char *to) const
{
    if (!m_files.empty()) {
        struct stat st;
        if (::fstatat(dirFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0 && isProtectedFile(FileId{st.st_dev, st.st_ino}))
            return kInUse;
    }
    return ::renameat(dirFd, from, dirFd, to) == 0 ? 0 : errno;
}

int Guard::removeTemporary(int dirFd, const char *name) const
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) < 0)
        return errno;
    if (!IsOurTemporary(dirFd, name))
        return EEXIST;
    return ::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT ? 0 : errno;
}

int Guard::discard(int dirFd, const char *name, const FileId &made) const
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) < 0)
        return errno == ENOENT ? 0 : errno;
    if (!(FileId{st.st_dev, st.st_ino} == made))
        return 0; // no longer what this copy made: not ours to delete
    return ::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT ? 0 : errno;
}

// ------------------------------------------------------------ the source

int Guard::removeSourceFile(int dirFd, const char *name, const struct stat &copied, bool followLink, bool asLink) const
{
    struct stat now;
    Fd fd;
    bool leased = false;
    if (asLink) {
        // A link copied as a link: it cannot be opened or leased, only looked at.
        if (::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) < 0)
            return errno == ENOENT ? 0 : errno;
    } else {
        fd.reset(::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW)));
        if (!fd)
            return errno == ENOENT ? 0 : errno; // gone already: nothing of it to delete
        // The lease fails while anyone else has the file open, and holds off
        // any new opener until it is given up (when fd closes).
        leased = ::fcntl(fd.get(), F_SETLEASE, F_WRLCK) == 0;
        if (!leased && (errno == EAGAIN || errno == EBUSY))
            return kInUse;
        if (::fstat(fd.get(), &now) < 0)
            return errno;
    }
    if (!unchangedSince(now, copied) || isProtectedFile(FileId{now.st_dev, now.st_ino}))
        return kInUse;
    // The name goes aside, so that what is deleted is what was checked.
    const std::string aside = asideName();
    if (const int e = renameNoReplace(dirFd, name, aside.c_str()))
        return e == ENOENT ? 0 : e;
    struct stat moved;
    const int flags = followLink ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::fstatat(dirFd, aside.c_str(), &moved, flags) < 0 || !sameIdentity(moved, now)) {
        renameNoReplace(dirFd, aside.c_str(), name);
        return kInUse;
    }
    if (::unlinkat(dirFd, aside.c_str(), 0) < 0) {
        const int e = errno;
        renameNoReplace(dirFd, aside.c_str(), name);
        return e;
    }
    return 0;
}

int Guard::removeSourceFolder(int parentFd, const char *name) const
{
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

int Guard::removeSourceRoot(const char *path) const { return ::rmdir(path) == 0 ? 0 : errno; }

// ------------------------------------------------------------ other files

int Guard::WriteWholeFile(const std::string &path, std::string_view text)
{
    const std::string temp = path + ".corvane-new";
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd)
        return errno;
    FileId made;
    IdOf(fd.get(), made);
    const auto fail = [&](int e) {
        fd.reset();
        struct stat st;
        if (::stat(temp.c_str(), &st) == 0 && FileId{st.st_dev, st.st_ino} == made)
            ::unlink(temp.c_str());
        return e;
    };
    while (!text.empty()) {
        const ssize_t n = ::write(fd.get(), text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        text.remove_prefix(size_t(n));
    }
    if (::fsync(fd.get()) < 0)
        return fail(errno);
    if (const int e = fd.close())
        return fail(e);
    if (::rename(temp.c_str(), path.c_str()) < 0)
        return fail(errno);
    return 0;
}

// ------------------------------------------------------------ temporary files

SysError MarkTemporary(int fd, ino_t ino, std::string_view name)
{
    const std::string value = markValue(ino, name);
    return SysError{::fsetxattr(fd, kTemporaryMark, value.data(), value.size(), 0) == 0 ? 0 : errno};
}

SysError UnmarkTemporary(int fd)
{
    return SysError{::fremovexattr(fd, kTemporaryMark) == 0 || errno == ENODATA ? 0 : errno};
}

bool IsOurTemporary(int dirFd, const char *name)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) < 0 || !S_ISREG(st.st_mode))
        return false;
    std::string value;
    SysError err;
    return GetXattr(XattrPlace{-1, dirFd, name, false}, kTemporaryMark, value, err)
        && value == markValue(st.st_ino, name);
}

} // namespace copy
