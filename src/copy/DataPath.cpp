#include "copy/DataPath.h"

#include "copy/DosAttributes.h"
#include "copy/Times.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace copy {

// ------------------------------------------------------------ capabilities

bool DeviceCapabilities::has(dev_t from, dev_t to, Feature f) const
{
    const std::lock_guard lock(m_mutex);
    for (const Row &r : m_rows)
        if (r.from == from && r.to == to)
            return !(r.refused & f);
    return true;
}

bool DeviceCapabilities::refuse(dev_t from, dev_t to, Feature f)
{
    const std::lock_guard lock(m_mutex);
    for (Row &r : m_rows)
        if (r.from == from && r.to == to) {
            const bool first = !(r.refused & f);
            r.refused = uint8_t(r.refused | f);
            return first;
        }
    m_rows.push_back(Row{from, to, uint8_t(f)});
    return true;
}

std::string FailureMessage(int code)
{
    switch (code) {
    case kSourceChanged: return "The source file changed while it was being copied.";
    case kInUse: return "The process cannot access the file because it is being used by another process.";
    case kHoldsSource: return "This is the source, a folder of it or a folder that holds it: never deleted or written into.";
    case kOtherMount: return "Another file system is mounted here: a run does not cross into it.";
    default: return SystemMessage(code);
    }
}

int ShownErrorNumber(int code)
{
    switch (code) {
    case kSourceChanged: return EAGAIN;
    case kInUse: return 32; // Windows' ERROR_SHARING_VIOLATION, as Robocopy shows it
    case kHoldsSource: return EBUSY;
    case kOtherMount: return EXDEV;
    default: return code;
    }
}

// ------------------------------------------------------------ temporary names

namespace {

constexpr std::string_view kTempHead = ".corvane-";
constexpr std::string_view kTempTail = ".tmp";

uint64_t fnv1a(std::string_view s)
{
    uint64_t h = 0xcbf29ce484222325ULL;
    for (const char c : s) {
        h ^= uint8_t(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

void appendHex(std::string &out, uint64_t v, bool fixed)
{
    char buffer[20];
    std::snprintf(buffer, sizeof buffer, fixed ? "%016llx" : "%llx", static_cast<unsigned long long>(v));
    out += buffer;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

} // namespace

std::string TempPrefix(std::string_view finalName)
{
    std::string out(kTempHead);
    appendHex(out, fnv1a(finalName), true);
    out += '-';
    return out;
}

std::string TempName(std::string_view finalName, uint64_t size, int64_t mtimeNs, unsigned variant)
{
    std::string out = TempPrefix(finalName);
    appendHex(out, size, false);
    out += '-';
    appendHex(out, uint64_t(mtimeNs), false);
    if (variant) {
        out += '-';
        appendHex(out, variant, false);
    }
    out += kTempTail;
    return out;
}

bool IsTempName(std::string_view name)
{
    if (name.size() < kTempHead.size() + 16 + 1 + 1 + 1 + 1 + kTempTail.size()
        || name.substr(0, kTempHead.size()) != kTempHead
        || name.substr(name.size() - kTempTail.size()) != kTempTail)
        return false;
    std::string_view rest = name.substr(kTempHead.size(), name.size() - kTempHead.size() - kTempTail.size());
    for (size_t i = 0; i < 16; ++i)
        if (!isHex(rest[i]))
            return false;
    if (rest[16] != '-')
        return false;
    rest.remove_prefix(17);
    // Two or three groups of 1 to 16 hex digits: size, time, variant.
    for (int group = 0; group < 3; ++group) {
        const size_t dash = rest.find('-');
        const std::string_view digits = rest.substr(0, dash);
        if (digits.empty() || digits.size() > 16 || !std::all_of(digits.begin(), digits.end(), isHex))
            return false;
        if (dash == std::string_view::npos)
            return group >= 1;
        rest.remove_prefix(dash + 1);
    }
    return false;
}

// ------------------------------------------------------------ the copy

namespace {

constexpr uint64_t kDefaultChunk = 1u << 20;       // read/write buffer
constexpr uint64_t kRangeChunk = 64u << 20;        // copy_file_range per call (progress steps)
constexpr uint64_t kGapChunk = 64u << 10;          // /IPG's 64 KiB
constexpr uint64_t kResumeAlign = 1u << 20;        // a resumed copy restarts on a MiB boundary
constexpr size_t kDirectAlign = 4096;

bool unsupportedRange(int e) { return e == EXDEV || e == EINVAL || e == EOPNOTSUPP || e == ENOSYS || e == EBADF; }
bool unsupportedClone(int e)
{
    return e == EOPNOTSUPP || e == EINVAL || e == EXDEV || e == ENOTTY || e == ENOSYS || e == EBADF || e == EPERM;
}

struct AlignedBuffer
{
    explicit AlignedBuffer(size_t n)
    {
        void *p = nullptr;
        if (::posix_memalign(&p, kDirectAlign, n) == 0)
            data.reset(static_cast<char *>(p));
        size = data ? n : 0;
    }
    struct Free
    {
        void operator()(char *p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> data;
    size_t size = 0;
};

// Paces a copy to /IPG and /IORATE.
class Pacer
{
public:
    Pacer(const DataPathSettings &s, uint64_t fileSize)
        : m_gap(s.gapMs), m_rate(s.ioRate && fileSize >= s.ioThreshold ? s.ioRate : 0),
          m_start(std::chrono::steady_clock::now())
    {
    }
    bool active() const { return m_gap || m_rate; }
    void after(uint64_t chunkBytes, uint64_t totalBytes)
    {
        if (m_gap && chunkBytes)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_gap));
        if (m_rate) {
            const auto due = m_start + std::chrono::microseconds(totalBytes * 1000000 / m_rate);
            std::this_thread::sleep_until(due);
        }
    }

private:
    unsigned m_gap;
    uint64_t m_rate;
    std::chrono::steady_clock::time_point m_start;
};

// pwrite all of it, or an errno.
int writeAll(int fd, const char *p, size_t n, off_t at)
{
    while (n) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (w == 0)
            return EIO;
        p += w;
        n -= size_t(w);
        at += w;
    }
    return 0;
}

struct DataCopy
{
    int src;
    int dst;
    const DataPathSettings &settings;
    DeviceCapabilities &caps;
    const Progress &progress;
    dev_t srcDev;
    dev_t dstDev;
    uint64_t size;
    bool direct = false;
    uint64_t reached = 0; // how far the copy got: short of size when the source shrank

    // Copies [from, to) through user space; *at advances.
    int userSpace(uint64_t &at, uint64_t to, Pacer &pacer)
    {
        uint64_t chunk = settings.ioMaxSize ? settings.ioMaxSize : kDefaultChunk;
        if (settings.gapMs)
            chunk = kGapChunk;
        if (direct)
            chunk = std::max<uint64_t>(chunk / kDirectAlign * kDirectAlign, kDirectAlign);
        // No bigger than the file needs, in whole blocks for O_DIRECT.
        const uint64_t need = (std::max<uint64_t>(to - at, 1) + kDirectAlign - 1) / kDirectAlign * kDirectAlign;
        AlignedBuffer buffer(size_t(std::min<uint64_t>(chunk, need)));
        if (!buffer.data)
            return ENOMEM;
        while (at < to) {
            const size_t want = size_t(std::min<uint64_t>(buffer.size, to - at));
            // O_DIRECT reads whole blocks; the tail of the file comes back short.
            const size_t ask = direct ? (want + kDirectAlign - 1) / kDirectAlign * kDirectAlign : want;
            const ssize_t r = ::pread(src, buffer.data.get(), std::min(ask, buffer.size), off_t(at));
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (r == 0)
                return 0; // shorter than it was: the check after the copy tells
            size_t n = std::min(size_t(r), want);
            if (direct && n % kDirectAlign) {
                // The last, partial block is written buffered.
                const size_t whole = n / kDirectAlign * kDirectAlign;
                if (whole) {
                    if (const int e = writeAll(dst, buffer.data.get(), whole, off_t(at)))
                        return e;
                }
                const int flags = ::fcntl(dst, F_GETFL);
                if (flags < 0 || ::fcntl(dst, F_SETFL, flags & ~O_DIRECT) < 0)
                    return errno;
                direct = false;
                if (const int e = writeAll(dst, buffer.data.get() + whole, n - whole, off_t(at + whole)))
                    return e;
            } else if (const int e = writeAll(dst, buffer.data.get(), n, off_t(at))) {
                return e;
            }
            at += n;
            pacer.after(n, at);
            if (progress)
                progress(at, size);
        }
        return 0;
    }

    // Copies [from, to) in the kernel when it can, else through user space.
    int range(uint64_t &at, uint64_t to, Pacer &pacer)
    {
        const bool kernel = !settings.userSpace && !settings.noClone && !direct && !pacer.active()
            && caps.has(srcDev, dstDev, DeviceCapabilities::CopyRange);
        if (kernel) {
            while (at < to) {
                loff_t in = loff_t(at), out = loff_t(at);
                const size_t want = size_t(std::min<uint64_t>(to - at, settings.ioMaxSize ? settings.ioMaxSize
                                                                                           : kRangeChunk));
                const ssize_t n = ::copy_file_range(src, &in, dst, &out, want, 0);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    if (unsupportedRange(errno)) {
                        caps.refuse(srcDev, dstDev, DeviceCapabilities::CopyRange);
                        break;
                    }
                    return errno;
                }
                if (n == 0)
                    break; // some file systems give 0 where they cannot: read it ourselves
                at += uint64_t(n);
                if (progress)
                    progress(at, size);
            }
        }
        return at < to ? userSpace(at, to, pacer) : 0;
    }

    int run(uint64_t from)
    {
        Pacer pacer(settings, size);
        uint64_t at = from;
        if (!settings.sparse) {
            const int e = range(at, size, pacer);
            reached = at;
            return e;
        }
        // Only the data of a sparse file is copied; the holes stay holes,
        // since the file gets its full length at the end.
        while (at < size) {
            const off_t data = ::lseek(src, off_t(at), SEEK_DATA);
            if (data < 0) {
                if (errno == ENXIO)
                    break; // a hole to the end
                if (errno != EINVAL && errno != EOPNOTSUPP)
                    return errno;
                const int e = range(at, size, pacer);
                reached = at;
                return e;
            }
            off_t hole = ::lseek(src, data, SEEK_HOLE);
            if (hole < 0)
                hole = off_t(size);
            at = uint64_t(data);
            if (const int e = range(at, std::min(uint64_t(hole), size), pacer))
                return e;
            if (at < uint64_t(hole) && at < size) {
                reached = at;
                return 0; // shorter than it was
            }
        }
        if (::ftruncate(dst, off_t(size)) < 0)
            return errno;
        at = size;
        reached = size;
        if (progress)
            progress(at, size);
        return 0;
    }
};

// What the list of a source's extended attributes told about its DOS
// attributes: not looked at, absent, or there.
enum class Listed : uint8_t { Unknown, Absent, Present };

// The names of a file's extended attributes (NUL-separated), or an errno.
int listXattrs(int fd, std::string &names)
{
    char small[1024];
    const ssize_t n = ::flistxattr(fd, small, sizeof small);
    if (n >= 0) {
        names.assign(small, size_t(n));
        return 0;
    }
    while (errno == ERANGE) {
        const ssize_t need = ::flistxattr(fd, nullptr, 0);
        if (need < 0)
            return errno;
        names.resize(size_t(need));
        const ssize_t m = ::flistxattr(fd, names.data(), names.size());
        if (m >= 0) {
            names.resize(size_t(m));
            return 0;
        }
    }
    return errno;
}

template <typename Each>
void forEachName(const std::string &names, Each each)
{
    for (size_t at = 0; at < names.size();) {
        const char *p = names.c_str() + at;
        const size_t length = std::strlen(p);
        if (length)
            each(std::string_view(p, length), p);
        at += length + 1;
    }
}

bool listedIn(const std::string &names, std::string_view name)
{
    bool found = false;
    forEachName(names, [&](std::string_view n, const char *) { found = found || n == name; });
    return found;
}

// The kinds of extended attributes a copy carries as they are.
enum class XattrKind : uint8_t {
    Streams,  // user.*, but the DOS attributes (A's business) and our own marks
    Security, // security.*: capabilities, labels (S, as root)
};

bool ofKind(std::string_view name, XattrKind kind)
{
    if (kind == XattrKind::Security)
        return name.substr(0, 9) == "security.";
    return name.substr(0, 5) == "user." && name != kDosAttribName
        && name.substr(0, kOwnXattrPrefix.size()) != kOwnXattrPrefix;
}

// Copies the extended attributes of one kind named in srcNames; with
// removeOthers, those of the kind the destination has and the source has
// not go (a folder that stood there already). A destination that keeps no
// such attributes is noted in caps, and then nothing is a failure.
int copyXattrs(int src, int dst, const std::string &srcNames, XattrKind kind, bool removeOthers, dev_t dstDev,
               DeviceCapabilities &caps)
{
    if (kind == XattrKind::Streams && !caps.has(dstDev, dstDev, DeviceCapabilities::UserXattrs))
        return 0;
    int failure = 0;
    bool unsupported = false;
    const auto fail = [&](int e) {
        if (IsNoXattrSupport(e))
            unsupported = true;
        else if (!failure)
            failure = e;
    };
    std::string value;
    forEachName(srcNames, [&](std::string_view name, const char *cname) {
        if (failure || unsupported || !ofKind(name, kind))
            return;
        SysError err;
        if (!GetXattr(XattrPlace{src, -1, nullptr}, cname, value, err)) {
            if (err)
                failure = err.code;
            return; // gone meanwhile
        }
        if (const SysError set = SetXattr(XattrPlace{dst, -1, nullptr}, cname, value))
            fail(set.code);
    });
    if (!failure && !unsupported && removeOthers) {
        std::string dstNames;
        if (const int e = listXattrs(dst, dstNames))
            fail(e);
        forEachName(dstNames, [&](std::string_view name, const char *cname) {
            if (!failure && ofKind(name, kind) && !listedIn(srcNames, name))
                if (const SysError e = RemoveXattr(XattrPlace{dst, -1, nullptr}, cname))
                    fail(e.code);
        });
    }
    if (unsupported && kind == XattrKind::Streams)
        caps.refuse(dstDev, dstDev, DeviceCapabilities::UserXattrs);
    return failure;
}

// The POSIX ACLs: the access ACL always, the default one of a folder.
int copyAcls(int src, int dst, bool folder, dev_t srcDev, dev_t dstDev, DeviceCapabilities &caps)
{
    static constexpr const char *names[] = {"system.posix_acl_access", "system.posix_acl_default"};
    if (!caps.has(dstDev, dstDev, DeviceCapabilities::Acls))
        return 0;
    for (int i = 0; i < (folder ? 2 : 1); ++i) {
        std::string value;
        SysError err;
        const bool has = caps.has(srcDev, srcDev, DeviceCapabilities::Acls)
            && GetXattr(XattrPlace{src, -1, nullptr}, names[i], value, err);
        if (err) {
            if (!IsNoXattrSupport(err.code))
                return err.code;
            caps.refuse(srcDev, srcDev, DeviceCapabilities::Acls);
        }
        // Without an ACL on the source, none inherited from the destination
        // folder may stay either: the mode alone then tells.
        const SysError e = has ? SetXattr(XattrPlace{dst, -1, nullptr}, names[i], value)
                               : RemoveXattr(XattrPlace{dst, -1, nullptr}, names[i]);
        if (e) {
            if (IsNoXattrSupport(e.code)) {
                caps.refuse(dstDev, dstDev, DeviceCapabilities::Acls);
                return 0;
            }
            return e.code;
        }
    }
    return 0;
}

// Owner and group where allowed: a user who is not root cannot give a file
// away, and may set only a group of their own. Those refusals are not
// failures ("where allowed"); others are. now ends as the file's own stat.
int copyOwner(int dst, const struct stat &src, struct stat &now)
{
    if (::fstat(dst, &now) < 0)
        return errno;
    if (src.st_uid == now.st_uid && src.st_gid == now.st_gid)
        return 0;
    if (::fchown(dst, src.st_uid, src.st_gid) < 0) {
        if (errno != EPERM)
            return errno;
        if (src.st_gid != now.st_gid && ::fchown(dst, uid_t(-1), src.st_gid) < 0 && errno != EPERM)
            return errno;
    }
    return ::fstat(dst, &now) < 0 ? errno : 0;
}

// The permission bits of the source as R leaves them: A carries the owner's
// write bit as it is, without A a copy may be written, /A+:R and /A-:R
// decide last.
mode_t permissionsOf(const struct stat &src, const CopyFlags &flags, uint32_t add, uint32_t remove)
{
    mode_t mode = src.st_mode & 07777;
    if (!flags.attributes)
        mode = ModeWithReadOnly(mode, false);
    if (add & Attr::ReadOnly)
        mode = ModeWithReadOnly(mode, true);
    if (remove & Attr::ReadOnly)
        mode = ModeWithReadOnly(mode, false);
    return mode;
}

// The mode a copy ends with, from the mode it has now. With S the source's
// whole mode, but set-user-ID and set-group-ID only where the copy has the
// source's owner and group: never someone else's program run as the copier.
// Without S the permission bits as creation gave them (the umask or the
// folder's default ACL took their share, as for any new file of the copier;
// an existing folder keeps its own), the owner's write bit as R says, never
// set-ID or sticky of the source's: as cp without -p. A folder keeps what
// it has of those (the set-group-ID bit a folder inherits from its parent);
// one this run made got the owner's bits for the work inside, and takes the
// source's now, as a new folder of the copier would have them.
mode_t targetMode(mode_t permissions, const struct stat &now, const struct stat &src, bool security, bool folder,
                  bool made, mode_t umask)
{
    if (security) {
        mode_t mode = permissions;
        if (now.st_uid != src.st_uid)
            mode &= ~mode_t(S_ISUID);
        if (now.st_gid != src.st_gid)
            mode &= ~mode_t(S_ISGID);
        return mode;
    }
    const mode_t kept = now.st_mode & (folder ? 07777 : 0777);
    if (folder && made)
        return (kept & ~mode_t(0700)) | (permissions & 0700 & ~umask);
    return (kept & ~mode_t(S_IWUSR)) | (permissions & S_IWUSR);
}

// Which properties applyProperties sets.
namespace Part {
constexpr unsigned Streams = 1;  // user extended attributes (D, or E for a folder)
constexpr unsigned Acls = 2;     // S
constexpr unsigned Owner = 4;    // O
constexpr unsigned Letters = 8;  // A: user.DOSATTRIB
constexpr unsigned Mode = 16;
constexpr unsigned Times = 32;   // T
constexpr unsigned All = 63;
} // namespace Part

// What a destination is like before applyProperties: its stat when the
// caller knows it (a file just made with a known mode), else it is asked.
struct DstState
{
    bool known = false;
    struct stat st{};
    bool created = true; // made by this run: a folder's mode is then the source's
};

// Every property but the content, on the new file or the folder. In an
// order that keeps each: streams while the owner may still write, ACLs, the
// owner (chown clears set-ID bits and capabilities), the letters before the
// mode (a read-only file takes no more user attributes from one who is not
// root), the mode, security.* after the owner, times last.
CopyFailure applyProperties(int src, const struct stat &srcStat, int dst, dev_t dstDev, bool folder, DstState state,
                            const DataPathSettings &s, DeviceCapabilities &caps, unsigned parts = Part::All)
{
    const CopyFlags &f = folder ? s.folder : s.file;
    const bool rootSecurity = f.security && s.privileged;
    Listed dosAttrib = Listed::Unknown;
    std::string srcNames;
    const bool streams = (parts & Part::Streams) && (folder ? f.extended : f.data && !f.noStreams);
    if ((streams || rootSecurity) && caps.has(srcStat.st_dev, srcStat.st_dev, DeviceCapabilities::UserXattrs)) {
        if (const int e = listXattrs(src, srcNames)) {
            if (!IsNoXattrSupport(e))
                return {e, ErrorAction::CopyingFile};
            caps.refuse(srcStat.st_dev, srcStat.st_dev, DeviceCapabilities::UserXattrs);
        } else {
            dosAttrib = listedIn(srcNames, kDosAttribName) ? Listed::Present : Listed::Absent;
        }
    }
    if (streams) {
        if (const int e = copyXattrs(src, dst, srcNames, XattrKind::Streams, folder && !state.created, dstDev, caps))
            return {e, ErrorAction::CopyingFile};
    }
    if (f.security && (parts & Part::Acls)) {
        if (const int e = copyAcls(src, dst, folder, srcStat.st_dev, dstDev, caps))
            return {e, ErrorAction::CopyingSecurity};
    }
    struct stat &now = state.st;
    if (f.owner && (parts & Part::Owner)) {
        if (const int e = copyOwner(dst, srcStat, now))
            return {e, ErrorAction::CopyingSecurity};
        state.known = true;
    }
    const uint32_t add = folder ? 0 : s.attribAdd;
    const uint32_t remove = folder ? 0 : s.attribRemove;
    if ((parts & Part::Letters) && (f.attributes || add || remove)) {
        uint32_t attrib = 0;
        if (f.attributes) {
            std::string value;
            SysError err;
            bool has = false;
            if (dosAttrib != Listed::Absent && caps.has(srcStat.st_dev, srcStat.st_dev, DeviceCapabilities::UserXattrs)) {
                has = GetXattr(XattrPlace{src, -1, nullptr}, kDosAttribName, value, err);
                if (err && IsNoXattrSupport(err.code)) {
                    caps.refuse(srcStat.st_dev, srcStat.st_dev, DeviceCapabilities::UserXattrs);
                    err = {};
                }
                if (err)
                    return {err.code, ErrorAction::CopyingFile};
            }
            attrib = AttributesFrom(srcStat.st_mode, folder, has, value);
        }
        if (!folder)
            attrib |= Attr::Archive;
        attrib = (attrib | add) & ~remove;
        if (caps.has(dstDev, dstDev, DeviceCapabilities::UserXattrs)) {
            // A folder that stood there already may hold a value of its own.
            std::string previous;
            SysError err;
            const bool hasPrevious = folder && GetXattr(XattrPlace{dst, -1, nullptr}, kDosAttribName, previous, err);
            bool unsupported = false;
            const SysError e = WriteAttributes(XattrPlace{dst, -1, nullptr}, attrib, folder, hasPrevious, previous,
                                               unsupported);
            if (unsupported)
                caps.refuse(dstDev, dstDev, DeviceCapabilities::UserXattrs);
            else if (e)
                return {e.code, ErrorAction::ChangingFileAttributes};
        }
    }
    if (parts & Part::Mode) {
        if (!state.known) {
            if (::fstat(dst, &now) < 0)
                return {errno, ErrorAction::ChangingFileAttributes};
            state.known = true;
        }
        const mode_t mode = targetMode(permissionsOf(srcStat, f, add, remove), now, srcStat, f.security, folder,
                                       state.created, s.umask);
        if ((now.st_mode & 07777) != mode && ::fchmod(dst, mode) < 0)
            return {errno, ErrorAction::ChangingFileAttributes};
    }
    if (rootSecurity && (parts & Part::Acls)) {
        if (const int e = copyXattrs(src, dst, srcNames, XattrKind::Security, folder && !state.created, dstDev, caps))
            return {e, ErrorAction::CopyingSecurity};
    }
    if (f.times && (parts & Part::Times)) {
        const struct timespec times[2] = {srcStat.st_atim, srcStat.st_mtim};
        if (::futimens(dst, times) < 0)
            return {errno, ErrorAction::SettingFileTimes};
    }
    return {};
}

bool sameContentStamp(const struct stat &a, const struct stat &b)
{
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

namespace {

// O_TMPFILE refused by the file system (or by a kernel that predates it).
bool unsupportedUnnamed(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL; }

// Links an unnamed file (O_TMPFILE) under a name. Linking by the descriptor
// itself needs a kernel that allows it to the file's opener (or
// CAP_DAC_READ_SEARCH); else the name under /proc is linked, and the device
// is marked so that later files take the temporary name instead.
int linkUnnamed(int fd, int dirFd, const char *name, dev_t dstDev, DeviceCapabilities &caps)
{
    if (::linkat(fd, "", dirFd, name, AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return errno;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), dirFd, name, AT_SYMLINK_FOLLOW) < 0)
        return errno;
    caps.refuse(dstDev, dstDev, DeviceCapabilities::UnnamedFile);
    return 0;
}

// A file of ours under a temporary name.
struct Temporary
{
    std::string name;
    FileId id;
    bool marked = false;
};

// Marks a temporary file as ours, where the device keeps user attributes.
void mark(int fd, Temporary &temp, dev_t dstDev, DeviceCapabilities &caps)
{
    if (!caps.has(dstDev, dstDev, DeviceCapabilities::UserXattrs))
        return;
    const SysError e = MarkTemporary(fd, temp.id.ino, temp.name);
    if (e && IsNoXattrSupport(e.code))
        caps.refuse(dstDev, dstDev, DeviceCapabilities::UserXattrs);
    temp.marked = !e;
}

// The temporary names of a final name, in turn: one that is free, or
// whose file a claim can take (a stale temporary of ours, removed, for
// claim to make it again), ends the search. Anything else under such a name
// is the user's and stays: the next variant is tried.
template <typename Claim>
int claimTemporary(const FileCopy &job, const struct stat &st, Temporary &temp, Claim claim)
{
    for (unsigned variant = 0; variant < 16; ++variant) {
        temp.name = TempName(job.dstName, uint64_t(st.st_size), NsOf(st.st_mtim), variant);
        int e = claim(temp.name.c_str());
        if (e == EEXIST && job.guard.removeTemporary(job.dstDir, temp.name.c_str()) == 0)
            e = claim(temp.name.c_str());
        if (e != EEXIST)
            return e;
    }
    return EEXIST;
}

// Gives an unnamed file its final name. A name that appeared meanwhile is
// replaced, as a rename would: the file gets a temporary name first (marked
// as ours) and is renamed over it.
int linkIntoPlace(int fd, const FileCopy &job, const struct stat &st, dev_t dstDev, DeviceCapabilities &caps)
{
    const int e = linkUnnamed(fd, job.dstDir, job.dstName.c_str(), dstDev, caps);
    if (e != EEXIST)
        return e;
    Temporary temp;
    struct stat made;
    if (::fstat(fd, &made) < 0)
        return errno;
    temp.id = FileId{made.st_dev, made.st_ino};
    if (const int t = claimTemporary(job, st, temp, [&](const char *name) {
            temp.name = name;
            mark(fd, temp, dstDev, caps);
            return linkUnnamed(fd, job.dstDir, name, dstDev, caps);
        }))
        return t;
    if (const int r = job.guard.replace(job.dstDir, temp.name.c_str(), job.dstName.c_str())) {
        job.guard.discard(job.dstDir, temp.name.c_str(), temp.id);
        return r;
    }
    if (temp.marked)
        UnmarkTemporary(fd);
    return 0;
}

} // namespace

FileCopyResult CopyFile(const FileCopy &job, const DataPathSettings &settings, DeviceCapabilities &caps,
                        const Progress &progress)
{
    FileCopyResult result;
    const int follow = job.followLink ? 0 : O_NOFOLLOW;
    // O_NONBLOCK: should the name have become a FIFO since the listing, the
    // open must not hang; it is refused below as not a file.
    Fd src(::openat(job.srcDir, job.srcName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | follow));
    if (!src) {
        result.failure = {errno, ErrorAction::CopyingFile};
        return result;
    }
    struct stat &st = result.source;
    const CopyFlags &what = settings.file;
    // The listing's stat stands for the one before the copy: the check
    // after it compares against that (taken earlier still). A resumed copy
    // and one that carries owner or security look at the file itself.
    if (job.listed.known && !settings.restartable && !what.owner && !what.security && S_ISREG(job.listed.mode)) {
        st.st_mode = job.listed.mode;
        st.st_size = off_t(job.listed.size);
        st.st_mtim = TimespecOf(job.listed.mtimeNs);
        st.st_atim = TimespecOf(job.listed.atimeNs);
        st.st_dev = job.listed.dev;
        st.st_nlink = 1;
    } else if (::fstat(src.get(), &st) < 0) {
        result.failure = {errno, ErrorAction::CopyingFile};
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.failure = {S_ISDIR(st.st_mode) ? EISDIR : EINVAL, ErrorAction::CopyingFile};
        return result;
    }
    const uint64_t size = settings.createOnly ? 0 : uint64_t(st.st_size);
    result.bytes = size;

    // Made with the permissions it ends with (the umask or the folder's
    // default ACL taking their share, as for any new file) and the owner's
    // write bit for the work on it, which R may take away at the end; with S
    // private until the source's mode is set.
    const mode_t permissions = permissionsOf(st, what, settings.attribAdd, settings.attribRemove);
    const mode_t createMode = what.security ? mode_t(0600) : mode_t((permissions & 0777) | S_IWUSR);

    Fd dst;
    dev_t dstDev = job.dstDev;
    bool unnamed = false;
    bool resumed = false;
    Temporary temp;
    uint64_t from = 0;
    const auto open = [&](const char *name) {
        if (settings.restartable && size && temp.name == TempName(job.dstName, uint64_t(st.st_size), NsOf(st.st_mtim))
            && IsOurTemporary(job.dstDir, name)) {
            // A partial copy of this very source (same size and time) from an
            // earlier attempt goes on from its last whole MiB.
            dst.reset(::openat(job.dstDir, name, O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
            struct stat partial;
            if (dst && ::fstat(dst.get(), &partial) == 0) {
                from = std::min<uint64_t>(uint64_t(partial.st_size), size) / kResumeAlign * kResumeAlign;
                if (::ftruncate(dst.get(), off_t(from)) < 0)
                    from = 0;
                temp.id = FileId{partial.st_dev, partial.st_ino};
                temp.marked = true;
                resumed = true;
                return 0;
            }
        }
        dst.reset(::openat(job.dstDir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, createMode));
        return dst ? 0 : errno;
    };
    if (!settings.restartable && job.fresh && job.dstDevKnown
        && caps.has(dstDev, dstDev, DeviceCapabilities::UnnamedFile)) {
        // A new file without a name until it is whole: a run killed now
        // leaves nothing at all behind.
        dst.reset(::openat(job.dstDir, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, createMode));
        if (dst)
            unnamed = true;
        else if (unsupportedUnnamed(errno))
            caps.refuse(dstDev, dstDev, DeviceCapabilities::UnnamedFile);
        // other failures: the temporary name below tells the real one
    }
    if (!dst) {
        if (const int e = claimTemporary(job, st, temp, open)) {
            result.failure = {e, ErrorAction::CopyingFile};
            return result;
        }
        if (!resumed) {
            struct stat made;
            if (::fstat(dst.get(), &made) < 0) {
                result.failure = {errno, ErrorAction::CopyingFile};
                return result;
            }
            temp.id = FileId{made.st_dev, made.st_ino};
            dstDev = made.st_dev;
            mark(dst.get(), temp, dstDev, caps);
        } else {
            dstDev = temp.id.dev;
        }
    }
    result.resumedAt = from;
    bool direct = settings.unbuffered && !settings.createOnly
        && caps.has(st.st_dev, dstDev, DeviceCapabilities::DirectIo);
    auto discard = [&](bool keep) {
        dst.reset();
        if (!keep && !unnamed)
            job.guard.discard(job.dstDir, temp.name.c_str(), temp.id);
    };

    if (direct) {
        const int flags = ::fcntl(dst.get(), F_GETFL);
        const int srcFlags = ::fcntl(src.get(), F_GETFL);
        if (flags < 0 || srcFlags < 0 || ::fcntl(dst.get(), F_SETFL, flags | O_DIRECT) < 0
            || ::fcntl(src.get(), F_SETFL, srcFlags | O_DIRECT) < 0) {
            if (errno == EINVAL || errno == EOPNOTSUPP)
                caps.refuse(st.st_dev, dstDev, DeviceCapabilities::DirectIo);
            ::fcntl(dst.get(), F_SETFL, flags);
            ::fcntl(src.get(), F_SETFL, srcFlags);
            direct = false;
        }
    }

    uint64_t reached = 0;
    if (size) {
        bool done = false;
        // A clone shares the extents: near nothing to copy. Only a whole
        // file, on one device that can, with nothing to pace.
        if (from == 0 && !settings.userSpace && !settings.noClone && !direct && !settings.gapMs && !settings.ioRate
            && st.st_dev == dstDev && caps.has(st.st_dev, st.st_dev, DeviceCapabilities::Clone)) {
            if (::ioctl(dst.get(), FICLONE, src.get()) == 0) {
                done = true;
                reached = size;
                if (progress)
                    progress(size, size);
            } else if (unsupportedClone(errno)) {
                caps.refuse(st.st_dev, st.st_dev, DeviceCapabilities::Clone);
            }
        }
        if (!done) {
            DataCopy copy{src.get(), dst.get(), settings, caps, progress, st.st_dev, dstDev, size, direct};
            if (const int e = copy.run(from)) {
                // A full disk keeps no partial file; a partial /Z copy may go on later.
                discard(settings.restartable && e != ENOSPC && e != EDQUOT);
                result.failure = {e, ErrorAction::CopyingFile};
                return result;
            }
            reached = copy.reached;
        }
    } else if (progress) {
        progress(0, 0);
    }

    if (direct) {
        const int flags = ::fcntl(dst.get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(dst.get(), F_SETFL, flags & ~O_DIRECT);
    }
    // What creation gave the file, where it is known without asking: the
    // umask's share of createMode, when the folder has no default ACL (a
    // resumed file was made by an earlier attempt, and is asked).
    DstState made;
    if (!what.security && job.noDefaultAcl && !resumed) {
        made.known = true;
        made.st.st_mode = S_IFREG | (createMode & ~settings.umask);
    }
    if (const CopyFailure f = applyProperties(src.get(), st, dst.get(), dstDev, false, made, settings, caps)) {
        result.failure = f;
        discard(false);
        return result;
    }
    // The source must be what it was when the copy began: a file written
    // meanwhile gives a torn copy, which must never take the real name.
    struct stat &after = result.copied;
    if (::fstat(src.get(), &after) < 0) {
        result.failure = {errno, ErrorAction::CopyingFile};
        discard(false);
        return result;
    }
    if (!S_ISREG(after.st_mode) || !sameContentStamp(st, after) || reached != size) {
        result.failure = {kSourceChanged, ErrorAction::CopyingFile};
        discard(false);
        return result;
    }
    if (settings.durable && ::fsync(dst.get()) < 0) {
        result.failure = {errno, ErrorAction::CopyingFile};
        discard(false);
        return result;
    }
    if (unnamed) {
        if (const int e = linkIntoPlace(dst.get(), job, st, dstDev, caps)) {
            result.failure = {e, ErrorAction::CopyingFile};
            discard(false);
            return result;
        }
        // Where closing is the last word about the data (network file
        // systems), a copy it faults must not keep the real name: the name
        // goes while it still holds what this copy wrote.
        if (const int e = dst.close()) {
            struct stat linked;
            if (::fstatat(job.dstDir, job.dstName.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0
                && uint64_t(linked.st_size) == size && (!what.times || NsOf(linked.st_mtim) == NsOf(st.st_mtim)))
                job.guard.discard(job.dstDir, job.dstName.c_str(), FileId{linked.st_dev, linked.st_ino});
            result.failure = {e, ErrorAction::CopyingFile};
            return result;
        }
    } else {
        // Renamed into place, it is no temporary any more.
        if (temp.marked)
            UnmarkTemporary(dst.get());
        if (const int e = dst.close()) {
            result.failure = {e, ErrorAction::CopyingFile};
            discard(false);
            return result;
        }
        if (const int e = job.guard.replace(job.dstDir, temp.name.c_str(), job.dstName.c_str())) {
            result.failure = {e, ErrorAction::CopyingFile};
            discard(false);
            return result;
        }
    }
    if (settings.durable) {
        if (const CopyFailure f = SyncFolder(job.dstDir)) {
            result.failure = f;
            return result;
        }
    }
    return result;
}

CopyFailure CopyLink(const FileCopy &job, const DataPathSettings &settings, struct stat &st)
{
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(job.srcDir, job.srcName.c_str(), target.data(), target.size());
        if (n < 0)
            return {errno, ErrorAction::CopyingFile};
        if (size_t(n) < target.size()) {
            target.resize(size_t(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::fstatat(job.srcDir, job.srcName.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0)
        return {errno, ErrorAction::CopyingFile};
    // A link can carry no mark: its temporary name is one that is free.
    Temporary temp;
    if (const int e = claimTemporary(job, st, temp, [&](const char *name) {
            return ::symlinkat(target.c_str(), job.dstDir, name) == 0 ? 0 : errno;
        }))
        return {e, ErrorAction::CopyingFile};
    struct stat made;
    if (::fstatat(job.dstDir, temp.name.c_str(), &made, AT_SYMLINK_NOFOLLOW) == 0)
        temp.id = FileId{made.st_dev, made.st_ino};
    auto fail = [&](int e) {
        job.guard.discard(job.dstDir, temp.name.c_str(), temp.id);
        return CopyFailure{e, ErrorAction::CopyingFile};
    };
    if (settings.file.owner && ::fchownat(job.dstDir, temp.name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) < 0
        && errno != EPERM)
        return fail(errno);
    if (settings.file.times) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(job.dstDir, temp.name.c_str(), times, AT_SYMLINK_NOFOLLOW) < 0)
            return fail(errno);
    }
    if (const int e = job.guard.replace(job.dstDir, temp.name.c_str(), job.dstName.c_str()))
        return fail(e);
    if (settings.durable)
        return SyncFolder(job.dstDir);
    return {};
}

CopyFailure MakeFolder(int parentFd, const std::string &name, mode_t sourceMode, const DataPathSettings &settings,
                       Fd &opened)
{
    const mode_t mode = settings.folder.security ? mode_t(0700) : mode_t((sourceMode & 0777) | S_IRWXU);
    if (::mkdirat(parentFd, name.c_str(), mode) < 0 && errno != EEXIST)
        return {errno, ErrorAction::CreatingDestinationDirectory};
    opened.reset(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened)
        return {errno, ErrorAction::CreatingDestinationDirectory};
    return {};
}

CopyFailure FinishFolder(int srcFd, const struct stat &srcStat, int dstFd, bool created,
                         const DataPathSettings &settings, DeviceCapabilities &caps)
{
    DstState state;
    if (::fstat(dstFd, &state.st) < 0)
        return {errno, ErrorAction::ChangingFileAttributes};
    state.known = true;
    state.created = created;
    return applyProperties(srcFd, srcStat, dstFd, state.st.st_dev, true, state, settings, caps);
}

bool FolderDiffers(const struct stat &srcStat, const struct stat &dstStat, const DataPathSettings &settings)
{
    const CopyFlags &f = settings.folder;
    if (f.times && NsOf(srcStat.st_mtim) != NsOf(dstStat.st_mtim))
        return true;
    if (f.owner && settings.privileged && (srcStat.st_uid != dstStat.st_uid || srcStat.st_gid != dstStat.st_gid))
        return true;
    const mode_t mode =
        targetMode(permissionsOf(srcStat, f, 0, 0), dstStat, srcStat, f.security, true, false, settings.umask);
    return (dstStat.st_mode & 07777) != mode;
}

CopyFailure FixTimes(int dstDir, const std::string &name, int64_t atimeNs, int64_t mtimeNs)
{
    const struct timespec times[2] = {TimespecOf(atimeNs), TimespecOf(mtimeNs)};
    if (::utimensat(dstDir, name.c_str(), times, AT_SYMLINK_NOFOLLOW) < 0)
        return {errno, ErrorAction::SettingFileTimes};
    return {};
}

CopyFailure FixSecurity(int srcDir, const std::string &srcName, bool followLink, int dstDir, const std::string &dstName,
                        const DataPathSettings &settings, DeviceCapabilities &caps)
{
    const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    const Fd src(::openat(srcDir, srcName.c_str(), flags | (followLink ? 0 : O_NOFOLLOW)));
    const Fd dst(::openat(dstDir, dstName.c_str(), flags | O_NOFOLLOW));
    struct stat srcStat;
    if (!src || ::fstat(src.get(), &srcStat) < 0)
        return {errno, ErrorAction::CopyingSecurity};
    if (!dst)
        return {errno, ErrorAction::CopyingSecurity};
    struct stat dstStat;
    if (::fstat(dst.get(), &dstStat) < 0)
        return {errno, ErrorAction::CopyingSecurity};
    DstState state{true, dstStat, false};
    return applyProperties(src.get(), srcStat, dst.get(), dstStat.st_dev, false, state, settings, caps,
                           Part::Acls | Part::Owner | Part::Mode);
}

CopyFailure SyncFolder(int dirFd)
{
    if (::fsync(dirFd) < 0)
        return {errno, ErrorAction::CopyingFile};
    return {};
}

} // namespace copy
