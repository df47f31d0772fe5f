#include "copy/DeviceTraits.h"

#include "copy/DataPath.h"
#include "copy/DosAttributes.h"
#include "copy/Fd.h"
#include "copy/Times.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace copy {

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;
constexpr unsigned long FuseMagic = 0x65735546UL;

int64_t mtimeOf(const struct stat &st) { return NsOf(st.st_mtim); }

bool exists(int dirFd, const std::string &name)
{
    struct stat st;
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// The same entry under another name. A FUSE driver may give each name
// looked up an inode number of its own: then all else must agree.
bool sameEntry(int dirFd, const std::string &name, const struct stat &own)
{
    struct stat other;
    if (::fstatat(dirFd, name.c_str(), &other, AT_SYMLINK_NOFOLLOW) < 0 || other.st_dev != own.st_dev)
        return false;
    return other.st_ino == own.st_ino
        || (other.st_mode == own.st_mode && other.st_size == own.st_size && other.st_nlink == own.st_nlink
            && other.st_mtim.tv_sec == own.st_mtim.tv_sec && other.st_mtim.tv_nsec == own.st_mtim.tv_nsec
            && other.st_ctim.tv_sec == own.st_ctim.tv_sec && other.st_ctim.tv_nsec == own.st_ctim.tv_nsec);
}

std::string swappedCase(std::string name)
{
    for (char &c : name)
        c = c >= 'a' && c <= 'z' ? char(c - 32) : c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    return name;
}

// The time the file system keeps when set to ns, or ns itself when it
// would not be set at all. Both times are set, as a copy sets them
// (exfat-fuse ignores a modification time set alone).
int64_t keptTime(int fd, int64_t ns)
{
    const struct timespec times[2] = {TimespecOf(ns), TimespecOf(ns)};
    struct stat st;
    if (::futimens(fd, times) < 0 || ::fstat(fd, &st) < 0)
        return ns;
    return mtimeOf(st);
}

// A file of the probe's, made under a name that nothing else has (else
// nothing is made): the guard removes that name only while it is still
// this very file.
Fd makeOwnFile(int dirFd, const std::string &name, FileId &made)
{
    Fd fd(::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd && IdOf(fd.get(), made))
        made = FileId{};
    return fd;
}

// What the file system makes of a name tried beside the probe: refused,
// kept, or stored as `altered` (that name, unique to the probe, is there).
NameFate fateOfName(int dirFd, const std::string &name, const std::string &altered, const Guard &guard)
{
    FileId made;
    Fd fd = makeOwnFile(dirFd, name, made);
    if (!fd)
        return errno == EEXIST ? NameFate::Kept : NameFate::Refused;
    fd.reset();
    const NameFate fate = !altered.empty() && exists(dirFd, altered) ? NameFate::Altered : NameFate::Kept;
    guard.discard(dirFd, name.c_str(), made);
    return fate;
}

void probeByWriting(int dirFd, DeviceTraits &t, const Guard &guard)
{
    static std::atomic<unsigned> serial{0};
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    // A temporary name: should a run be killed right now, the next one removes it.
    const std::string name = TempName("probe-" + std::to_string(::getpid()) + '-' + std::to_string(serial++), 0,
                                      NsOf(now));
    FileId made;
    Fd fd = makeOwnFile(dirFd, name, made);
    if (!fd)
        return;
    t.probed = true;
    // Marked as every temporary file of ours is, so that a run killed
    // right now leaves a file the next one can prove its own and remove; a
    // file system that takes no mark keeps no DOS letters either. Marked
    // first: a file that is read-only takes no attribute from its owner.
    if (const SysError e = MarkTemporary(fd.get(), made.ino, name); e && IsNoXattrSupport(e.code))
        t.keepsDosLetters = false;
    t.foldsCase = exists(dirFd, swappedCase(name)); // a name of the probe's alone

    const int64_t odd = 1'600'000'001'123'456'789; // odd seconds, odd nanoseconds
    t.timeResolutionNs = ResolutionFromProbe(odd, keptTime(fd.get(), odd));
    const int64_t early = 86'401 * NsPerSecond;         // 1970-01-02 00:00:01
    const int64_t late = 4'354'819'201 * NsPerSecond;   // 2108-01-01 00:00:01
    const int64_t slack = 2 * NsPerSecond;
    if (const int64_t kept = keptTime(fd.get(), early); kept > early + slack)
        t.oldestTimeNs = kept;
    // Clamped to the last day kept, or wrapped round to some other year.
    if (const int64_t kept = keptTime(fd.get(), late); kept < late - slack)
        t.newestTimeNs = late - kept <= 2 * 86'400 * NsPerSecond ? kept : late - NsPerSecond;

    struct stat st;
    t.keepsReadOnly = ::fchmod(fd.get(), 0400) == 0 && ::fstat(fd.get(), &st) == 0 && !(st.st_mode & S_IWUSR);
    fd.reset();
    guard.discard(dirFd, name.c_str(), made);

    const NameFate dot = fateOfName(dirFd, name + '.', name, guard);
    const NameFate space = fateOfName(dirFd, name + ' ', name, guard);
    t.trailingDotOrSpace = std::max(dot, space);
    t.windowsCharacters = fateOfName(dirFd, name + ":x", {}, guard);
    t.reservedNames = fateOfName(dirFd, "CON" + name, {}, guard); // "CON.corvane-....tmp"
    t.nonUtf8 = fateOfName(dirFd, name + "\xff", {}, guard);
}

// What a folder shows without writing: letter case from an entry already
// there, looked up in the other case (a folder without a letter in any
// name tells nothing), and the steps of its entries' modification times.
void learnByLooking(int dirFd, DeviceTraits &t)
{
    Fd own(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR *dir = own ? ::fdopendir(own.get()) : nullptr;
    if (!dir)
        return;
    own.release();
    bool caseKnown = false;
    std::vector<int64_t> mtimes;
    for (int looked = 0; looked < 256 && !(caseKnown && mtimes.size() >= 64); ++looked) {
        const struct dirent *e = ::readdir(dir);
        if (!e)
            break;
        const std::string name = e->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0)
            continue;
        if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
            mtimes.push_back(mtimeOf(st));
        const std::string other = swappedCase(name);
        if (!caseKnown && other != name) {
            t.foldsCase = sameEntry(dirFd, other, st);
            caseKnown = true;
        }
    }
    ::closedir(dir);
    t.timeResolutionNs = std::max(t.timeResolutionNs, ResolutionFromEntries(mtimes));
}

// How finely a kind of file system keeps times, where no probe could
// measure it (a listing, a folder not writable).
int64_t resolutionOfKind(unsigned long type)
{
    switch (type) {
    case MSDOS_SUPER_MAGIC: return 2 * NsPerSecond; // FAT
    case 0x2011BAB0UL: return 10'000'000;           // exFAT
    case 0x7366746eUL:                              // ntfs3
    case 0x5346544eUL:                              // NTFS
    case 0xFF534D42UL:                              // CIFS / SMB
    case 0xFE534D42UL:                              // SMB2
        return 100;
    case FuseMagic: return 1000;
    default: return 1;
    }
}

// The format of the volume behind a block device, from its first sector
// (when it can be read: as root).
VolumeFormat formatOfDevice(dev_t device)
{
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/uevent", major(device), minor(device));
    Fd uevent(::open(path, O_RDONLY | O_CLOEXEC));
    char text[1024];
    const ssize_t n = uevent ? ::read(uevent.get(), text, sizeof text - 1) : -1;
    if (n <= 0)
        return VolumeFormat::Unknown;
    const std::string_view lines(text, size_t(n));
    const size_t at = lines.find("DEVNAME=");
    if (at == std::string_view::npos)
        return VolumeFormat::Unknown;
    const std::string_view devName = lines.substr(at + 8, lines.find('\n', at) - at - 8);
    Fd volume(::open(("/dev/" + std::string(devName)).c_str(), O_RDONLY | O_CLOEXEC));
    std::string sector(512, '\0');
    if (!volume || ::pread(volume.get(), sector.data(), sector.size(), 0) != ssize_t(sector.size()))
        return VolumeFormat::Unknown;
    return FormatOfBootSector(sector);
}

} // namespace

DeviceTraits ProbeDevice(int dirFd, bool mayWrite, const Guard &guard)
{
    DeviceTraits t;
    struct statfs fs;
    const unsigned long type = ::fstatfs(dirFd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
    if (mayWrite)
        probeByWriting(dirFd, t, guard);
    if (!t.probed) {
        t.timeResolutionNs = resolutionOfKind(type);
        learnByLooking(dirFd, t);
    }
    struct stat st;
    if (type == FuseMagic && ::fstat(dirFd, &st) == 0 && major(st.st_dev) != 0)
        ApplyFormatLimits(t, formatOfDevice(st.st_dev));
    return t;
}

const DeviceTraits &DeviceTraitsCache::of(int dirFd, dev_t device, bool mayWrite, const Guard &guard)
{
    const auto found = m_byDevice.find(device);
    if (found != m_byDevice.end())
        return found->second;
    return m_byDevice.emplace(device, ProbeDevice(dirFd, mayWrite, guard)).first->second;
}

} // namespace copy
