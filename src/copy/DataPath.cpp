#include "copy/DataPath.h"

#include "copy/DosAttributes.h"

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
    if (code == kSourceChanged)
        return "The source file changed while it was being copied.";
    return SystemMessage(code);
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

std::string TempName(std::string_view finalName, uint64_t size, int64_t mtimeNs)
{
    std::string out = TempPrefix(finalName);
    appendHex(out, size, false);
    out += '-';
    appendHex(out, uint64_t(mtimeNs), false);
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
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 >= rest.size() || dash > 16
        || rest.size() - dash - 1 > 16)
        return false;
    return std::all_of(rest.begin(), rest.begin() + std::ptrdiff_t(dash), isHex)
        && std::all_of(rest.begin() + std::ptrdiff_t(dash) + 1, rest.end(), isHex);
}

// ------------------------------------------------------------ the copy

namespace {

constexpr uint64_t kDefaultChunk = 1u << 20;       // read/write buffer
constexpr uint64_t kRangeChunk = 64u << 20;        // copy_file_range per call (progress steps)
constexpr uint64_t kGapChunk = 64u << 10;          // /IPG's 64 KiB
constexpr uint64_t kResumeAlign = 1u << 20;        // a resumed copy restarts on a MiB boundary
constexpr size_t kDirectAlign = 4096;

int64_t mtimeNs(const struct stat &st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

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

// The user extended attributes of the source (its "streams"), but for the
// DOS attributes, which are A's business; dosAttrib tells whether the list
// held those, so they need not be asked for again.
int copyUserXattrs(int src, int dst, dev_t srcDev, dev_t dstDev, DeviceCapabilities &caps, Listed &dosAttrib)
{
    if (!caps.has(srcDev, srcDev, DeviceCapabilities::UserXattrs))
        return 0;
    char small[1024];
    std::string big;
    ssize_t n = ::flistxattr(src, small, sizeof small);
    const char *names = small;
    if (n < 0 && errno == ERANGE) {
        const ssize_t need = ::flistxattr(src, nullptr, 0);
        if (need < 0)
            return errno;
        big.resize(size_t(need));
        n = ::flistxattr(src, big.data(), big.size());
        names = big.data();
    }
    if (n < 0) {
        if (IsNoXattrSupport(errno)) {
            caps.refuse(srcDev, srcDev, DeviceCapabilities::UserXattrs);
            return 0;
        }
        return errno;
    }
    std::string value;
    dosAttrib = Listed::Absent;
    for (const char *p = names; p < names + n; p += std::strlen(p) + 1) {
        const std::string_view name(p);
        if (name == kDosAttribName)
            dosAttrib = Listed::Present;
        if (name.substr(0, 5) != "user." || name == kDosAttribName)
            continue;
        if (!caps.has(dstDev, dstDev, DeviceCapabilities::UserXattrs))
            return 0;
        SysError err;
        if (!GetXattr(XattrPlace{src, -1, nullptr}, p, value, err)) {
            if (err)
                return err.code;
            continue; // gone meanwhile
        }
        const SysError set = SetXattr(XattrPlace{dst, -1, nullptr}, p, value);
        if (set) {
            if (IsNoXattrSupport(set.code)) {
                caps.refuse(dstDev, dstDev, DeviceCapabilities::UserXattrs);
                return 0;
            }
            return set.code;
        }
    }
    return 0;
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
// failures ("where allowed"); others are.
int copyOwner(int dst, const struct stat &src)
{
    struct stat now;
    if (::fstat(dst, &now) < 0)
        return errno;
    if (src.st_uid == now.st_uid && src.st_gid == now.st_gid)
        return 0;
    if (::fchown(dst, src.st_uid, src.st_gid) == 0)
        return 0;
    if (errno != EPERM)
        return errno;
    if (src.st_gid != now.st_gid && ::fchown(dst, uid_t(-1), src.st_gid) < 0 && errno != EPERM)
        return errno;
    return 0;
}

mode_t finalMode(const struct stat &src, const CopyFlags &flags, uint32_t add, uint32_t remove)
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

// Every property but the content, on the new file or the folder. modeSet:
// the file was created with its final mode already.
CopyFailure applyProperties(int src, const struct stat &srcStat, int dst, dev_t dstDev, bool folder,
                            const DataPathSettings &s, DeviceCapabilities &caps, bool modeSet = false)
{
    const CopyFlags &f = folder ? s.folder : s.file;
    Listed dosAttrib = Listed::Unknown;
    if (folder ? f.extended : f.data && !f.noStreams) {
        if (const int e = copyUserXattrs(src, dst, srcStat.st_dev, dstDev, caps, dosAttrib))
            return {e, ErrorAction::CopyingFile};
    }
    if (f.security) {
        if (const int e = copyAcls(src, dst, folder, srcStat.st_dev, dstDev, caps))
            return {e, ErrorAction::CopyingSecurity};
    }
    if (f.owner) {
        if (const int e = copyOwner(dst, srcStat))
            return {e, ErrorAction::CopyingSecurity};
        modeSet = false; // chown may have cleared set-id bits
    }
    // The DOS attributes before the mode: a read-only file takes no more
    // user attributes from one who is not root.
    const uint32_t add = folder ? 0 : s.attribAdd;
    const uint32_t remove = folder ? 0 : s.attribRemove;
    if (f.attributes || add || remove) {
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
    // The mode after the owner: chown clears the set-id bits.
    if (!modeSet && ::fchmod(dst, finalMode(srcStat, f, add, remove)) < 0)
        return {errno, ErrorAction::ChangingFileAttributes};
    if (f.times) {
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

struct timespec timespecOf(int64_t ns) { return {time_t(ns / 1000000000), long(ns % 1000000000)}; }

// O_TMPFILE refused by the file system (or by a kernel that predates it).
bool unsupportedUnnamed(int e) { return e == EOPNOTSUPP || e == EISDIR || e == EINVAL; }

// Gives an unnamed file (O_TMPFILE) its name. Linking by the descriptor
// itself needs a kernel that allows it to the file's opener (or
// CAP_DAC_READ_SEARCH); else the name under /proc is linked, and the device
// is marked so that later files take the temporary name instead. A name
// that appeared meanwhile is replaced, as a rename would: the file gets the
// temporary name first and is renamed over it.
int linkIntoPlace(int fd, const FileCopy &job, const struct stat &st, dev_t dstDev, DeviceCapabilities &caps)
{
    const auto link = [&](const char *name) {
        if (::linkat(fd, "", job.dstDir, name, AT_EMPTY_PATH) == 0)
            return 0;
        if (errno != ENOENT && errno != EPERM)
            return errno;
        const std::string proc = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, proc.c_str(), job.dstDir, name, AT_SYMLINK_FOLLOW) < 0)
            return errno;
        caps.refuse(dstDev, dstDev, DeviceCapabilities::UnnamedFile);
        return 0;
    };
    const int e = link(job.dstName.c_str());
    if (e != EEXIST)
        return e;
    const std::string temp = TempName(job.dstName, uint64_t(st.st_size), mtimeNs(st));
    ::unlinkat(job.dstDir, temp.c_str(), 0); // a stale copy of ours
    if (const int t = link(temp.c_str()))
        return t;
    if (::renameat(job.dstDir, temp.c_str(), job.dstDir, job.dstName.c_str()) < 0) {
        const int r = errno;
        ::unlinkat(job.dstDir, temp.c_str(), 0);
        return r;
    }
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
    // The listing's stat stands for the one before the copy: the check
    // after it compares against that (taken earlier still). A resumed copy
    // and one that gives the owner away look at the file itself.
    if (job.listed.known && !settings.restartable && !settings.file.owner && S_ISREG(job.listed.mode)) {
        st.st_mode = job.listed.mode;
        st.st_size = off_t(job.listed.size);
        st.st_mtim = timespecOf(job.listed.mtimeNs);
        st.st_atim = timespecOf(job.listed.atimeNs);
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

    // Created with its final mode when creation gives exactly that (and the
    // owner may still write it, for the extended attributes): no chmod.
    const mode_t mode = finalMode(st, settings.file, settings.attribAdd, settings.attribRemove);
    const bool modeAtCreation = job.createMaskKnown && !settings.file.owner && (mode & ~job.createMask) == mode
        && (mode & S_IWUSR) && !(mode & 07000);
    const mode_t createMode = modeAtCreation ? mode : mode_t(0600);

    // The temporary name, made only when a file is named before it is whole.
    std::string tempName;
    const auto temp = [&]() -> const std::string & {
        if (tempName.empty())
            tempName = TempName(job.dstName, uint64_t(st.st_size), mtimeNs(st));
        return tempName;
    };
    Fd dst;
    dev_t dstDev = job.dstDev;
    bool unnamed = false;
    uint64_t from = 0;
    if (settings.restartable && size) {
        // A partial copy of this very source (same size and time) from an
        // earlier attempt goes on from its last whole MiB.
        dst.reset(::openat(job.dstDir, temp().c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
        if (dst) {
            struct stat tempStat;
            if (::fstat(dst.get(), &tempStat) == 0 && S_ISREG(tempStat.st_mode)) {
                from = std::min<uint64_t>(uint64_t(tempStat.st_size), size) / kResumeAlign * kResumeAlign;
                if (::ftruncate(dst.get(), off_t(from)) < 0)
                    from = 0;
                dstDev = tempStat.st_dev;
            } else {
                dst.reset();
            }
        }
    } else if (job.fresh && job.dstDevKnown && caps.has(dstDev, dstDev, DeviceCapabilities::UnnamedFile)) {
        // A new file without a name until it is whole: a run killed now
        // leaves nothing at all behind.
        dst.reset(::openat(job.dstDir, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, createMode));
        if (dst)
            unnamed = true;
        else if (unsupportedUnnamed(errno))
            caps.refuse(dstDev, dstDev, DeviceCapabilities::UnnamedFile);
        // other failures: the temporary name below tells the real one
    }
    const bool resumed = dst && !unnamed;
    if (!dst) {
        for (int attempt = 0; attempt < 2 && !dst; ++attempt) {
            dst.reset(::openat(job.dstDir, temp().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                               createMode));
            if (!dst && errno == EEXIST && attempt == 0)
                ::unlinkat(job.dstDir, temp().c_str(), 0); // a stale copy of ours
            else if (!dst) {
                result.failure = {errno, ErrorAction::CopyingFile};
                return result;
            }
        }
    }
    if (!job.dstDevKnown && !resumed) {
        struct stat tempStat;
        if (::fstat(dst.get(), &tempStat) < 0) {
            result.failure = {errno, ErrorAction::CopyingFile};
            dst.reset();
            if (!unnamed)
                ::unlinkat(job.dstDir, temp().c_str(), 0);
            return result;
        }
        dstDev = tempStat.st_dev;
    }
    result.resumedAt = from;
    bool direct = settings.unbuffered && !settings.createOnly
        && caps.has(st.st_dev, dstDev, DeviceCapabilities::DirectIo);
    auto discard = [&](bool keep) {
        dst.reset();
        if (!keep && !unnamed)
            ::unlinkat(job.dstDir, temp().c_str(), 0);
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
    // A resumed file was made 0600 by an earlier attempt: its mode is set.
    if (const CopyFailure f = applyProperties(src.get(), st, dst.get(), dstDev, false, settings, caps,
                                              modeAtCreation && !resumed)) {
        result.failure = f;
        discard(false);
        return result;
    }
    // The source must be what it was when the copy began: a file written
    // meanwhile gives a torn copy, which must never take the real name.
    struct stat after;
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
        // systems), a copy it faults must not keep the real name.
        if (const int e = dst.close()) {
            ::unlinkat(job.dstDir, job.dstName.c_str(), 0);
            result.failure = {e, ErrorAction::CopyingFile};
            return result;
        }
    } else {
        if (const int e = dst.close()) {
            result.failure = {e, ErrorAction::CopyingFile};
            discard(false);
            return result;
        }
        if (::renameat(job.dstDir, temp().c_str(), job.dstDir, job.dstName.c_str()) < 0) {
            result.failure = {errno, ErrorAction::CopyingFile};
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

CopyFailure CopyLink(const FileCopy &job, const DataPathSettings &settings)
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
    struct stat st;
    if (::fstatat(job.srcDir, job.srcName.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0)
        return {errno, ErrorAction::CopyingFile};
    const std::string temp = TempName(job.dstName, uint64_t(st.st_size), mtimeNs(st));
    ::unlinkat(job.dstDir, temp.c_str(), 0);
    if (::symlinkat(target.c_str(), job.dstDir, temp.c_str()) < 0)
        return {errno, ErrorAction::CopyingFile};
    auto fail = [&](int e) {
        ::unlinkat(job.dstDir, temp.c_str(), 0);
        return CopyFailure{e, ErrorAction::CopyingFile};
    };
    if (settings.file.owner && ::fchownat(job.dstDir, temp.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) < 0
        && errno != EPERM)
        return fail(errno);
    if (settings.file.times) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::utimensat(job.dstDir, temp.c_str(), times, AT_SYMLINK_NOFOLLOW) < 0)
            return fail(errno);
    }
    if (::renameat(job.dstDir, temp.c_str(), job.dstDir, job.dstName.c_str()) < 0)
        return fail(errno);
    if (settings.durable)
        return SyncFolder(job.dstDir);
    return {};
}

CopyFailure MakeFolder(int parentFd, const std::string &name, Fd &opened)
{
    if (::mkdirat(parentFd, name.c_str(), 0700) < 0 && errno != EEXIST)
        return {errno, ErrorAction::CreatingDestinationDirectory};
    opened.reset(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened)
        return {errno, ErrorAction::CreatingDestinationDirectory};
    return {};
}

CopyFailure FinishFolder(int srcFd, const struct stat &srcStat, int dstFd, const DataPathSettings &settings,
                         DeviceCapabilities &caps)
{
    struct stat dstStat;
    if (::fstat(dstFd, &dstStat) < 0)
        return {errno, ErrorAction::ChangingFileAttributes};
    return applyProperties(srcFd, srcStat, dstFd, dstStat.st_dev, true, settings, caps);
}

CopyFailure FixTimes(int dstDir, const std::string &name, const struct stat &src)
{
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    if (::utimensat(dstDir, name.c_str(), times, AT_SYMLINK_NOFOLLOW) < 0)
        return {errno, ErrorAction::SettingFileTimes};
    return {};
}

CopyFailure SyncFolder(int dirFd)
{
    if (::fsync(dirFd) < 0)
        return {errno, ErrorAction::CopyingFile};
    return {};
}

} // namespace copy
