// corvane-copy against real folders: the data path, the walk's primitives,
// whole runs (properties over random trees), and faults (a full disk,
// unreadable entries, a file growing while it is copied, kills, loops).
#include "Trees.h"

#include "copy/CopyOptions.h"
#include "copy/DataPath.h"
#include "copy/DosAttributes.h"
#include "copy/Engine.h"
#include "copy/Guard.h"
#include "copy/Report.h"
#include "copy/Times.h"
#include "copy/Walk.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include <csignal>
#include <cstdio>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace copy;
namespace fs = std::filesystem;

// Entries whose stat gives an I/O error, as a network file system may give
// for some of a folder's entries: the entries of this folder (its path as
// /proc tells it) whose names start with this prefix. The engine's own
// fstatat calls land here.
namespace {
std::mutex g_unseenMutex;
std::string g_unseenFolder;
std::string g_unseenPrefix;
} // namespace

extern "C" int fstatat(int fd, const char *__restrict path, struct stat *__restrict st, int flags) noexcept
{
    using Real = int (*)(int, const char *, struct stat *, int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fstatat"));
    {
        const std::lock_guard lock(g_unseenMutex);
        if (!g_unseenPrefix.empty() && std::string_view(path).starts_with(g_unseenPrefix)) {
            char folder[4096];
            const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), folder, sizeof folder);
            if (n > 0 && std::string_view(folder, size_t(n)) == g_unseenFolder) {
                errno = EIO;
                return -1;
            }
        }
    }
    return real(fd, path, st, flags);
}

// Setting times fails (EPERM) on whatever lies in a folder of this name, as
// where the copier does not own the file: the data path's futimens lands here.
// And a move's flushes (fsync), watched: the paths flushed while the source
// g_movedSource was still there; and a hook run at the first flush, as a
// writer replacing a source the moment its copy lands would.
namespace {
std::atomic<const char *> g_failTimesIn{nullptr};
std::mutex g_moveMutex;
bool g_watchMoves = false;
std::string g_movedSource;
std::vector<std::string> g_flushedBefore;
std::function<void()> g_atFirstFlush;

std::string pathOfFd(int fd)
{
    char path[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

} // namespace

extern "C" int futimens(int fd, const struct timespec times[2]) noexcept
{
    if (const char *marker = g_failTimesIn.load(); marker && pathOfFd(fd).find(marker) != std::string::npos) {
        errno = EPERM;
        return -1;
    }
    using Real = int (*)(int, const struct timespec *);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "futimens"));
    return real(fd, times);
}

extern "C" int fsync(int fd)
{
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fsync"));
    const int r = real(fd);
    std::function<void()> hook;
    {
        const std::lock_guard lock(g_moveMutex);
        if (!g_watchMoves)
            return r;
        if (struct stat st; ::stat(g_movedSource.c_str(), &st) == 0)
            g_flushedBefore.push_back(pathOfFd(fd));
        hook = std::exchange(g_atFirstFlush, nullptr);
    }
    if (hook)
        hook();
    return r;
}

Q_DECLARE_METATYPE(std::string)

namespace {

Fd openDir(const std::string &path) { return Fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); }

QByteArray bytesOf(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }

struct stat statOf(const std::string &path)
{
    struct stat st{};
    ::lstat(path.c_str(), &st);
    return st;
}

std::string xattrOf(const std::string &path, const char *name)
{
    char buffer[512];
    const ssize_t n = ::lgetxattr(path.c_str(), name, buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, size_t(n));
}

// One pass of the engine in this process, its events kept.
struct Run
{
    Totals totals;
    std::vector<Event> events;
    std::string report; // the whole report as the program prints it
    int exit = -1;      // the program's exit code, for a run of the program
    int code() const { return exit >= 0 ? exit : ExitCode(totals); }
    // The tags of the file lines, by name.
    std::map<std::string, Tag> fileTags() const
    {
        std::map<std::string, Tag> tags;
        for (const Event &e : events)
            if (e.kind == EventKind::File)
                tags[e.name] = e.tag;
        return tags;
    }
    int errors() const
    {
        return int(std::count_if(events.begin(), events.end(), [](const Event &e) { return e.kind == EventKind::Error; }));
    }
};

// Options as the program reads them from its command line; no retries
// unless the switches ask for them.
CopyOptions options(const std::string &src, const std::string &dst, std::initializer_list<const char *> switches)
{
    std::vector<std::string> args{src, dst, "/R:0", "/W:0"};
    args.insert(args.end(), switches.begin(), switches.end());
    const ParsedCommand parsed = ParseArguments(
        args, "/", [](const std::string &, std::string &, std::string &error) {
            error = "no job files here";
            return false;
        },
        [](const std::string &path) { return fs::is_directory(path); });
    if (!parsed.error.empty())
        qFatal("%s", parsed.error.c_str());
    return parsed.options;
}

Run runEngine(const CopyOptions &o)
{
    Run run;
    const RunClock clock = CurrentClock();
    Report report(o, clock.utcOffsetSeconds);
    Engine engine(o, clock, [&](const Event &e) {
        run.events.push_back(e);
        run.report += report.format(e);
    });
    run.totals = engine.run();
    run.report += report.closeLine() + report.summary(run.totals, clock.nowNs);
    return run;
}

// A volume of a Windows file system in an image, mounted through FUSE for
// the object's life: "exfat" (exfat-fuse on a loop device) or "ntfs"
// (ntfs-3g with its options). Needs root, /dev/fuse and the tools.
struct FuseVolume
{
    std::string path, loop, mountCommand;
    bool mounted = false;
    // Runs a shell command: whether it worked, and its first line of output.
    static bool sh(const std::string &command, std::string *firstLine = nullptr)
    {
        FILE *p = ::popen((command + " 2>/dev/null").c_str(), "r");
        char line[256];
        for (bool first = true; p && std::fgets(line, sizeof line, p); first = false) // read to the end
            if (first && firstLine)
                *firstLine = std::string(line, ::strcspn(line, "\n"));
        return p && ::pclose(p) == 0;
    }
    FuseVolume(const std::string &dir, const std::string &kind, const std::string &options) : path(dir + "/mnt")
    {
        const std::string image = dir + "/volume.img";
        const bool exfat = kind == "exfat";
        fs::create_directories(path);
        if (::geteuid() != 0 || ::access("/dev/fuse", W_OK) != 0
            || !sh("truncate -s 16M " + image + (exfat ? " && mkfs.exfat " : " && mkntfs -F -Q ") + image)
            || (exfat && !sh("losetup -f --show " + image, &loop)))
            return;
        mountCommand = exfat ? "mount.exfat-fuse " + loop : "ntfs-3g " + (options.empty() ? "" : "-o " + options + ' ') + image;
        mounted = sh(mountCommand + ' ' + path);
    }
    ~FuseVolume()
    {
        if (mounted && ::umount2(path.c_str(), 0) != 0)
            ::umount2(path.c_str(), MNT_DETACH);
        if (!loop.empty())
            sh("losetup -d " + loop);
    }
    // What is read after this is what the volume keeps, not what the driver remembers.
    bool remount() { return ::umount2(path.c_str(), 0) == 0 && (mounted = sh(mountCommand + ' ' + path)); }
};

// The summary rows that must agree between two runs of the same work.
bool sameCounts(const Totals &a, const Totals &b)
{
    return a.files == b.files && a.dirs == b.dirs && a.bytes == b.bytes && a.serious == b.serious;
}

} // namespace

class TestCopyEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void dosAttribValues_data();
    void dosAttribValues();
    void dosAttribKeepsOtherFields();
    void tempNames();

    void copyFileWays_data();
    void copyFileWays();
    void finalNameOnlyWhole_data();
    void finalNameOnlyWhole();
    void listFolderNamesAreBytes();
    void removeTreeStaysInside();

    void secondRunFindsAllSame_data();
    void secondRunFindsAllSame();
    void listOnlyChangesNothing();
    void mirrorEqualsSourceMinusExclusions();
    void excludeExtraKeepsPurgeFromDeleting();
    void threadsGiveTheSameResult_data();
    void threadsGiveTheSameResult();
    void countOnlyPassChangesNothing();
    void runHours_data();
    void runHours();
    void switchEffects_data();
    void switchEffects();
    void nothingLost_data();
    void nothingLost();

    void linkLoopsWalkedOnce();
    void destinationInsideSource();
    void purgeNeverTakesTheSource();
    void purgeKeepsWhatExcludeDirsNames();
    void unseenEntryIsNoExtra();
    void fullDiskRun();
    void fileGrowingDuringRun();
    void fileVanishing();
    void moveDeletesOnlyWhatWasCopied();

    void programRuns_data();
    void programRuns();
    void unreadableEntries();
    void killedRunsThenRerun();
    void propertyFailures_data();
    void propertyFailures();
    void windowsMedia_data();
    void windowsMedia();

private:
    std::string scratch(const char *name) const { return m_dir.filePath(QLatin1StringView(name)).toStdString(); }
    // In memory where there is a tmpfs with room for it: the tests make and
    // compare thousands of small files, which a busy disk makes slow. A
    // tmpfs that others have filled (its inodes or its space) would fail
    // them for nothing of theirs, so they go to the temporary folder then.
    static QString scratchTemplate()
    {
        struct statvfs shm;
        const bool roomy = ::statvfs("/dev/shm", &shm) == 0 && shm.f_favail >= 100'000
            && uint64_t(shm.f_bavail) * shm.f_frsize >= (uint64_t(1) << 30);
        return (roomy ? QStringLiteral("/dev/shm") : QDir::tempPath()) + QStringLiteral("/test_copy_engine-XXXXXX");
    }
    QTemporaryDir m_dir{scratchTemplate()};
};

void TestCopyEngine::initTestCase()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
    // A umask that narrows what a copy without S may keep (0666 becomes 0644).
    ::umask(022);
    // Deep trees hold two descriptors a level, as the program allows itself.
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1 << 16);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// QTemporaryDir cannot remove names that are not UTF-8; the file system can.
void TestCopyEngine::cleanupTestCase()
{
    std::error_code ec;
    fs::remove_all(m_dir.path().toStdString(), ec);
}

// ----------------------------------------------------------- DOS attributes

void TestCopyEngine::dosAttribValues_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("attrib"); // -1: not a value we read
    // The old form: the hex text alone.
    QTest::newRow("old hex") << QByteArray("0x22") << 0x22;
    QTest::newRow("old hex with NUL") << QByteArray("0x1", 4) << 0x1;
    QTest::newRow("old hex upper") << QByteArray("0X2A") << 0x2A;
    // Version 3 as Samba writes it: "0x20\0", pad, version 3, level 3, pad,
    // valid fields (attrib), attributes, then EA size, sizes and times.
    QByteArray v3("0x20\0\0\3\0\3\0\0\0\1\0\0\0\x20\0\0\0", 20);
    v3.append(QByteArray(36, '\0'));
    QTest::newRow("version 3") << v3 << 0x20;
    // Version 4 with an empty hex text: "\0", pad, 4, 4, valid, attrib, itime, create time.
    QByteArray v4("\0\0\4\0\4\0\0\0\x11\0\0\0\x26\0\0\0", 16);
    v4.append(QByteArray(16, '\x01'));
    QTest::newRow("version 4") << v4 << 0x26;
    QByteArray v5("\0\0\5\0\5\0\0\0\1\0\0\0\x02\x20\0\0", 16);
    v5.append(QByteArray(8, '\0'));
    QTest::newRow("version 5") << v5 << 0x2002;
    // Version 1 has no valid-fields word: the attributes come first.
    QByteArray v1("0x4\0\1\0\1\0\4\0\0\0", 12);
    v1.append(QByteArray(36, '\0'));
    QTest::newRow("version 1") << v1 << 0x4;
    QTest::newRow("unknown version") << QByteArray("\0\0\x09\0\x09\0\0\0\1\0\0\0\1\0\0\0", 16) << -1;
    QTest::newRow("level differs") << QByteArray("\0\0\3\0\4\0\0\0\1\0\0\0\1\0\0\0", 16) << -1;
    QTest::newRow("cut short") << QByteArray("\0\0\3\0\3\0\0\0\1\0", 10) << -1;
    QTest::newRow("text") << QByteArray("hello") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestCopyEngine::dosAttribValues()
{
    QFETCH(QByteArray, value);
    QFETCH(int, attrib);
    const std::optional<uint32_t> got = DecodeDosAttrib(std::string_view(value.constData(), size_t(value.size())));
    QCOMPARE(got ? int(*got) : -1, attrib);
    if (attrib < 0)
        return;
    // Whatever we read, we write back readable, with the new bits.
    const std::string again = EncodeDosAttrib(0x2 | 0x20, std::string_view(value.constData(), size_t(value.size())));
    QCOMPARE(int(DecodeDosAttrib(again).value_or(999)), 0x22);
    QCOMPARE(int(DecodeDosAttrib(EncodeDosAttrib(0x4)).value_or(999)), 0x4);
}

void TestCopyEngine::dosAttribKeepsOtherFields()
{
    // A version-4 value with a creation time keeps it when the attributes change.
    QByteArray v4("0x20\0\0\4\0\4\0\0\0\x11\0\0\0\x20\0\0\0", 20);
    v4.append(QByteArray("\1\2\3\4\5\6\7\x08" "ABCDEFGH", 16));
    const std::string out = EncodeDosAttrib(0x21, std::string_view(v4.constData(), size_t(v4.size())));
    QCOMPARE(DecodeDosAttrib(out).value_or(0), 0x21u);
    QVERIFY(bytesOf(out).endsWith(QByteArray("\1\2\3\4\5\6\7\x08" "ABCDEFGH", 16)));
    QVERIFY(bytesOf(out).startsWith(QByteArray("0x21\0", 5)));
    // The fresh value is Samba's version 3: 56 bytes for a 4-digit text.
    QCOMPARE(EncodeDosAttrib(0x20).size(), size_t(56));
}

void TestCopyEngine::tempNames()
{
    std::mt19937 r(7);
    for (int i = 0; i < 2000; ++i) {
        std::string name(size_t(std::uniform_int_distribution<int>(1, 255)(r)), 'x');
        for (char &c : name)
            c = char(std::uniform_int_distribution<int>(1, 255)(r));
        const uint64_t size = r() % 3 == 0 ? 0 : uint64_t(r()) << 20 | r();
        const int64_t mtime = int64_t(uint64_t(r()) << 32 | r()) * (r() % 2 ? 1 : -1);
        const std::string temp = TempName(name, size, mtime);
        QVERIFY(temp.size() <= 63);
        QVERIFY(IsTempName(temp));
        QCOMPARE(temp.rfind(TempPrefix(name), 0), size_t(0));
        QVERIFY(!IsTempName(name) || name.rfind(".corvane-", 0) == 0);
    }
    for (const char *notOurs : {".corvane-.tmp", ".corvane-0123456789abcdef-1-2.tmpx", "corvane-0123456789abcdef-1-2.tmp",
                                ".corvane-0123456789abcdeg-1-2.tmp", ".corvane-0123456789abcdef--2.tmp",
                                ".corvane-0123456789abcdef-1.tmp", ".corvane-0123456789ABCDEF-1-2.tmp"})
        QVERIFY2(!IsTempName(notOurs), notOurs);
    QVERIFY(IsTempName(".corvane-0123456789abcdef-1-2.tmp"));
}

// ----------------------------------------------------------- the data path

// The same bytes whichever way they go: kernel copy, user space, O_DIRECT,
// paced, sparse, a clone where there is one.
void TestCopyEngine::copyFileWays_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<qint64>("size");
    for (const qint64 size : {qint64(0), qint64(1), qint64(4095), qint64(4097), qint64(3 << 20) + 17}) {
        for (int way = 0; way < 6; ++way)
            QTest::addRow("way %d, %lld bytes", way, size) << way << size;
    }
}

void TestCopyEngine::copyFileWays()
{
    QFETCH(int, way);
    QFETCH(qint64, size);
    const std::string src = scratch("ways/src"), dst = scratch("ways/dst");
    fs::create_directories(dst);
    QByteArray bytes(size, '\0');
    std::mt19937 r{uint32_t(size)};
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = i >= 8192 && i < 1200000 ? '\0' : char(r()); // a run of zeros for /SPARSE
    QVERIFY(trees::write(src + "/f", bytes));
    if (size > 1200000) {
        // The zeros become a real hole of the source.
        const Fd f(::open((src + "/f").c_str(), O_WRONLY | O_CLOEXEC));
        QVERIFY(::fallocate(f.get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 8192, 1196032 - 8192) == 0);
    }
    DataPathSettings s;
    switch (way) {
    case 1: s.userSpace = true; break;
    case 2: s.unbuffered = true; break;
    case 3: s.gapMs = 1; s.userSpace = true; break;
    case 4: s.sparse = true; break;
    case 5: s.ioMaxSize = 5000; s.noClone = true; break;
    default: break;
    }
    const Fd sd = openDir(src), dd = openDir(dst);
    DeviceCapabilities caps;
    uint64_t last = 0;
    bool backwards = false;
    const Guard guard;
    const FileCopyResult res = CopyFile(FileCopy{sd.get(), "f", false, dd.get(), "f", guard}, s, caps,
                                        [&](uint64_t done, uint64_t total) {
                                            backwards = backwards || done < last || done > total;
                                            last = done;
                                        });
    QVERIFY2(!res.failure, FailureMessage(res.failure.code).c_str());
    QCOMPARE(trees::read(dst + "/f"), bytes);
    QVERIFY(!backwards);
    QCOMPARE(last, uint64_t(size));
    QCOMPARE(res.bytes, uint64_t(size));
    if (way == 4 && size > (2 << 20)) {
        // The hole stayed a hole.
        QVERIFY(statOf(dst + "/f").st_blocks * 512 < size - 1000000);
    } else if (size > (2 << 20)) {
        // Without /SPARSE the copy is whole.
        QVERIFY(statOf(dst + "/f").st_blocks * 512 >= size);
    }
}

// Whatever moment a reader looks, the final name holds the old file or
// the whole new one: a new file has no name until it is whole, a
// replaced one keeps the old content until the rename.
void TestCopyEngine::finalNameOnlyWhole_data()
{
    QTest::addColumn<bool>("existing"); // a file stands under the name before the copy
    QTest::addColumn<bool>("fresh");    // the engine's word that nothing stands there
    QTest::addColumn<bool>("restartable");
    QTest::newRow("new, unnamed until whole") << false << true << false;
    QTest::newRow("new, under a temporary name") << false << false << false;
    QTest::newRow("over an existing file") << true << false << false;
    QTest::newRow("over a file that appeared after the listing") << true << true << false;
    QTest::newRow("/Z, new") << false << false << true;
    QTest::newRow("/Z, over an existing file") << true << false << true;
}

void TestCopyEngine::finalNameOnlyWhole()
{
    QFETCH(bool, existing);
    QFETCH(bool, fresh);
    QFETCH(bool, restartable);
    const std::string base = scratch("whole/") + QString::fromLatin1(QTest::currentDataTag()).replace(u'/', u'_').toStdString();
    const std::string src = base + "/src", dst = base + "/dst";
    fs::create_directories(dst);
    QByteArray bytes((3 << 20) + 17, '\0');
    std::mt19937 r{7};
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(r());
    QVERIFY(trees::write(src + "/f", bytes, 0640, 1600000000));
    const QByteArray old("the old content");
    if (existing)
        QVERIFY(trees::write(dst + "/f", old, 0644, 1500000000));
    DataPathSettings s;
    s.userSpace = true; // a MiB at a time: the progress below sees the copy half done
    s.restartable = restartable;
    const Fd sd = openDir(src), dd = openDir(dst);
    const Guard guard;
    FileCopy job{sd.get(), "f", false, dd.get(), "f", guard};
    job.fresh = fresh;
    job.dstDevKnown = true;
    job.dstDev = statOf(dst).st_dev;
    DeviceCapabilities caps;
    int looked = 0;
    bool sawTemporary = false;
    const FileCopyResult res = CopyFile(job, s, caps, [&](uint64_t done, uint64_t total) {
        if (done == 0 || done >= total)
            return;
        ++looked;
        if (existing) {
            QCOMPARE(trees::read(dst + "/f"), old);
        } else {
            QVERIFY(!trees::exists(dst + "/f"));
        }
        // Only /Z keeps a named partial file: it is what a later run resumes.
        const size_t temps = trees::temporaries(dst).size();
        if (restartable)
            QCOMPARE(temps, size_t(1));
        sawTemporary = sawTemporary || temps;
    });
    QVERIFY2(!res.failure, FailureMessage(res.failure.code).c_str());
    QVERIFY(looked >= 2);
    // An unnamed file leaves nothing behind even when killed: no name at all.
    if (fresh && !existing && !restartable && caps.has(job.dstDev, job.dstDev, DeviceCapabilities::UnnamedFile))
        QVERIFY(!sawTemporary);
    QCOMPARE(trees::read(dst + "/f"), bytes);
    QCOMPARE(statOf(dst + "/f").st_mode & 07777, mode_t(0640));
    QCOMPARE(int64_t(statOf(dst + "/f").st_mtim.tv_sec), int64_t(1600000000));
    QVERIFY(trees::temporaries(dst).empty());
}

// ----------------------------------------------------------- the walk's primitives

void TestCopyEngine::listFolderNamesAreBytes()
{
    const std::string dir = scratch("names");
    const std::vector<std::string> names{"B", "a", "A", "\xff\xfe", "\xc3\xa9", "a b", "z"};
    for (const std::string &n : names)
        QVERIFY(trees::write(dir + '/' + n, bytesOf(n)));
    fs::create_directories(dir + "/sub");
    QVERIFY(::symlink("z", (dir + "/link-file").c_str()) == 0);
    QVERIFY(::symlink("sub", (dir + "/link-dir").c_str()) == 0);
    QVERIFY(::symlink("nowhere", (dir + "/link-dangling").c_str()) == 0);
    QVERIFY(::mkfifo((dir + "/fifo").c_str(), 0600) == 0);
    const Fd fd = openDir(dir);
    Listing listing;
    QVERIFY(!listing.read(fd.get(), true));
    std::vector<std::string> got;
    for (size_t i = 0; i < listing.size(); ++i) {
        got.emplace_back(listing.name(i));
        QCOMPARE(std::string(listing.cName(i)), got.back()); // NUL-ended for the system calls
    }
    std::vector<std::string> expected = names;
    for (const char *more : {"sub", "link-file", "link-dir", "link-dangling", "fifo"})
        expected.push_back(more);
    std::sort(expected.begin(), expected.end());
    QCOMPARE(got, expected);
    auto node = [&](const char *name) {
        for (size_t i = 0; i < listing.size(); ++i)
            if (listing.name(i) == name)
                return listing[i];
        qFatal("%s not listed", name);
    };
    QCOMPARE(node("\xff\xfe").size, uint64_t(2));
    QVERIFY(node("link-file").isLink && node("link-file").kind == NodeKind::File && node("link-file").size == 1);
    QVERIFY(node("link-dir").isLink && node("link-dir").kind == NodeKind::Directory);
    QVERIFY(node("link-dangling").kind == NodeKind::Dangling);
    QVERIFY(node("fifo").kind == NodeKind::Other && !node("fifo").isLink);
    QVERIFY(node("sub").kind == NodeKind::Directory);
    QVERIFY(!node("sub").otherDevice && !node("z").otherDevice);
    // Not following: a link's own size (its target's length).
    QVERIFY(!listing.read(fd.get(), false));
    QCOMPARE(node("link-dir").size, uint64_t(3));
    QVERIFY(node("link-dir").kind == NodeKind::Directory);
    // A second listing replaces the first; release gives it all back.
    QCOMPARE(listing.size(), expected.size());
    listing.release();
    QVERIFY(listing.empty());
}

void TestCopyEngine::removeTreeStaysInside()
{
    const std::string outside = scratch("rm/outside"), dest = scratch("rm/dest");
    QVERIFY(trees::write(outside + "/keep", "keep me"));
    QVERIFY(trees::write(dest + "/extra/a/file", "x"));
    QVERIFY(::symlink(outside.c_str(), (dest + "/extra/link-out").c_str()) == 0);
    QVERIFY(::symlink((outside + "/keep").c_str(), (dest + "/extra/a/link-file").c_str()) == 0);
    const Fd d = openDir(dest);
    std::vector<std::string> failures;
    Guard guard;
    guard.setDestinationDevice(statOf(dest).st_dev);
    QVERIFY(guard.removeTree(d.get(), "extra", [&](const std::string &p, bool, int) { failures.push_back(p); }));
    QVERIFY(failures.empty());
    QVERIFY(!trees::exists(dest + "/extra"));
    QCOMPARE(trees::read(outside + "/keep"), QByteArray("keep me"));

    // A mount point inside is never entered (nor its content deleted).
    trees::SmallDisk mount(dest + "/extra2/mnt", "64k");
    if (!mount.mounted())
        QSKIP(("no mount for the rest of this test: " + mount.why()).c_str());
    QVERIFY(trees::write(dest + "/extra2/mnt/precious", "p"));
    QVERIFY(trees::write(dest + "/extra2/other", "o"));
    QVERIFY(!guard.removeTree(d.get(), "extra2", [&](const std::string &p, bool, int code) {
        failures.push_back(p + ':' + SystemMessage(code));
    }));
    QCOMPARE(trees::read(dest + "/extra2/mnt/precious"), QByteArray("p"));
    QVERIFY(!trees::exists(dest + "/extra2/other"));
    QCOMPARE(failures.size(), size_t(1));
}

// ----------------------------------------------------------- properties of whole runs

void TestCopyEngine::secondRunFindsAllSame_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("threads");
    for (int seed = 1; seed <= 4; ++seed)
        QTest::addRow("seed %d%s", seed, seed % 2 ? "" : ", /MT:4") << seed << (seed % 2 ? 0 : 4);
}

void TestCopyEngine::secondRunFindsAllSame()
{
    QFETCH(int, seed);
    QFETCH(int, threads);
    const std::string src = scratch("same/src") + std::to_string(seed), dst = scratch("same/dst") + std::to_string(seed);
    std::mt19937 r{uint32_t(seed)};
    trees::makeRandom(src, r, 120, 3);
    CopyOptions o = options(src, dst, {"/E", "/DCOPY:DAT"});
    o.threads = uint32_t(threads);
    const Run first = runEngine(o);
    QCOMPARE(first.code(), 1);
    QCOMPARE(first.errors(), 0);
    trees::DescribeOptions all;
    all.folderTimes = true;
    const trees::Description source = trees::describe(src, all);
    QVERIFY2(source == trees::describe(dst, all), qPrintable(trees::difference(source, trees::describe(dst, all))));
    QCOMPARE(first.totals.files[Column::Copied], first.totals.files[Column::Total]);

    const Run second = runEngine(o);
    QCOMPARE(second.code(), 0);
    QCOMPARE(second.totals.files[Column::Copied], uint64_t(0));
    QCOMPARE(second.totals.files[Column::Skipped], first.totals.files[Column::Total]);
    QCOMPARE(second.totals.dirs[Column::Copied], uint64_t(0));
    for (const auto &[name, tag] : second.fileTags())
        QVERIFY2(tag == Tag::SameSkipped, name.c_str());
    QVERIFY(trees::describe(dst, all) == source); // the rerun changed nothing, folder times included
}

void TestCopyEngine::listOnlyChangesNothing()
{
    for (int seed = 10; seed < 13; ++seed) {
        const std::string base = scratch("list/") + std::to_string(seed);
        std::mt19937 r{uint32_t(seed)};
        trees::makeRandom(base + "/src", r, 80, 3);
        trees::makeRandom(base + "/dst", r, 60, 3);
        const trees::Description src = trees::describe(base + "/src"), dst = trees::describe(base + "/dst");
        for (const auto &sw : {std::initializer_list<const char *>{"/MIR"}, {"/E", "/MOVE"}, {"/S", "/PURGE"}}) {
            CopyOptions o = options(base + "/src", base + "/dst", sw);
            o.listOnly = true;
            const Run listed = runEngine(o);
            QVERIFY(trees::describe(base + "/src") == src);
            QVERIFY(trees::describe(base + "/dst") == dst);
            QCOMPARE(listed.errors(), 0);
            // What it lists is what the real run then does.
            fs::copy(base + "/src", base + "/src2", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            fs::copy(base + "/dst", base + "/dst2", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            const Run real = runEngine(options(base + "/src2", base + "/dst2", sw));
            QCOMPARE(listed.code(), real.code());
            QVERIFY(sameCounts(listed.totals, real.totals));
            fs::remove_all(base + "/src2");
            fs::remove_all(base + "/dst2");
        }
        // Nor does it make a missing destination.
        const Run missing = runEngine(options(base + "/src", base + "/none", {"/E", "/L"}));
        QVERIFY(!trees::exists(base + "/none"));
        QCOMPARE(missing.code(), 1);
    }
}

namespace {

// The expected destination after /MIR /XF *.keep /XD keep-dir*: the source
// without the excluded names, plus what the destination held under them:
// an excluded folder always (with the folders above it, even extra ones),
// an excluded file where its folder is one of the source.
trees::Description mirrored(const trees::Description &src, const trees::Description &before)
{
    // The end of the first excluded part of a path (0 for none), and whether it is a folder.
    auto excludedPart = [](const std::string &p, bool &folder) -> size_t {
        for (size_t at = 0; at < p.size();) {
            const size_t slash = p.find('/', at);
            const std::string part = p.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
            folder = slash != std::string::npos;
            if (folder && part.rfind("keep-dir", 0) == 0)
                return slash + 1;
            if (!folder && part.size() >= 5 && part.substr(part.size() - 5) == ".keep")
                return p.size();
            if (!folder)
                break;
            at = slash + 1;
        }
        return 0;
    };
    auto parentOf = [](const std::string &p) {
        const std::string trimmed = p.back() == '/' ? p.substr(0, p.size() - 1) : p;
        const size_t slash = trimmed.rfind('/');
        return slash == std::string::npos ? std::string() : trimmed.substr(0, slash + 1);
    };
    bool folder = false;
    trees::Description out;
    for (const auto &[p, v] : src)
        if (!excludedPart(p, folder))
            out[p] = v;
    for (const auto &[p, v] : before) {
        const size_t end = excludedPart(p, folder);
        if (!end)
            continue;
        if (folder) {
            out[p] = v;
            for (std::string up = parentOf(p.substr(0, end)); !up.empty(); up = parentOf(up))
                if (!out.count(up))
                    out[up] = before.at(up);
        } else if (const std::string up = parentOf(p); up.empty() || (src.count(up) && src.at(up)[0] == 'd')) {
            out[p] = v;
        }
    }
    return out;
}

void addKeepers(const std::string &root, std::mt19937 &r)
{
    std::vector<std::string> dirs{root};
    for (const auto &e : fs::recursive_directory_iterator(root))
        if (e.is_directory() && !e.is_symlink())
            dirs.push_back(e.path().string());
    for (int i = 0; i < 6; ++i) {
        const std::string d = dirs[std::uniform_int_distribution<size_t>(0, dirs.size() - 1)(r)];
        trees::write(d + "/x" + std::to_string(i) + ".keep", QByteArray::number(i));
        trees::write(d + "/keep-dir" + std::to_string(i) + "/inside", QByteArray::number(i * 7));
    }
}

} // namespace

void TestCopyEngine::mirrorEqualsSourceMinusExclusions()
{
    for (int seed = 20; seed < 24; ++seed) {
        const std::string base = scratch("mir/") + std::to_string(seed);
        std::mt19937 r{uint32_t(seed)};
        trees::makeRandom(base + "/src", r, 90, 3);
        trees::makeRandom(base + "/dst", r, 90, 3);
        addKeepers(base + "/src", r);
        addKeepers(base + "/dst", r);
        // A destination that shares some of the source, changed.
        fs::copy(base + "/src", base + "/dst/shared", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy(base + "/src", base + "/shared", fs::copy_options::recursive);
        fs::rename(base + "/shared", base + "/src/shared");
        trees::changeRandom(base + "/dst/shared", r, 10);
        const trees::Description before = trees::describe(base + "/dst");
        CopyOptions o = options(base + "/src", base + "/dst", {"/MIR", "/XF", "*.keep", "/XD", "keep-dir*"});
        o.threads = seed % 2 ? 0 : 8;
        const Run run = runEngine(o);
        QCOMPARE(run.errors(), 0);
        const trees::Description expected = mirrored(trees::describe(base + "/src"), before);
        const trees::Description after = trees::describe(base + "/dst");
        QVERIFY2(after == expected, qPrintable(trees::difference(expected, after)));
        QVERIFY(trees::temporaries(base + "/dst").empty());
    }
}

void TestCopyEngine::excludeExtraKeepsPurgeFromDeleting()
{
    const std::string base = scratch("xx");
    std::mt19937 r{31};
    trees::makeRandom(base + "/src", r, 60, 3);
    trees::makeRandom(base + "/dst", r, 60, 3);
    const trees::Description before = trees::describe(base + "/dst");
    const trees::Description src = trees::describe(base + "/src");
    const Run run = runEngine(options(base + "/src", base + "/dst", {"/E", "/PURGE", "/XX"}));
    QCOMPARE(run.errors(), 0);
    const trees::Description after = trees::describe(base + "/dst");
    // Every extra is still there, untouched; no extra was even listed.
    for (const auto &[p, v] : before)
        if (!src.count(p) && !(p.back() != '/' && src.count(p + '/')) && !(p.back() == '/' && src.count(p.substr(0, p.size() - 1))))
            QVERIFY2(after.count(p) && after.at(p) == v, p.c_str());
    QCOMPARE(run.totals.files[Column::Extras], uint64_t(0));
    QCOMPARE(run.totals.dirs[Column::Extras], uint64_t(0));
    QCOMPARE(run.code() & 2, 0);
}

void TestCopyEngine::threadsGiveTheSameResult_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<QStringList>("switches");
    QTest::addRow("/MIR") << 41 << QStringList{"/MIR"};
    QTest::addRow("/E /MOV") << 42 << QStringList{"/E", "/MOV"};
    QTest::addRow("/E /MOVE /PURGE") << 43 << QStringList{"/E", "/MOVE", "/PURGE"};
    QTest::addRow("/S /XO /XX") << 44 << QStringList{"/S", "/XO", "/XX"};
    QTest::addRow("/MIR /XF *a* /XD *b*") << 45 << QStringList{"/MIR", "/XF", "*a*", "/XD", "*b*"};
    QTest::addRow("/E /IS /Z") << 46 << QStringList{"/E", "/IS", "/Z"};
    QTest::addRow("/MIR /MAX:3000 /DCOPY:DAT") << 47 << QStringList{"/MIR", "/MAX:3000", "/DCOPY:DAT"};
}

// A copy of a tree for a test to work on, times kept (to the nanosecond),
// so that copies made at different moments are the same tree.
static void copyTree(const std::string &from, const std::string &to)
{
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    const auto keepTimes = [&](const fs::path &p) {
        const struct stat st = statOf(p.string());
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        const std::string target = to + '/' + fs::relative(p, from).string();
        QVERIFY2(::utimensat(AT_FDCWD, target.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0, target.c_str());
    };
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(from))
        keepTimes(e.path());
}

// /MT:n does what one thread does: the same destination (and source, for
// the moves), the same counts and exit code, whatever the switches.
void TestCopyEngine::threadsGiveTheSameResult()
{
    QFETCH(int, seed);
    QFETCH(QStringList, switches);
    const std::string base = scratch("mt/") + std::to_string(seed);
    std::mt19937 r{uint32_t(seed)};
    trees::makeRandom(base + "/src-start", r, 200, 4);
    trees::makeRandom(base + "/dst-start", r, 80, 3);
    // Some of the source's names in the destination too, changed or not.
    std::error_code ignored; // a name that is a folder on one side and a file on the other stays as it is
    fs::copy(base + "/src-start", base + "/dst-start",
             fs::copy_options::recursive | fs::copy_options::skip_existing | fs::copy_options::copy_symlinks, ignored);
    trees::changeRandom(base + "/dst-start", r, 40);
    std::vector<Run> runs;
    std::vector<trees::Description> results, sources;
    for (const int threads : {0, 1, 8}) {
        const std::string src = base + "/src" + std::to_string(threads), dst = base + "/dst" + std::to_string(threads);
        copyTree(base + "/src-start", src);
        copyTree(base + "/dst-start", dst);
        std::vector<std::string> args{src, dst, "/R:0", "/W:0"};
        for (const QString &sw : switches)
            args.push_back(sw.toStdString());
        const ParsedCommand parsed = ParseArguments(
            args, "/", [](const std::string &, std::string &, std::string &) { return false; },
            [](const std::string &path) { return fs::is_directory(path); });
        QVERIFY2(parsed.error.empty(), parsed.error.c_str());
        CopyOptions o = parsed.options;
        o.threads = uint32_t(threads);
        runs.push_back(runEngine(o));
        QCOMPARE(runs.back().errors(), 0);
        results.push_back(trees::describe(dst));
        sources.push_back(trees::exists(src) ? trees::describe(src) : trees::Description{});
    }
    for (size_t i = 1; i < runs.size(); ++i) {
        QVERIFY2(results[i] == results[0], qPrintable(trees::difference(results[0], results[i])));
        QVERIFY2(sources[i] == sources[0], qPrintable(trees::difference(sources[0], sources[i])));
        QVERIFY(sameCounts(runs[i].totals, runs[0].totals));
        QCOMPARE(runs[i].code(), runs[0].code());
    }
    QVERIFY(runs[0].totals.files[Column::Copied] > 0);
    if (switches != QStringList{"/MIR"})
        return;
    QVERIFY(results[0] == trees::describe(base + "/src-start"));
    // The /MT form: no percentages, every copied file's line with its full path.
    const std::string &report = runs[2].report;
    QVERIFY(report.find('\r') == std::string::npos);
    size_t lines = 0;
    for (size_t at = report.find("100%"); at != std::string::npos; at = report.find("100%", at + 1)) {
        const size_t end = report.find('\n', at);
        QVERIFY(report.substr(at, end - at).find(base + "/src8/") != std::string::npos);
        ++lines;
    }
    QCOMPARE(lines, size_t(runs[2].totals.files[Column::Copied]));
}

// The silent pass /MON and /MOT look with: it counts what a run would do and
// neither writes nor tells anything.
void TestCopyEngine::countOnlyPassChangesNothing()
{
    const std::string base = scratch("count");
    std::mt19937 r{71};
    trees::makeRandom(base + "/src", r, 50, 2);
    trees::makeRandom(base + "/dst", r, 50, 2);
    const trees::Description src = trees::describe(base + "/src"), dst = trees::describe(base + "/dst");
    const CopyOptions o = options(base + "/src", base + "/dst", {"/MIR", "/MOVE", "/MT:4"});
    Engine silent(o, CurrentClock(), [](const Event &e) { QFAIL(qPrintable(QString::fromStdString("told: " + e.dir + e.name))); });
    silent.setCountOnly(true);
    const Totals counted = silent.run();
    QVERIFY(trees::describe(base + "/src") == src);
    QVERIFY(trees::describe(base + "/dst") == dst);
    const Run real = runEngine(o);
    QVERIFY(sameCounts(counted, real.totals));
    QVERIFY(counted.files[Column::Copied] > 0 && counted.files[Column::Extras] > 0);
}

void TestCopyEngine::runHours_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("minute");
    QTest::addColumn<bool>("within");
    QTest::newRow("inside") << 9 * 60 << 17 * 60 << 12 * 60 << true;
    QTest::newRow("at the start") << 9 * 60 << 17 * 60 << 9 * 60 << true;
    QTest::newRow("at the end") << 9 * 60 << 17 * 60 << 17 * 60 << false;
    QTest::newRow("before") << 9 * 60 << 17 * 60 << 8 * 60 + 59 << false;
    QTest::newRow("night, late") << 22 * 60 << 6 * 60 << 23 * 60 << true;
    QTest::newRow("night, early") << 22 * 60 << 6 * 60 << 5 * 60 + 59 << true;
    QTest::newRow("night, day") << 22 * 60 << 6 * 60 << 12 * 60 << false;
    QTest::newRow("whole day") << 7 * 60 << 7 * 60 << 3 * 60 << true;
}

void TestCopyEngine::runHours()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, minute);
    QFETCH(bool, within);
    QCOMPARE(WithinRunHours(RunHours{true, uint16_t(start), uint16_t(end)}, minute), within);
    QVERIFY(WithinRunHours(RunHours{}, minute)); // no /RH: any time
}

// ----------------------------------------------------------- what each switch does on disk

namespace {

// A setup that cannot be made here says why in skip.
using Setup = std::function<void(const std::string &src, const std::string &dst, QString &skip)>;
using Check = std::function<void(const std::string &src, const std::string &dst, const Run &run)>;

// The POSIX ACL of a file as its extended attribute holds it: owner rw,
// user nobody r, group r, mask r, others nothing.
std::string sampleAcl()
{
    const uint16_t entries[][4] = {{0x01, 6, 0xFFFF, 0xFFFF}, {0x02, 4, 65534, 0}, {0x04, 4, 0xFFFF, 0xFFFF},
                                   {0x10, 4, 0xFFFF, 0xFFFF}, {0x20, 0, 0xFFFF, 0xFFFF}};
    std::string acl("\x02\0\0\0", 4);
    for (const auto &e : entries)
        for (const uint16_t v : e)
            acl.append({char(v & 0xFF), char(v >> 8)});
    return acl;
}

int64_t mtimeOf(const std::string &path) { return statOf(path).st_mtim.tv_sec; }

// A temporary file as the engine leaves one: named so, and marked as its own.
bool writeTemporary(const std::string &path, const QByteArray &bytes)
{
    if (!trees::write(path, bytes))
        return false;
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd && !MarkTemporary(fd.get(), statOf(path).st_ino, fs::path(path).filename().string());
}
uint32_t attributesOf(const std::string &path)
{
    const std::string value = xattrOf(path, kDosAttribName);
    return AttributesFrom(statOf(path).st_mode, fs::is_directory(path), !value.empty(), value);
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Check)

void TestCopyEngine::switchEffects_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Check>("check");
    const auto file = [](const char *name, const char *content = "data", int mode = 0644, int64_t mtime = 1600000000) {
        return [=](const std::string &src, const std::string &, QString &) {
            QVERIFY(trees::write(src + '/' + name, content, mode, mtime));
        };
    };

    QTest::newRow("by default: content, mode, times, the letters with Archive, streams")
        << QStringList{} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/f", "content", 0640, 1600000000));
               const std::string v = EncodeDosAttrib(Attr::Hidden | Attr::System);
               QVERIFY(::setxattr((src + "/f").c_str(), kDosAttribName, v.data(), v.size(), 0) == 0);
               QVERIFY(::setxattr((src + "/f").c_str(), "user.stream", "side", 4, 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(trees::read(dst + "/f"), QByteArray("content"));
               QCOMPARE(statOf(dst + "/f").st_mode & 07777, mode_t(0640));
               QCOMPARE(mtimeOf(dst + "/f"), int64_t(1600000000));
               QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::Hidden | Attr::System | Attr::Archive));
               QCOMPARE(xattrOf(dst + "/f", "user.stream"), std::string("side"));
           });
    QTest::newRow("/COPY:DA: no times; a read-only file stays read-only")
        << QStringList{"/COPY:DA"} << Setup(file("f", "x", 0444))
        << Check([](auto &, auto &dst, auto &) {
               QVERIFY(mtimeOf(dst + "/f") != 1600000000);
               QCOMPARE(statOf(dst + "/f").st_mode & 0777, mode_t(0444));
               QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::ReadOnly | Attr::Archive));
           });
    QTest::newRow("/CREATE: an empty twin with the source's time")
        << QStringList{"/CREATE"} << Setup(file("f", "12345")) << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(statOf(dst + "/f").st_size, off_t(0));
               QCOMPARE(mtimeOf(dst + "/f"), int64_t(1600000000));
               QCOMPARE(run.code(), 1);
           });
    QTest::newRow("/M: copied, then Archive reset at the source")
        << QStringList{"/M"} << Setup(file("f")) << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(run.totals.files[Column::Copied], uint64_t(1));
               QVERIFY(trees::exists(dst + "/f"));
               QCOMPARE(attributesOf(src + "/f") & Attr::Archive, 0u);
               QCOMPARE(attributesOf(dst + "/f") & Attr::Archive, uint32_t(Attr::Archive));
               const Run again = runEngine(options(src, dst + "2", {"/M"}));
               QCOMPARE(again.totals.files[Column::Copied], uint64_t(0)); // nothing with Archive left
               QVERIFY(!trees::exists(dst + "2/f"));
           });
    QTest::newRow("/MOV: the source folder itself stays")
        << QStringList{"/MOV"} << Setup(file("f")) << Check([](auto &src, auto &dst, auto &run) {
               QVERIFY(fs::is_directory(src) && !trees::exists(src + "/f"));
               QCOMPARE(trees::read(dst + "/f"), QByteArray("data"));
               QCOMPARE(run.code(), 1);
           });
    QTest::newRow("/MOV: the copy and its folder flushed before the source goes")
        << QStringList{"/MOV"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/f", "data"));
               const std::lock_guard lock(g_moveMutex);
               g_flushedBefore.clear();
               g_movedSource = src + "/f";
               g_watchMoves = true;
           })
        << Check([](auto &src, auto &dst, auto &) {
               const std::lock_guard lock(g_moveMutex);
               g_watchMoves = false;
               const std::string folder = fs::canonical(dst).string();
               QVERIFY(!trees::exists(src + "/f"));
               QVERIFY(std::count(g_flushedBefore.begin(), g_flushedBefore.end(), folder) == 1);
               QVERIFY(std::count_if(g_flushedBefore.begin(), g_flushedBefore.end(),
                                     [&](const std::string &p) { return p.starts_with(folder + '/'); })
                       == 1); // the file, unnamed or under its temporary name
           });
    QTest::newRow("a mode the umask narrows: narrowed without S, whole with it")
        << QStringList{} << Setup(file("f", "data", 0666)) << Check([](auto &src, auto &dst, auto &) {
               const mode_t mask = ::umask(022);
               ::umask(mask);
               QCOMPARE(statOf(dst + "/f").st_mode & 0777, 0666 & ~mask);
               runEngine(options(src, dst + "-s", {"/COPY:DATS"}));
               QCOMPARE(statOf(dst + "-s/f").st_mode & 0777, mode_t(0666));
           });
    QTest::newRow("a folder made in a set-group-ID folder keeps the bit, as mkdir gives it")
        << QStringList{"/E"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/d/f", "f"));
               fs::create_directories(dst);
               QVERIFY(::chmod(dst.c_str(), 02755) == 0);
           })
        << Check([](auto &, auto &dst, auto &) { QCOMPARE(statOf(dst + "/d").st_mode & 07777, mode_t(02755)); });
    QTest::newRow("an existing folder that receives a file gets its properties")
        << QStringList{"/E"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/d/new", "n"));
               QVERIFY(trees::write(dst + "/d/old", "o"));
               const std::string hidden = EncodeDosAttrib(Attr::Hidden);
               QVERIFY(::setxattr((src + "/d").c_str(), kDosAttribName, hidden.data(), hidden.size(), 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &) { QCOMPARE(attributesOf(dst + "/d"), uint32_t(Attr::Hidden)); });
    QTest::newRow("/A: copied, Archive stays")
        << QStringList{"/A"} << Setup(file("f")) << Check([](auto &src, auto &, auto &run) {
               QCOMPARE(run.totals.files[Column::Copied], uint64_t(1));
               QCOMPARE(attributesOf(src + "/f") & Attr::Archive, uint32_t(Attr::Archive));
           });
    QTest::newRow("/A+:RH /A-:A")
        << QStringList{"/A+:RH", "/A-:A"} << Setup(file("f")) << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::ReadOnly | Attr::Hidden));
               QCOMPARE(statOf(dst + "/f").st_mode & 0777, mode_t(0444));
           });
    QTest::newRow("/COPY:DT: R and the letters stay behind")
        << QStringList{"/COPY:DT"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/f", "x"));
               const std::string v = EncodeDosAttrib(Attr::Hidden | Attr::Archive);
               QVERIFY(::setxattr((src + "/f").c_str(), kDosAttribName, v.data(), v.size(), 0) == 0);
               QVERIFY(::chmod((src + "/f").c_str(), 0444) == 0);
           })
        << Check([](auto &, auto &dst, auto &) { QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::Archive)); });
    QTest::newRow("/IT: a Tweaked file is copied")
        << QStringList{"/IT"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/f", "same", 0644, 1600000000));
               QVERIFY(trees::write(dst + "/f", "same", 0644, 1600000000));
               const std::string v = EncodeDosAttrib(Attr::Hidden | Attr::Archive);
               QVERIFY(::setxattr((src + "/f").c_str(), kDosAttribName, v.data(), v.size(), 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(run.fileTags().at("f"), Tag::Tweaked);
               QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::Hidden | Attr::Archive));
           });
    QTest::newRow("without /IT a Tweaked file is Same")
        << QStringList{} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/f", "same", 0644, 1600000000));
               QVERIFY(trees::write(dst + "/f", "same", 0644, 1600000000));
               const std::string v = EncodeDosAttrib(Attr::Hidden);
               QVERIFY(::setxattr((src + "/f").c_str(), kDosAttribName, v.data(), v.size(), 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(run.fileTags().at("f"), Tag::SameSkipped);
               QCOMPARE(attributesOf(dst + "/f"), uint32_t(Attr::Archive));
           });
    QTest::newRow("/TIMFIX /FFT: a skipped file gets the source's time")
        << QStringList{"/TIMFIX", "/FFT"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/f", "same", 0644, 1600000000));
               QVERIFY(trees::write(dst + "/f", "same", 0644, 1600000001));
           })
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(run.totals.files[Column::Copied], uint64_t(0));
               QCOMPARE(mtimeOf(dst + "/f"), int64_t(1600000000));
           });
    QTest::newRow("/S leaves empty folders, /E makes them")
        << QStringList{"/S"} << Setup([](auto &src, auto &, QString &) {
               fs::create_directories(src + "/empty/deeper");
               QVERIFY(trees::write(src + "/full/f", "x"));
           })
        << Check([](auto &src, auto &dst, auto &run) {
               QVERIFY(!trees::exists(dst + "/empty"));
               QVERIFY(trees::exists(dst + "/full/f"));
               QCOMPARE(run.totals.dirs[Column::Copied], uint64_t(2)); // the root and full
               runEngine(options(src, dst, {"/E"}));
               QVERIFY(fs::is_directory(dst + "/empty/deeper"));
           });
    QTest::newRow("/LEV:2: the root is level 1")
        << QStringList{"/E", "/LEV:2"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/a/f", "x"));
               QVERIFY(trees::write(src + "/a/b/g", "y"));
           })
        << Check([](auto &, auto &dst, auto &) {
               QVERIFY(trees::exists(dst + "/a/f"));
               QVERIFY(!trees::exists(dst + "/a/b"));
           });
    QTest::newRow("/XJD /XJF: links left out")
        << QStringList{"/E", "/XJD", "/XJF"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/real/f", "x"));
               QVERIFY(::symlink("real", (src + "/link-dir").c_str()) == 0);
               QVERIFY(::symlink("real/f", (src + "/link-file").c_str()) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QVERIFY(trees::exists(dst + "/real/f"));
               QVERIFY(!trees::exists(dst + "/link-dir"));
               QVERIFY(!trees::exists(dst + "/link-file"));
           });
    QTest::newRow("links followed by default")
        << QStringList{"/E"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/real/f", "x"));
               QVERIFY(::symlink("real", (src + "/link-dir").c_str()) == 0);
               QVERIFY(::symlink("real/f", (src + "/link-file").c_str()) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QVERIFY(fs::is_directory(fs::symlink_status(dst + "/link-dir")));
               QVERIFY(fs::is_regular_file(fs::symlink_status(dst + "/link-file")));
               QCOMPARE(trees::read(dst + "/link-dir/f"), QByteArray("x"));
           });
    QTest::newRow("/SJ: a link to a folder stays a link, one to a file is followed")
        << QStringList{"/E", "/SJ"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/real/f", "x"));
               QVERIFY(::symlink("real", (src + "/link-dir").c_str()) == 0);
               QVERIFY(::symlink("real/f", (src + "/link-file").c_str()) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(fs::read_symlink(dst + "/link-dir").string(), std::string("real"));
               QVERIFY(fs::is_regular_file(fs::symlink_status(dst + "/link-file")));
           });
    QTest::newRow("/NOCOPY /PURGE: extras go, nothing is copied")
        << QStringList{"/NOCOPY", "/PURGE"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/new", "x"));
               QVERIFY(trees::write(dst + "/extra", "x"));
           })
        << Check([](auto &, auto &dst, auto &run) {
               QVERIFY(!trees::exists(dst + "/new"));
               QVERIFY(!trees::exists(dst + "/extra"));
               QCOMPARE(run.code(), 2);
           });
    QTest::newRow("a mismatch under /PURGE /S: the folder goes as an extra, the file comes")
        << QStringList{"/PURGE", "/S"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/name", "file"));
               QVERIFY(trees::write(dst + "/name/inside", "folder"));
           })
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(trees::read(dst + "/name"), QByteArray("file"));
               QVERIFY(run.report.find("*EXTRA Dir        -1\t" + dst + "/name/") != std::string::npos);
               QCOMPARE(run.code(), 1 | 2);
           });
    QTest::newRow("a mismatch without /PURGE is reported and left")
        << QStringList{} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/name", "file"));
               QVERIFY(trees::write(dst + "/name/inside", "folder"));
           })
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(trees::read(dst + "/name/inside"), QByteArray("folder"));
               QCOMPARE(run.code(), 4);
           });
    QTest::newRow("a link in the destination is never followed")
        << QStringList{"/MIR"} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/sub/f", "new"));
               QVERIFY(trees::write(dst + "-outside/f", "keep"));
               fs::create_directories(dst);
               QVERIFY(::symlink((dst + "-outside").c_str(), (dst + "/sub").c_str()) == 0);
               QVERIFY(::symlink((dst + "-outside").c_str(), (dst + "/extra-link").c_str()) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(trees::read(dst + "-outside/f"), QByteArray("keep"));
               QVERIFY(fs::is_directory(fs::symlink_status(dst + "/sub")));
               QCOMPARE(trees::read(dst + "/sub/f"), QByteArray("new"));
               QVERIFY(!trees::exists(dst + "/extra-link"));
           });
    QTest::newRow("/COPY:DATS: the POSIX ACL")
        << QStringList{"/COPY:DATS"} << Setup([](auto &src, auto &, QString &skip) {
               QVERIFY(trees::write(src + "/f", "x"));
               const std::string acl = sampleAcl();
               if (::setxattr((src + "/f").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
                   skip = QStringLiteral("no POSIX ACLs on this file system");
           })
        << Check([](auto &src, auto &dst, auto &) {
               QCOMPARE(xattrOf(dst + "/f", "system.posix_acl_access"), xattrOf(src + "/f", "system.posix_acl_access"));
               QCOMPARE(statOf(dst + "/f").st_mode & 0777, statOf(src + "/f").st_mode & 0777);
           });
    QTest::newRow("/COPY:DATO: owner and group")
        << QStringList{"/COPY:DATO"} << Setup([](auto &src, auto &, QString &skip) {
               QVERIFY(trees::write(src + "/f", "x"));
               if (::geteuid() != 0)
                   skip = QStringLiteral("giving a file away needs root");
               else
                   QVERIFY(::chown((src + "/f").c_str(), 65534, 65534) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(statOf(dst + "/f").st_uid, uid_t(65534));
               QCOMPARE(statOf(dst + "/f").st_gid, gid_t(65534));
           });
    QTest::newRow("/DCOPY:DAT: folder times and mode")
        << QStringList{"/E", "/DCOPY:DAT"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/d/f", "x"));
               QVERIFY(::chmod((src + "/d").c_str(), 0750) == 0);
               const struct timespec t[2] = {{1500000000, 0}, {1500000000, 0}};
               QVERIFY(::utimensat(AT_FDCWD, (src + "/d").c_str(), t, 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(mtimeOf(dst + "/d"), int64_t(1500000000));
               QCOMPARE(statOf(dst + "/d").st_mode & 0777, mode_t(0750));
           });
    QTest::newRow("/DCOPY:DAE: a folder's extended attributes; /COPY:DATX leaves a file's")
        << QStringList{"/E", "/DCOPY:DAE", "/COPY:DATX"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/d/f", "x"));
               QVERIFY(::setxattr((src + "/d").c_str(), "user.note", "folder", 6, 0) == 0);
               QVERIFY(::setxattr((src + "/d/f").c_str(), "user.note", "file", 4, 0) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               QCOMPARE(xattrOf(dst + "/d", "user.note"), std::string("folder"));
               QCOMPARE(xattrOf(dst + "/d/f", "user.note"), std::string());
           });
    QTest::newRow("/NODCOPY: a made folder has a new folder's mode")
        << QStringList{"/E", "/NODCOPY"} << Setup([](auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/d/f", "x"));
               QVERIFY(::chmod((src + "/d").c_str(), 0700) == 0);
           })
        << Check([](auto &, auto &dst, auto &) {
               const mode_t mask = ::umask(022);
               ::umask(mask);
               QCOMPARE(statOf(dst + "/d").st_mode & 0777, 0777 & ~mask);
           });
    QTest::newRow("/Z: a partial copy of an earlier run is finished")
        << QStringList{"/Z"} << Setup([](auto &src, auto &dst, QString &) {
               QByteArray big(3 << 20, 'z');
               QVERIFY(trees::write(src + "/f", big, 0644, 1600000000));
               QVERIFY(writeTemporary(dst + '/' + TempName("f", uint64_t(big.size()), int64_t(1600000000) * 1000000000),
                                      QByteArray(2 << 20, 'Z')));
           })
        << Check([](auto &, auto &dst, auto &) {
               // The first two MiB came from the partial file, the rest from the source.
               QCOMPARE(trees::read(dst + "/f"), QByteArray(2 << 20, 'Z') + QByteArray(1 << 20, 'z'));
               QVERIFY(trees::temporaries(dst).empty());
           });
    QTest::newRow("without /Z a stale partial copy is removed")
        << QStringList{} << Setup([](auto &src, auto &dst, QString &) {
               QVERIFY(trees::write(src + "/f", "x", 0644, 1600000000));
               QVERIFY(writeTemporary(dst + '/' + TempName("gone", 5, 7), "stale"));
           })
        << Check([](auto &, auto &dst, auto &run) {
               QVERIFY(trees::temporaries(dst).empty());
               QCOMPARE(run.totals.files[Column::Extras], uint64_t(0)); // ours, never an extra
           });
}

void TestCopyEngine::switchEffects()
{
    QFETCH(QStringList, switches);
    QFETCH(Setup, setup);
    QFETCH(Check, check);
    static int n = 0;
    const std::string base = scratch("switch/") + std::to_string(++n);
    const std::string src = base + "/src", dst = base + "/dst";
    fs::create_directories(src);
    QString skip;
    setup(src, dst, skip);
    if (QTest::currentTestFailed())
        return;
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    std::vector<std::string> words;
    for (const QString &w : switches)
        words.push_back(w.toStdString());
    std::vector<std::string> args{src, dst, "/R:0", "/W:0"};
    args.insert(args.end(), words.begin(), words.end());
    const ParsedCommand parsed = ParseArguments(args, "/", {}, [](const std::string &p) { return fs::is_directory(p); });
    QVERIFY2(parsed.error.empty(), parsed.error.c_str());
    const Run run = runEngine(parsed.options);
    QVERIFY2(run.errors() == 0, run.report.c_str());
    check(src, dst, run);
}

// ----------------------------------------------------------- nothing lost

namespace {

// How a case runs: the engine in this process, or the program (as this user
// or as nobody, who cannot write what root made).
enum class Way { Engine, Program, Nobody };

// A case's trees under base; src and dst say where the run's folders are.
using Layout = std::function<void(const std::string &base, std::string &src, std::string &dst, QString &skip)>;

// Mounts a case made, undone after its check.
std::vector<std::string> g_mounts;
// Descriptors a case holds open during its run (a writer's log).
std::vector<int> g_heldOpen;

// A bind mount of from on to (read-only when asked); false when there is none (not root).
bool bindMount(const std::string &from, const std::string &to, bool readOnly)
{
    if (::geteuid() != 0 || ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return false;
    g_mounts.push_back(to);
    return !readOnly || ::mount(nullptr, to.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

bool tmpfsAt(const std::string &at, const char *size)
{
    fs::create_directories(at);
    if (::geteuid() != 0 || ::mount("tmpfs", at.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) != 0)
        return false;
    g_mounts.push_back(at);
    return true;
}

// A chain of folders "d" below root, levels deep, with a file "f" at the
// bottom: deeper than PATH_MAX, so made and read by descriptors.
bool makeDeep(const std::string &root, int levels)
{
    fs::create_directories(root);
    Fd at = openDir(root);
    for (int i = 0; at && i < levels; ++i) {
        ::mkdirat(at.get(), "d", 0755);
        at = Fd(::openat(at.get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    const Fd f(::openat(at.get(), "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    return f && ::write(f.get(), "bottom", 6) == 6;
}

QByteArray deepFile(const std::string &root, int levels)
{
    Fd at = openDir(root);
    for (int i = 0; at && i < levels; ++i)
        at = Fd(::openat(at.get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const Fd f(at ? ::openat(at.get(), "f", O_RDONLY | O_CLOEXEC) : -1);
    char buffer[16];
    const ssize_t n = f ? ::read(f.get(), buffer, sizeof buffer) : -1;
    return n > 0 ? QByteArray(buffer, qsizetype(n)) : QByteArray();
}


Run runProgram(const std::string &src, const std::string &dst, const QStringList &switches, bool asNobody)
{
    QStringList args{QString::fromStdString(src), QString::fromStdString(dst), QStringLiteral("/R:0"),
                     QStringLiteral("/W:0"), QStringLiteral("/NP")};
    args += switches;
    QString program = QStringLiteral(CORVANE_COPY_PROGRAM);
    if (asNobody) {
        args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                           QStringLiteral("--clear-groups"), QStringLiteral("--"), program} + args;
        program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    }
    QProcess p;
    p.start(program, args);
    Run run;
    if (!p.waitForFinished(120000))
        qFatal("corvane-copy did not end");
    run.exit = p.exitCode();
    run.report = p.readAllStandardOutput().toStdString();
    return run;
}

bool has(const Run &run, const std::string &text) { return run.report.find(text) != std::string::npos; }
} // namespace

Q_DECLARE_METATYPE(Layout)
Q_DECLARE_METATYPE(Way)

// What a run must never lose, and failures that must never pass for
// success: the cases of a user who tried it, one row each.
void TestCopyEngine::nothingLost_data()
{
    QTest::addColumn<Layout>("layout");
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<Way>("way");
    QTest::addColumn<Check>("check");
    // src and dst below base, with the given files ("dst/x" for the destination's).
    using Files = std::vector<std::pair<std::string, std::string>>;
    const auto plain = [](Files files) {
        return Layout([=](auto &base, auto &, auto &, QString &) {
            for (const auto &[path, content] : files)
                QVERIFY(trees::write(base + '/' + path, QByteArray::fromStdString(content)));
        });
    };
    // The source inside the destination, as T/a copied to T.
    const auto inside = [](Files files) {
        return Layout([=](auto &base, auto &src, auto &dst, QString &) {
            src = base + "/T/a";
            dst = base + "/T";
            for (const auto &[path, content] : files)
                QVERIFY(trees::write(base + "/T/a/" + path, QByteArray::fromStdString(content)));
        });
    };
    const auto rootOnly = [](Layout layout) {
        return Layout([=](auto &base, auto &src, auto &dst, QString &skip) {
            if (::geteuid() != 0)
                skip = QStringLiteral("needs root");
            else
                layout(base, src, dst, skip);
        });
    };

    QTest::newRow("1: the source inside the destination, /MIR")
        << inside({{"a", "precious"}, {"other", "keep"}}) << QStringList{"/MIR"} << Way::Engine
        << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(trees::read(src + "/a"), QByteArray("precious"));
               QCOMPARE(trees::read(src + "/other"), QByteArray("keep"));
               QCOMPARE(trees::read(dst + "/other"), QByteArray("keep"));
               QVERIFY(has(run, "NOTE : the source lies inside the destination"));
               QVERIFY(has(run, "Deleting Extra Directory " + src + "/\nThis is the source"));
               QCOMPARE(run.code(), 1 | 2 | 8);
           });
    QTest::newRow("1: a subfolder named like the source, /MIR /MT:2")
        << inside({{"a/inner", "inner"}, {"a/other", "a/other"}, {"other", "keep"}}) << QStringList{"/MIR", "/MT:2"}
        << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(trees::read(src + "/a/inner"), QByteArray("inner"));
               QCOMPARE(trees::read(src + "/other"), QByteArray("keep")); // no copy renamed over it
               QVERIFY(!trees::exists(src + "/inner")); // nothing copied into the source
               QCOMPARE(trees::read(dst + "/other"), QByteArray("keep"));
               QVERIFY(has(run, "Accessing Destination Directory " + src + "/\nThis is the source"));
               QCOMPARE(run.code(), 1 | 8);
           });
    QTest::newRow("2: no purge inside a mount below the destination")
        << rootOnly([](auto &, auto &src, auto &dst, QString &skip) {
               QVERIFY(trees::write(src + "/sub/keep", "source"));
               QVERIFY(trees::write(src + "/same/new", "n"));
               fs::create_directories(dst + "/bound");
               if (!tmpfsAt(dst + "/mnt", "64k") || !tmpfsAt(dst + "/same", "64k")
                   || !bindMount(src + "/sub", dst + "/bound", false))
                   skip = QStringLiteral("no mounts here");
               QVERIFY(trees::write(dst + "/mnt/p", "precious") && trees::write(dst + "/same/q", "q"));
           })
        << QStringList{"/MIR"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(trees::read(dst + "/mnt/p"), QByteArray("precious"));
               QCOMPARE(trees::read(dst + "/same/q"), QByteArray("q"));
               QVERIFY(!trees::exists(dst + "/same/new"));
               QCOMPARE(trees::read(src + "/sub/keep"), QByteArray("source"));
               QVERIFY(has(run, "Another file system is mounted here"));
               QCOMPARE(run.errors(), 3);
               QCOMPARE(run.code() & 8, 8);
           });
    QTest::newRow("2: a destination that is a mount point is purged as usual")
        << rootOnly([](auto &base, auto &src, auto &dst, QString &skip) {
               src = base + "/src";
               dst = base + "/usb";
               QVERIFY(trees::write(src + "/f", "f"));
               if (!tmpfsAt(dst, "64k"))
                   skip = QStringLiteral("no tmpfs here");
               QVERIFY(trees::write(dst + "/old/x", "x") && trees::write(dst + "/extra", "e"));
           })
        << QStringList{"/MIR"} << Way::Engine << Check([](auto &, auto &dst, auto &run) {
               QVERIFY(!trees::exists(dst + "/old") && !trees::exists(dst + "/extra"));
               QCOMPARE(trees::read(dst + "/f"), QByteArray("f"));
               QCOMPARE(run.code(), 1 | 2);
           });
    QTest::newRow("3: /MOV keeps a source replaced after its copy")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/f", "old version"));
               const std::lock_guard lock(g_moveMutex);
               g_watchMoves = true;
               g_atFirstFlush = [src] { // write and rename, as editors save
                   trees::write(src + "/f.new", "new version");
                   ::rename((src + "/f.new").c_str(), (src + "/f").c_str());
               };
           })
        << QStringList{"/MOV"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(trees::read(src + "/f"), QByteArray("new version"));
               QCOMPARE(trees::read(dst + "/f"), QByteArray("old version"));
               QVERIFY(has(run, "ERROR 32 (0x00000020) Deleting Source File " + src + "/f\nThe process cannot access"));
               QCOMPARE(run.code(), 8);
           });
    QTest::newRow("3, 27.9: /MOV keeps a file another process has open; the columns add up")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/a", "a") && trees::write(src + "/log", "line\n"));
               g_heldOpen.push_back(::open((src + "/log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
           })
        << QStringList{"/MOV"} << Way::Engine << Check([](auto &src, auto &, auto &run) {
               QCOMPARE(trees::read(src + "/log"), QByteArray("line\n"));
               QVERIFY(!trees::exists(src + "/a"));
               QVERIFY(has(run, "Deleting Source File " + src + "/log"));
               QVERIFY(has(run, "   Files :         2         1         0         0         1         0\n"));
               QCOMPARE(run.code(), 1 | 8);
           });
    QTest::newRow("4: /MOV /CREATE is refused")
        << plain({{"src/f", "data"}}) << QStringList{"/MOV", "/CREATE"} << Way::Program
        << Check([](auto &src, auto &dst, auto &run) {
               QVERIFY(run.code() == 16 && has(run, "/CREATE cannot be used with /MOV"));
               QVERIFY(trees::read(src + "/f") == "data" && !trees::exists(dst));
           });
    QTest::newRow("5: /MOVE of a folder it cannot delete fails")
        << Layout([](auto &, auto &src, auto &, QString &) {
               fs::create_directories(src + "/empty");
               QVERIFY(::geteuid() != 0 || ::chown(src.c_str(), 65534, 65534) == 0);
               QVERIFY(::chmod(src.c_str(), 0555) == 0);
           })
        << QStringList{"/MOVE", "/E"} << Way::Nobody << Check([](auto &src, auto &, auto &run) {
               QVERIFY(fs::is_directory(src + "/empty"));
               QVERIFY(has(run, "Deleting Source Directory " + src + "/empty/\nPermission denied"));
               QCOMPARE(run.code(), 8);
           });
    QTest::newRow("5: a log on a full disk is an error and a failure")
        << rootOnly([](auto &base, auto &src, auto &, QString &skip) {
               for (int i = 0; i < 600; ++i)
                   QVERIFY(trees::write(src + "/file-with-a-long-name-" + std::to_string(i), "x"));
               if (!tmpfsAt(base + "/logs", "16k"))
                   skip = QStringLiteral("no tmpfs here");
           })
        << QStringList{"/V", "/LOG:LOGS/run.log"} << Way::Program << Check([](auto &, auto &, auto &run) {
               QVERIFY(has(run, "Writing Log File"));
               QVERIFY(has(run, "No space left on device"));
               QCOMPARE(run.code(), 1 | 8);
           });
    QTest::newRow("5: a /TIMFIX that fails counts")
        << rootOnly([](auto &, auto &src, auto &dst, QString &skip) {
               QVERIFY(trees::write(src + "/f", "same", 0644, 1600000000));
               QVERIFY(trees::write(dst + "/f", "same", 0644, 1600000001));
               if (!bindMount(dst, dst, true))
                   skip = QStringLiteral("no bind mount here");
           })
        << QStringList{"/TIMFIX", "/FFT"} << Way::Engine << Check([](auto &, auto &dst, auto &run) {
               QVERIFY(has(run, "Setting File Times " + dst + "/f\nRead-only file system"));
               QCOMPARE(run.totals.files[Column::Failed], uint64_t(1));
               QCOMPARE(run.totals.files[Column::Skipped], uint64_t(0));
               QCOMPARE(run.code(), 8);
           });
    QTest::newRow("5: a /M that cannot reset Archive counts")
        << rootOnly([](auto &, auto &src, auto &, QString &skip) {
               QVERIFY(trees::write(src + "/f", "x"));
               if (!bindMount(src, src, true))
                   skip = QStringLiteral("no bind mount here");
           })
        << QStringList{"/M"} << Way::Engine << Check([](auto &src, auto &, auto &run) {
               QVERIFY(has(run, "Changing File Attributes " + src + "/f\nRead-only file system"));
               QCOMPARE(run.totals.files[Column::Failed], uint64_t(1));
               QCOMPARE(run.code(), 8);
           });
    QTest::newRow("6: /MIR keeps its own log in the destination")
        << plain({{"src/f", "f"}, {"dst/old", "o"}}) << QStringList{"/MIR", "/LOG:DST/mirror.log"} << Way::Program
        << Check([](auto &, auto &dst, auto &run) {
               QCOMPARE(run.code(), 1 | 2 | 8);
               const QByteArray log = trees::read(dst + "/mirror.log");
               QVERIFY(log.contains("ERROR 32 (0x00000020) Deleting Extra File " + QByteArray::fromStdString(dst)));
               QVERIFY(log.contains("Ended :"));
           });
    QTest::newRow("6: a user's file named like a temporary stays, and one of the source is copied once")
        << plain({{"src/.corvane-0123456789abcdef-3-4.tmp", "source"}, {"dst/.corvane-0123456789abcdef-1-2.tmp", "mine"}})
        << QStringList{"/E"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(trees::read(dst + "/.corvane-0123456789abcdef-1-2.tmp"), QByteArray("mine"));
               QCOMPARE(trees::read(dst + "/.corvane-0123456789abcdef-3-4.tmp"), QByteArray("source"));
               QCOMPARE(run.code(), 1 | 2);
               QCOMPARE(runEngine(options(src, dst, {"/E"})).code(), 2); // nothing copied again
           });
    QTest::newRow("7: a tree 9,000 folders deep moved, then purged as an extra")
        << Layout([](auto &, auto &src, auto &, QString &skip) {
               struct rlimit limit;
               if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur < 18500)
                   skip = QStringLiteral("two descriptors a level: 9,000 levels need 18,500");
               QVERIFY(makeDeep(src + "/d", 9000));
           })
        << QStringList{"/MOVE", "/E"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(deepFile(dst + "/d", 9000), QByteArray("bottom"));
               QCOMPARE(run.totals.dirs[Column::Copied], uint64_t(9002));
               QCOMPARE(run.code(), 1);
               QVERIFY(!trees::exists(src));
               fs::create_directories(src);
               QCOMPARE(runEngine(options(src, dst, {"/MIR"})).code(), 2);
               QVERIFY(!trees::exists(dst + "/d"));
           });
    QTest::newRow("8: a time before 1970 with a fraction")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/old", "1969"));
               const struct timespec t[2] = {{-2, 500000000}, {-2, 500000000}};
               QVERIFY(::utimensat(AT_FDCWD, (src + "/old").c_str(), t, 0) == 0);
           })
        << QStringList{"/E"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(NsOf(statOf(dst + "/old").st_mtim), NsOf(statOf(src + "/old").st_mtim));
               QCOMPARE(run.code(), 1);
           });
    QTest::newRow("9: a folder a source file replaces is an extra, listed first")
        << plain({{"src/report", "file"}, {"dst/report/a.txt", "folder"}}) << QStringList{"/MIR", "/L"} << Way::Engine
        << Check([](auto &src, auto &dst, auto &run) {
               QVERIFY(has(run, "*EXTRA Dir        -1\t" + dst + "/report/"));
               QCOMPARE(run.totals.dirs[Column::Extras], uint64_t(1));
               QCOMPARE(run.code(), 1 | 2);
               QCOMPARE(trees::read(dst + "/report/a.txt"), QByteArray("folder"));
               const Run real = runEngine(options(src, dst, {"/MIR"}));
               QVERIFY(sameCounts(real.totals, run.totals));
               QCOMPARE(trees::read(dst + "/report"), QByteArray("file"));
           });
    QTest::newRow("10: /COPYALL carries a folder's owner, group, mode, ACLs; /SECFIX repairs them")
        << rootOnly([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/d/f", "x"));
               const std::string acl = sampleAcl();
               for (const char *name : {"system.posix_acl_access", "system.posix_acl_default"})
                   QVERIFY(::setxattr((src + "/d").c_str(), name, acl.data(), acl.size(), 0) == 0);
               QVERIFY(::chown((src + "/d").c_str(), 65534, 65534) == 0 && ::chmod((src + "/d").c_str(), 02750) == 0);
           })
        << QStringList{"/E", "/COPYALL"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(run.code(), 1);
               const auto same = [&](const std::string &rel) {
                   const struct stat s = statOf(src + rel), d = statOf(dst + rel);
                   QCOMPARE(d.st_uid, s.st_uid);
                   QCOMPARE(d.st_gid, s.st_gid);
                   QCOMPARE(d.st_mode & 07777, s.st_mode & 07777);
               };
               same("/d");
               for (const char *name : {"system.posix_acl_access", "system.posix_acl_default"})
                   QCOMPARE(xattrOf(dst + "/d", name), xattrOf(src + "/d", name));
               // Changed on the source, repaired on skipped entries by /SECFIX.
               QVERIFY(::chmod((src + "/d/f").c_str(), 0600) == 0 && ::chown((src + "/d/f").c_str(), 65534, 0) == 0);
               QVERIFY(::chmod((src + "/d").c_str(), 0700) == 0);
               const Run fix = runEngine(options(src, dst, {"/E", "/COPYALL", "/SECFIX", "/DCOPY:DA"}));
               QCOMPARE(fix.code(), 0);
               same("/d");
               same("/d/f");
           });
    QTest::newRow("11: without S no set-ID; a default ACL decides new modes; with S as root, capabilities")
        << rootOnly([](auto &base, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/prog", "x", 04755) && ::chown((src + "/prog").c_str(), 65534, 65534) == 0);
               QVERIFY(::chmod((src + "/prog").c_str(), 04755) == 0); // chown took the set-ID bit
               QVERIFY(trees::write(src + "/open", "x", 0666));
               fs::create_directories(base + "/acl"); // owner rw, nobody r, group r, mask r, others nothing
               const std::string acl = sampleAcl();
               QVERIFY(::setxattr((base + "/acl").c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) == 0);
               const uint32_t capability[5] = {0x02000001, 1u << 10, 0, 0, 0}; // CAP_NET_BIND_SERVICE, effective
               QVERIFY(::setxattr((src + "/prog").c_str(), "security.capability", capability, sizeof capability, 0) == 0);
           })
        << QStringList{"/E"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(run.code(), 1);
               QCOMPARE(statOf(dst + "/prog").st_mode & 07777, mode_t(0755));
               QCOMPARE(statOf(dst + "/prog").st_uid, uid_t(0));
               QVERIFY(xattrOf(dst + "/prog", "security.capability").empty());
               const std::string acl = fs::path(src).parent_path().string() + "/acl";
               runEngine(options(src, acl, {"/E"}));
               QCOMPARE(statOf(acl + "/open").st_mode & 0777, mode_t(0640));
               runEngine(options(src, dst + "/all", {"/E", "/COPYALL"}));
               QCOMPARE(statOf(dst + "/all/prog").st_mode & 07777, mode_t(04755));
               QCOMPARE(xattrOf(dst + "/all/prog", "security.capability"), xattrOf(src + "/prog", "security.capability"));
           });
    QTest::newRow("12: a read-only folder of a normal user's copy blocks no later run")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/ro/f", "f") && trees::write(src + "/ro/sub/s", "s"));
               QVERIFY(::chmod((src + "/ro/sub").c_str(), 0555) == 0 && ::chmod((src + "/ro").c_str(), 0555) == 0);
           })
        << QStringList{"/E"} << Way::Nobody << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(run.code(), 1);
               QCOMPARE(statOf(dst + "/ro").st_mode & 0777, mode_t(0555));
               QVERIFY(::chmod((src + "/ro").c_str(), 0755) == 0 && trees::write(src + "/ro/g", "g"));
               QVERIFY(::unlink((src + "/ro/f").c_str()) == 0 && ::chmod((src + "/ro").c_str(), 0555) == 0);
               const Run again = runProgram(src, dst, {"/MIR"}, ::geteuid() == 0);
               QVERIFY2(again.code() == (1 | 2), again.report.c_str());
               QCOMPARE(trees::read(dst + "/ro/g"), QByteArray("g"));
               QVERIFY(!trees::exists(dst + "/ro/f"));
               QCOMPARE(statOf(dst + "/ro").st_mode & 0777, mode_t(0555));
           });
    QTest::newRow("27.6: /MIR /XL purges destination entries of the other kind")
        << plain({{"src/name", "file"}, {"src/dir/x", "x"}, {"dst/name/inside", "folder"}, {"dst/dir", "file"}})
        << QStringList{"/MIR", "/XL"} << Way::Engine << Check([](auto &, auto &dst, auto &run) {
               QVERIFY(!trees::exists(dst + "/name") && !trees::exists(dst + "/dir"));
               QVERIFY(has(run, "*EXTRA Dir        -1\t" + dst + "/name/"));
               QVERIFY(has(run, "*EXTRA File\t\t       4\t" + dst + "/dir"));
               QCOMPARE(run.totals.files[Column::Copied], uint64_t(0));
               QCOMPARE(run.code(), 2);
           });
    QTest::newRow("27.7: a loop of links says so")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(::symlink("b", (src + "/a").c_str()) == 0 && ::symlink("a", (src + "/b").c_str()) == 0);
           })
        << QStringList{"/E"} << Way::Engine << Check([](auto &src, auto &, auto &run) {
               QVERIFY(has(run, "ERROR 40 (0x00000028) Copying File " + src + "/a\nToo many levels of symbolic links"));
               QCOMPARE(run.code(), 8);
           });
    QTest::newRow("27.8: a folder that cannot be made is one error, nothing in it copied")
        << rootOnly([](auto &, auto &src, auto &dst, QString &skip) {
               QVERIFY(trees::write(src + "/sub/a", "a") && trees::write(src + "/sub/deeper/b", "b"));
               fs::create_directories(dst);
               if (!bindMount(dst, dst, true))
                   skip = QStringLiteral("no bind mount here");
           })
        << QStringList{"/E"} << Way::Engine << Check([](auto &src, auto &dst, auto &run) {
               QVERIFY(has(run, "Creating Destination Directory " + dst + "/sub/"));
               QCOMPARE(run.errors(), 1);
               QVERIFY(!has(run, "New File"));
               QCOMPARE(run.totals.dirs[Column::Failed], uint64_t(1));
               QCOMPARE(run.totals.files[Column::Total], uint64_t(0));
               QCOMPARE(run.code(), 8);
               // On demand (/S) the same: the first copy into it fails the folder once.
               const Run onDemand = runEngine(options(src, dst, {"/S"}));
               QCOMPARE(onDemand.totals.dirs[Column::Failed], uint64_t(1));
               QCOMPARE(onDemand.errors(), 1);
           });
    QTest::newRow("27.10: /DCOPY:E takes away what the source lost, at the same folder time")
        << Layout([](auto &, auto &src, auto &, QString &) {
               QVERIFY(trees::write(src + "/d/f", "f"));
               QVERIFY(::setxattr((src + "/d").c_str(), "user.a", "1", 1, 0) == 0);
               QVERIFY(::setxattr((src + "/d").c_str(), "user.b", "2", 1, 0) == 0);
           })
        << QStringList{"/E", "/DCOPY:DATE"} << Way::Engine << Check([](auto &src, auto &dst, auto &) {
               QCOMPARE(xattrOf(dst + "/d", "user.b"), std::string("2"));
               QVERIFY(::setxattr((src + "/d").c_str(), "user.a", "changed", 7, 0) == 0);
               QVERIFY(::removexattr((src + "/d").c_str(), "user.b") == 0);
               QCOMPARE(NsOf(statOf(dst + "/d").st_mtim), NsOf(statOf(src + "/d").st_mtim));
               runEngine(options(src, dst, {"/E", "/DCOPY:DATE"}));
               QCOMPARE(xattrOf(dst + "/d", "user.a"), std::string("changed"));
               QCOMPARE(xattrOf(dst + "/d", "user.b"), std::string());
           });
    // With every destination folder dated 2001, the folders a rerun with
    // nothing to copy writes into are where the device probe made its names.
    QTest::newRow("27.12: the device probe writes into one folder a run, a listing into none, and leaves nothing")
        << plain({{"src/a/f", "f"}, {"src/b/c/g", "g"}}) << QStringList{"/E"} << Way::Engine
        << Check([](auto &src, auto &dst, auto &run) {
               QCOMPARE(run.code(), 1);
               const std::vector<std::string> folders{dst, dst + "/a", dst + "/b", dst + "/b/c"};
               for (const std::string &folder : folders) {
                   const struct timespec t[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
                   QVERIFY(::utimensat(AT_FDCWD, folder.c_str(), t, 0) == 0);
               }
               const auto written = [&] {
                   std::vector<std::string> changed;
                   std::copy_if(folders.begin(), folders.end(), std::back_inserter(changed),
                                [](const std::string &folder) { return mtimeOf(folder) != 1'000'000'000; });
                   return changed;
               };
               QCOMPARE(runEngine(options(src, dst, {"/E", "/L"})).code(), 0);
               QCOMPARE(written(), std::vector<std::string>{});
               QCOMPARE(runEngine(options(src, dst, {"/E", "/MT:4"})).code(), 0);
               QCOMPARE(written(), std::vector<std::string>{dst});
               QVERIFY(trees::temporaries(dst).empty());
           });
}

void TestCopyEngine::nothingLost()
{
    QFETCH(Layout, layout);
    QFETCH(QStringList, switches);
    QFETCH(Way, way);
    QFETCH(Check, check);
    static int n = 0;
    const std::string base = scratch("lost/") + std::to_string(++n);
    fs::create_directories(base);
    std::string src = base + "/src", dst = base + "/dst";
    fs::create_directories(src);
    QString skip;
    const auto undo = qScopeGuard([] {
        {
            const std::lock_guard lock(g_moveMutex);
            g_watchMoves = false;
            g_atFirstFlush = nullptr;
        }
        for (auto it = g_mounts.rbegin(); it != g_mounts.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        g_mounts.clear();
        for (const int fd : g_heldOpen)
            ::close(fd);
        g_heldOpen.clear();
    });
    if (way == Way::Nobody && ::geteuid() == 0) { // base is open to nobody, and so is the way down to it
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("no setpriv to run as nobody");
        for (const std::string &path : {m_dir.path().toStdString(), scratch("lost"), base})
            QVERIFY(::chmod(path.c_str(), path == base ? 0777 : 0755) == 0);
    }
    layout(base, src, dst, skip);
    if (QTest::currentTestFailed())
        return;
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    QStringList words;
    for (const QString &w : switches)
        words << QString(w).replace(QStringLiteral("DST"), QString::fromStdString(dst))
                     .replace(QStringLiteral("LOGS"), QString::fromStdString(base + "/logs"));
    Run run;
    if (way == Way::Engine) {
        std::vector<std::string> args{src, dst, "/R:0", "/W:0"};
        for (const QString &w : words)
            args.push_back(w.toStdString());
        const ParsedCommand parsed = ParseArguments(args, "/", {}, [](const std::string &p) { return fs::is_directory(p); });
        QVERIFY2(parsed.error.empty(), parsed.error.c_str());
        run = runEngine(parsed.options);
    } else {
        run = runProgram(src, dst, words, way == Way::Nobody && ::geteuid() == 0);
    }
    check(src, dst, run);
    if (QTest::currentTestFailed())
        qWarning("%s", run.report.c_str());
}

// ----------------------------------------------------------- faults

void TestCopyEngine::linkLoopsWalkedOnce()
{
    const std::string base = scratch("loop");
    QVERIFY(trees::write(base + "/src/a/file", "a"));
    QVERIFY(trees::write(base + "/src/b/file", "b"));
    QVERIFY(::symlink("..", (base + "/src/a/up").c_str()) == 0);
    QVERIFY(::symlink(".", (base + "/src/a/self").c_str()) == 0);
    QVERIFY(::symlink("../a", (base + "/src/b/to-a").c_str()) == 0); // no loop: a is copied twice
    const Run run = runEngine(options(base + "/src", base + "/dst", {"/E"}));
    QCOMPARE(run.errors(), 0);
    QCOMPARE(trees::read(base + "/dst/a/file"), QByteArray("a"));
    QCOMPARE(trees::read(base + "/dst/b/to-a/file"), QByteArray("a"));
    QVERIFY(!trees::exists(base + "/dst/a/up"));
    QVERIFY(!trees::exists(base + "/dst/a/self"));
    QVERIFY(!trees::exists(base + "/dst/b/to-a/up"));
    QCOMPARE(std::count_if(run.events.begin(), run.events.end(), [](const Event &e) {
                 return e.kind == EventKind::Note && e.message.find("loop") != std::string::npos;
             }),
             4); // a/up, a/self, and under b/to-a (which is a) its up and self
    // With /SL the links are copied as links, and nothing loops.
    const Run links = runEngine(options(base + "/src", base + "/dst-sl", {"/E", "/SL"}));
    QCOMPARE(links.errors(), 0);
    QCOMPARE(fs::read_symlink(base + "/dst-sl/a/up").string(), std::string(".."));

    // A bind mount of a folder inside itself is a loop too.
    if (::geteuid() != 0)
        QSKIP("a bind mount needs root");
    fs::create_directories(base + "/src/a/bound");
    QVERIFY(::mount((base + "/src").c_str(), (base + "/src/a/bound").c_str(), nullptr, MS_BIND, nullptr) == 0);
    const Run bound = runEngine(options(base + "/src", base + "/dst-bind", {"/E"}));
    ::umount2((base + "/src/a/bound").c_str(), MNT_DETACH);
    QCOMPARE(bound.errors(), 0);
    QVERIFY(trees::exists(base + "/dst-bind/a/file"));
    QVERIFY(!trees::exists(base + "/dst-bind/a/bound/a"));
}

void TestCopyEngine::destinationInsideSource()
{
    const std::string base = scratch("inside");
    QVERIFY(trees::write(base + "/src/f", "f"));
    QVERIFY(trees::write(base + "/src/sub/g", "g"));
    const Run run = runEngine(options(base + "/src", base + "/src/backup", {"/MIR"}));
    QCOMPARE(run.errors(), 0);
    QCOMPARE(trees::read(base + "/src/backup/sub/g"), QByteArray("g"));
    QVERIFY(!trees::exists(base + "/src/backup/backup"));
    // Again: the backup is not copied into itself on the rerun either.
    const Run again = runEngine(options(base + "/src", base + "/src/backup", {"/MIR"}));
    QCOMPARE(again.code(), 0);
    QVERIFY(!trees::exists(base + "/src/backup/backup"));
}

void TestCopyEngine::purgeNeverTakesTheSource()
{
    // The source lies inside the destination, in a folder the source lacks.
    const std::string base = scratch("under");
    QVERIFY(trees::write(base + "/dst/holder/src/f", "precious"));
    QVERIFY(trees::write(base + "/dst/extra", "x"));
    const Run run = runEngine(options(base + "/dst/holder/src", base + "/dst", {"/MIR"}));
    QCOMPARE(trees::read(base + "/dst/holder/src/f"), QByteArray("precious"));
    QVERIFY(!trees::exists(base + "/dst/extra"));
    QCOMPARE(trees::read(base + "/dst/f"), QByteArray("precious"));
    QVERIFY(run.code() & 8); // the folder it would not delete is a failure, and says so
    QVERIFY(run.report.find("Deleting Extra Directory") != std::string::npos);
}

// A folder /XD names (by name or by path) is never deleted by a purge: not
// inside an extra folder that goes (which keeps the way to it), not for a
// mismatched file of the source.
void TestCopyEngine::purgeKeepsWhatExcludeDirsNames()
{
    const std::string base = scratch("purge-xd");
    const std::string src = base + "/src", dst = base + "/dst";
    QVERIFY(trees::write(src + "/a/f", "f"));
    QVERIFY(trees::write(src + "/build", "a file in the source"));
    QVERIFY(trees::write(src + "/m", "a file in the source"));
    QVERIFY(trees::write(dst + "/old/Keep/k", "kept by name"));
    QVERIFY(trees::write(dst + "/old/junk", "purged"));
    QVERIFY(trees::write(dst + "/x/y/deep/z", "kept by path"));
    QVERIFY(trees::write(dst + "/x/y/other/o", "purged"));
    QVERIFY(trees::write(dst + "/x/deep/w", "purged: another path"));
    QVERIFY(trees::write(dst + "/build/inside", "kept: a mismatch /XD names"));
    QVERIFY(trees::write(dst + "/m/keep/k", "kept inside a mismatch"));
    QVERIFY(trees::write(dst + "/m/junk", "purged"));
    const std::string byPath = dst + "/x/y/deep";
    // Again under /MT: nothing left to copy, the same kept.
    for (const char *threads : {"/MT:1", "/MT:4"}) {
        const Run run = runEngine(options(src, dst, {"/MIR", "/XD", "keep", "build", byPath.c_str(), threads}));
        QVERIFY2(run.code() == (threads[4] == '1' ? 1 | 2 | 4 | 8 : 2 | 4 | 8), run.report.c_str());
        QCOMPARE(trees::read(dst + "/old/Keep/k"), QByteArray("kept by name"));
        QCOMPARE(trees::read(dst + "/x/y/deep/z"), QByteArray("kept by path"));
        QCOMPARE(trees::read(dst + "/build/inside"), QByteArray("kept: a mismatch /XD names"));
        QCOMPARE(trees::read(dst + "/m/keep/k"), QByteArray("kept inside a mismatch"));
        for (const char *gone : {"/old/junk", "/x/y/other", "/x/deep", "/m/junk"})
            QVERIFY2(!trees::exists(dst + gone), gone);
        QCOMPARE(trees::read(dst + "/a/f"), QByteArray("f"));
        QVERIFY2(run.report.find("kept, as /XD names it: " + dst + "/old/Keep/") != std::string::npos,
                 run.report.c_str());
        QVERIFY(run.report.find("kept, as /XD names it: " + dst + "/x/y/deep/") != std::string::npos);
        // The file that cannot take the mismatched folder's name is one failure, not retried.
        QCOMPARE(run.totals.files[Column::Failed], uint64_t(1));
        QCOMPARE(run.errors(), 1);
    }
}

// An entry the file system will not show (stat fails) is an error line and
// FAILED, and its twin in the destination no extra for /MIR to delete.
void TestCopyEngine::unseenEntryIsNoExtra()
{
    const std::string base = scratch("unseen");
    const std::string src = base + "/src", dst = base + "/dst";
    QVERIFY(trees::write(src + "/a", "a"));
    QVERIFY(trees::write(src + "/hidden-file", "new"));
    QVERIFY(trees::write(src + "/hidden-dir/x", "new"));
    QVERIFY(trees::write(dst + "/hidden-file", "the only other copy"));
    QVERIFY(trees::write(dst + "/hidden-dir/x", "the only other copy"));
    QVERIFY(trees::write(dst + "/extra", "x"));
    {
        const std::lock_guard lock(g_unseenMutex);
        g_unseenFolder = fs::canonical(src).string();
        g_unseenPrefix = "hidden-";
    }
    const Run run = runEngine(options(src, dst, {"/MIR", "/MT:2"}));
    {
        const std::lock_guard lock(g_unseenMutex);
        g_unseenPrefix.clear();
    }
    QVERIFY2(run.code() == (1 | 2 | 8), run.report.c_str());
    QCOMPARE(run.totals.files[Column::Failed], uint64_t(2));
    QCOMPARE(trees::read(dst + "/hidden-file"), QByteArray("the only other copy"));
    QCOMPARE(trees::read(dst + "/hidden-dir/x"), QByteArray("the only other copy"));
    QVERIFY(!trees::exists(dst + "/extra"));
    QCOMPARE(trees::read(dst + "/a"), QByteArray("a"));
    for (const char *name : {"/hidden-file", "/hidden-dir"})
        QVERIFY2(run.report.find("Scanning Source Directory " + src + name + "\nInput/output error") != std::string::npos,
                 run.report.c_str());
}

void TestCopyEngine::fullDiskRun()
{
    const std::string disk = scratch("fullrun");
    trees::SmallDisk small(disk, "512k");
    if (!small.mounted())
        QSKIP(("no small disk for this test: " + small.why()).c_str());
    const std::string src = scratch("fullrun-src");
    QVERIFY(trees::write(src + "/a-small", QByteArray(1000, 'a')));
    QVERIFY(trees::write(src + "/b-big", QByteArray(2 << 20, 'b')));
    QVERIFY(trees::write(src + "/c/small", QByteArray(1000, 'c')));
    // Under /Z as well: a full disk keeps no partial file.
    const Run run = runEngine(options(src, disk, {"/E", "/R:1", "/Z"}));
    QCOMPARE(run.code(), 1 | 8);
    QCOMPARE(run.totals.files[Column::Failed], uint64_t(1));
    QCOMPARE(run.totals.files[Column::Copied], uint64_t(2));
    QCOMPARE(trees::read(disk + "/a-small"), QByteArray(1000, 'a'));
    QCOMPARE(trees::read(disk + "/c/small"), QByteArray(1000, 'c'));
    QVERIFY(!trees::exists(disk + "/b-big"));
    QVERIFY(trees::temporaries(disk).empty());
    QVERIFY(run.report.find("No space left on device") != std::string::npos);
    QVERIFY(run.report.find("Waiting 0 seconds... Retrying...") != std::string::npos);
    QVERIFY(run.report.find("ERROR: RETRY LIMIT EXCEEDED.") != std::string::npos);
}

void TestCopyEngine::fileGrowingDuringRun()
{
    const std::string base = scratch("growing");
    QVERIFY(trees::write(base + "/src/a", "a"));
    QVERIFY(trees::write(base + "/src/log", QByteArray(1 << 20, 'l')));
    QVERIFY(trees::write(base + "/src/z", "z"));
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        const int fd = ::open((base + "/src/log").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        while (!stop) {
            if (::write(fd, "line\n", 5) != 5)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::close(fd);
    });
    // Through user space and paced by /IPG (16 chunks of 64 KiB, 10 ms
    // apart): each try lasts long enough to meet the writes on a busy machine.
    CopyOptions o = options(base + "/src", base + "/dst", {"/E", "/R:1", "/IPG:10"});
    o.noOffload = true;
    const Run run = runEngine(o);
    stop = true;
    writer.join();
    QCOMPARE(run.code(), 1 | 8);
    QVERIFY(!trees::exists(base + "/dst/log"));
    QVERIFY(trees::temporaries(base + "/dst").empty());
    QCOMPARE(trees::read(base + "/dst/z"), QByteArray("z"));
    QVERIFY(run.report.find("The source file changed while it was being copied.") != std::string::npos);
}

void TestCopyEngine::fileVanishing()
{
    const std::string base = scratch("vanish");
    QVERIFY(trees::write(base + "/src/a", "a"));
    QVERIFY(trees::write(base + "/src/b", "b"));
    QVERIFY(trees::write(base + "/src/c", "c"));
    const CopyOptions o = options(base + "/src", base + "/dst", {"/E"});
    Run run;
    const RunClock clock = CurrentClock();
    Report report(o, clock.utcOffsetSeconds);
    Engine engine(o, clock, [&](const Event &e) { run.report += report.format(e); });
    int calls = 0;
    engine.setBeforeEachFile([&] {
        if (++calls == 2)
            ::unlink((base + "/src/b").c_str()); // gone between the listing and its copy
    });
    run.totals = engine.run();
    QCOMPARE(run.code(), 1 | 8);
    QCOMPARE(trees::read(base + "/dst/a"), QByteArray("a"));
    QCOMPARE(trees::read(base + "/dst/c"), QByteArray("c"));
    QVERIFY(run.report.find("ERROR 2 (0x00000002) Copying File " + base + "/src/b") != std::string::npos);
    QVERIFY(run.report.find("No such file or directory") != std::string::npos);
}

void TestCopyEngine::moveDeletesOnlyWhatWasCopied()
{
    const std::string base = scratch("move");
    QVERIFY(trees::write(base + "/src/new", "n"));
    QVERIFY(trees::write(base + "/src/same", "s", 0644, 1600000000));
    QVERIFY(trees::write(base + "/dst/same", "s", 0644, 1600000000));
    QVERIFY(trees::write(base + "/src/sub/deep", "d"));
    fs::create_directories(base + "/src/empty");
    const Run mov = runEngine(options(base + "/src", base + "/dst", {"/E", "/MOV"}));
    QCOMPARE(mov.code(), 1);
    QVERIFY(!trees::exists(base + "/src/new"));
    QVERIFY(!trees::exists(base + "/src/sub/deep"));
    QVERIFY(trees::exists(base + "/src/same")); // skipped, so it stays
    QVERIFY(trees::exists(base + "/src/sub"));  // /MOV moves files only
    QCOMPARE(trees::read(base + "/dst/sub/deep"), QByteArray("d"));

    for (const char *threads : {"/MT:1", "/MT:4"}) {
        QVERIFY(trees::write(base + "/src2/new", "n"));
        QVERIFY(trees::write(base + "/src2/sub/deep", "d"));
        QVERIFY(trees::write(base + "/src2/sub/deeper/deepest", "e"));
        fs::create_directories(base + "/src2/empty");
        const Run move = runEngine(options(base + "/src2", base + "/dst2", {"/E", "/MOVE", threads}));
        QCOMPARE(move.code(), 1);
        QVERIFY(!trees::exists(base + "/src2")); // everything moved: the folders go too
        QCOMPARE(trees::read(base + "/dst2/sub/deeper/deepest"), QByteArray("e"));
        QVERIFY(fs::is_directory(base + "/dst2/empty"));
        fs::remove_all(base + "/dst2");
    }

    // A folder that keeps a file that was not moved stays.
    QVERIFY(trees::write(base + "/src3/keep.cpp", "k"));
    QVERIFY(trees::write(base + "/src3/go", "g"));
    const Run partly = runEngine(options(base + "/src3", base + "/dst3", {"/E", "/MOVE", "/XF", "*.cpp"}));
    QCOMPARE(partly.errors(), 0);
    QVERIFY(trees::exists(base + "/src3/keep.cpp"));
    QVERIFY(!trees::exists(base + "/src3/go"));

    // Onto itself, by a link to the folder (the root, or a subfolder by a
    // link in the source): nothing is deleted, and it says so.
    QVERIFY(trees::write(base + "/self/f", "only copy"));
    QVERIFY(trees::write(base + "/self/sub/g", "only copy"));
    QVERIFY(::symlink("self", (base + "/self-link").c_str()) == 0);
    const Run onto = runEngine(options(base + "/self", base + "/self-link", {"/E", "/MOV", "/IS"}));
    QVERIFY(onto.totals.serious);
    QVERIFY(onto.report.find("The destination is the source folder itself") != std::string::npos);
    QVERIFY(trees::write(base + "/src4/f", "f"));
    QVERIFY(::symlink((base + "/self/sub").c_str(), (base + "/src4/sub").c_str()) == 0);
    const Run inside = runEngine(options(base + "/src4", base + "/self", {"/E", "/MOVE", "/IS"}));
    QCOMPARE(inside.code(), 1 | 8);
    QCOMPARE(trees::read(base + "/self/f"), QByteArray("f"));
    QCOMPARE(trees::read(base + "/self/sub/g"), QByteArray("only copy"));
}

// ----------------------------------------------------------- the program itself

namespace {

const QString kProgram = QStringLiteral(CORVANE_COPY_PROGRAM);

QStringList argsOf(const std::string &src, const std::string &dst, const QStringList &switches)
{
    return QStringList{QString::fromStdString(src), QString::fromStdString(dst)} + switches;
}

} // namespace

// The program's own paths: its sinks, its serious errors, its job files.
// A row's words stand for the folders: SRC, DST, and BASE for the test's own.
void TestCopyEngine::programRuns_data()
{
    // A run before the one checked (empty: none), then steps: write:PATH
    // makes a file, readonly:PATH mounts PATH read-only over itself (root).
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("console"); // texts the console shows
    QTest::addColumn<QStringList>("notOnConsole");
    QTest::addColumn<QString>("log");          // a log file to look at
    QTest::addColumn<QStringList>("inLog");
    QTest::addColumn<bool>("copied");          // SRC/f arrived in DST

    const QStringList none;
    QTest::newRow("plain run") << none << QStringList{"SRC", "DST"} << 1 << QStringList{"New File", "Ended :"} << none
                               << QString() << none << true;
    QTest::newRow("missing source") << none << QStringList{"BASE/none", "DST"} << 16
                                    << QStringList{"ERROR 2 (0x00000002) Accessing Source Directory BASE/none/",
                                                   "No such file or directory"}
                                    << QStringList{"Ended :"} << QString() << none << false;
    QTest::newRow("destination is a file") << none << QStringList{"SRC", "SRC/f"} << 16
                                           << QStringList{"Accessing Destination Directory SRC/f/", "Not a directory"}
                                           << none << QString() << none << false;
    QTest::newRow("destination cannot be made") << none << QStringList{"SRC", "SRC/f/sub"} << 16
                                                << QStringList{"Creating Destination Directory SRC/f/sub/", "Not a directory"}
                                                << none << QString() << none << false;
    QTest::newRow("/LOG: the console names the log alone")
        << none << QStringList{"SRC", "DST", "/LOG:BASE/run.log"} << 1 << QStringList{" Log File : BASE/run.log"}
        << QStringList{"New File", "Started"} << "BASE/run.log" << QStringList{"Started :", "New File", "Ended :"} << true;
    QTest::newRow("/LOG+ appends")
        << QStringList{"SRC", "BASE/other", "/LOG:BASE/run.log"} << QStringList{"SRC", "DST", "/LOG+:BASE/run.log"} << 1
        << QStringList{" Log File : BASE/run.log"} << none << "BASE/run.log"
        << QStringList{"Dest : BASE/other/", "Dest : DST/"} << true;
    QTest::newRow("/LOG overwrites")
        << QStringList{"SRC", "BASE/other", "/LOG:BASE/run.log"} << QStringList{"SRC", "DST", "/LOG:BASE/run.log"} << 1
        << none << none << "BASE/run.log" << QStringList{"Dest : DST/"} << true;
    QTest::newRow("/TEE: both") << none << QStringList{"SRC", "DST", "/LOG:BASE/run.log", "/TEE"} << 1
                                << QStringList{"New File", "Ended :"} << none << "BASE/run.log"
                                << QStringList{"New File", "Ended :"} << true;
    QTest::newRow("/UNILOG: UTF-16 with its mark") << none << QStringList{"SRC", "DST", "/UNILOG:BASE/run.log"} << 1
                                                   << QStringList{" Log File : BASE/run.log"} << none << "BASE/run.log"
                                                   << QStringList{"UTF-16", "New File", "Ended :"} << true;
    QTest::newRow("a log that cannot be opened")
        << none << QStringList{"SRC", "DST", "/LOG:BASE/no/such/folder/run.log"} << 16
        << QStringList{"Opening Log File BASE/no/such/folder/run.log", "No such file or directory"} << none << QString()
        << none << false;
    QTest::newRow("/SAVE: with /QUIT copies nothing")
        << none << QStringList{"SRC", "DST", "/XF", "*.tmp", "/SAVE:BASE/job", "/QUIT"} << 0 << none
        << QStringList{"New File"} << "BASE/job.RCJ" << QStringList{"/XF", "*.tmp", "/SD:SRC"} << false;
    QTest::newRow("/JOB: runs what was saved")
        << QStringList{"SRC", "DST", "/XF", "*.tmp", "/SAVE:BASE/job", "/QUIT"} << QStringList{"/JOB:BASE/job"} << 1
        << QStringList{"New File"} << QStringList{"skip.tmp"} << QString() << none << true;
    QTest::newRow("/L copies nothing") << none << QStringList{"SRC", "DST", "/L"} << 1 << QStringList{"New File"}
                                       << none << QString() << none << false;
    // Deletions that fail stay error lines, counted FAILED (exit bit 8), the columns adding up.
    QTest::newRow("a /MOV source that cannot be deleted")
        << QStringList{"readonly:SRC"} << QStringList{"SRC", "DST", "/MOV"} << 8
        << QStringList{"Deleting Source File SRC/f", "Read-only file system",
                       "Files :         2         0         0         0         2         0"}
        << none << QString() << none << true;
    QTest::newRow("an extra under /PURGE that cannot be deleted")
        << QStringList{"SRC", "DST", "write:DST/extra", "readonly:DST"} << QStringList{"SRC", "DST", "/PURGE"} << (2 | 8)
        << QStringList{"Deleting Extra File DST/extra", "Read-only file system"} << none << QString() << none << true;
    QTest::newRow("an unknown switch") << none << QStringList{"SRC", "DST", "/NOSUCH"} << 16
                                       << QStringList{"ERROR : Invalid Parameter #3 : \"/NOSUCH\""} << none
                                       << QString() << none << false;
}

void TestCopyEngine::programRuns()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QStringList, console);
    QFETCH(QStringList, notOnConsole);
    QFETCH(QString, log);
    QFETCH(QStringList, inLog);
    QFETCH(bool, copied);
    static int n = 0;
    const QString base = QString::fromStdString(scratch("program/") + std::to_string(++n));
    const QString src = base + QStringLiteral("/src"), dst = base + QStringLiteral("/dst");
    QVERIFY(trees::write((src + QStringLiteral("/f")).toStdString(), "f"));
    QVERIFY(trees::write((src + QStringLiteral("/skip.tmp")).toStdString(), "t"));
    const auto expand = [&](QString s) {
        return s.replace(QStringLiteral("SRC"), src).replace(QStringLiteral("DST"), dst).replace(QStringLiteral("BASE"), base);
    };
    const auto run = [&](const QStringList &words) {
        QStringList expanded;
        for (const QString &w : words)
            expanded << expand(w);
        QProcess p;
        p.start(kProgram, expanded);
        if (!p.waitForFinished(60000))
            qFatal("corvane-copy did not end");
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    QStringList firstRun;
    std::vector<std::string> mounted;
    const auto unmount = qScopeGuard([&] {
        for (const std::string &at : mounted)
            ::umount2(at.c_str(), MNT_DETACH);
    });
    for (const QString &word : first) {
        if (word.startsWith(u"write:")) {
            if (!firstRun.isEmpty())
                run(std::exchange(firstRun, {}));
            QVERIFY(trees::write(expand(word.mid(6)).toStdString(), "x"));
        } else if (word.startsWith(u"readonly:")) {
            if (!firstRun.isEmpty())
                run(std::exchange(firstRun, {}));
            const std::string at = expand(word.mid(9)).toStdString();
            if (::geteuid() != 0 || ::mount(at.c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0)
                QSKIP("a read-only bind mount needs root");
            mounted.push_back(at);
            QVERIFY(::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
        } else {
            firstRun << word;
        }
    }
    if (!firstRun.isEmpty())
        run(firstRun);
    const auto [exitCode, out] = run(args);
    QVERIFY2(exitCode == code, qPrintable(out));
    for (const QString &text : console)
        QVERIFY2(out.contains(expand(text)), qPrintable(out));
    for (const QString &text : notOnConsole)
        QVERIFY2(!out.contains(expand(text)), qPrintable(out));
    if (!log.isEmpty()) {
        QByteArray bytes = trees::read(expand(log).toStdString());
        QString text = QString::fromUtf8(bytes);
        for (const QString &want : inLog) {
            if (want == u"UTF-16") {
                QVERIFY(bytes.startsWith("\xFF\xFE"));
                text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2), (bytes.size() - 2) / 2);
                continue;
            }
            QVERIFY2(text.contains(expand(want)), qPrintable(text));
        }
        if (QTest::currentDataTag() == QByteArrayLiteral("/LOG overwrites"))
            QVERIFY(!text.contains(expand(QStringLiteral("BASE/other"))));
    }
    QCOMPARE(trees::exists((dst + QStringLiteral("/f")).toStdString()), copied);
}

// Mode-000 files and folders, and a folder that cannot be written, as a user
// who is not root (root reads and writes them all): each is an error line
// with the system's message, counted FAILED, and the rest is copied.
void TestCopyEngine::unreadableEntries()
{
    QStringList runAs;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("root bypasses permissions, and there is no setpriv to run as nobody");
        runAs = {setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                 QStringLiteral("--clear-groups"), QStringLiteral("--")};
    }
    const std::string base = scratch("perm");
    QVERIFY(::chmod(m_dir.path().toLocal8Bit().constData(), 0755) == 0);
    const std::string src = base + "/src", dst = base + "/dst";
    QVERIFY(trees::write(src + "/a-readable", "a"));
    QVERIFY(trees::write(src + "/b-secret", "s", 0));
    QVERIFY(trees::write(src + "/c-closed/inside", "i"));
    QVERIFY(trees::write(src + "/d-open/fine", "f"));
    QVERIFY(trees::write(src + "/e-target/new", "n"));
    QVERIFY(::chmod((src + "/c-closed").c_str(), 0) == 0);
    fs::create_directories(dst + "/e-target");
    QVERIFY(::chmod(base.c_str(), 0755) == 0);
    if (::geteuid() == 0) {
        QVERIFY(::chown(dst.c_str(), 65534, 65534) == 0);
        QVERIFY(::chown((dst + "/e-target").c_str(), 0, 0) == 0);
    }
    QVERIFY(::chmod((dst + "/e-target").c_str(), 0555) == 0); // not writable by the copier

    QProcess p;
    const QStringList args = argsOf(src, dst, {"/E", "/R:1", "/W:0", "/NP"});
    if (runAs.isEmpty())
        p.start(kProgram, args);
    else
        p.start(runAs.first(), runAs.mid(1) + QStringList{kProgram} + args);
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 1 | 8);
    QCOMPARE(trees::read(dst + "/a-readable"), QByteArray("a"));
    QCOMPARE(trees::read(dst + "/d-open/fine"), QByteArray("f"));
    QVERIFY(!trees::exists(dst + "/b-secret"));
    QVERIFY(!trees::exists(dst + "/e-target/new"));
    QVERIFY(trees::temporaries(dst).empty());
    std::vector<std::string> expectedLines{"Copying File " + src + "/b-secret",
                                           "Scanning Source Directory " + src + "/c-closed/",
                                           "Copying File " + src + "/e-target/new", "Permission denied",
                                           "ERROR: RETRY LIMIT EXCEEDED."};
    // Run as nobody, the folder that is root's cannot take the source's mode either.
    const bool foreignFolder = !runAs.isEmpty();
    if (foreignFolder) {
        expectedLines.push_back("Changing File Attributes " + dst + "/e-target/");
        expectedLines.push_back("Operation not permitted");
    }
    for (const std::string &expected : expectedLines)
        QVERIFY2(out.contains(QString::fromStdString(expected)), qPrintable(out));
    // Folders are retried as files are: /R:1 gives two tries of the closed one.
    QCOMPARE(out.count(QString::fromStdString("Scanning Source Directory " + src + "/c-closed/")), 2);
    // The summary: of 4 files 2 copied and 2 failed; of 4 folders one made,
    // one unreadable (and, as nobody, one whose mode could not be set: a
    // failure, no longer a skip as well), the columns adding up.
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("Files :\\s+4\\s+2\\s+0\\s+0\\s+2\\s+0\\n"))), qPrintable(out));
    QVERIFY2(out.contains(QRegularExpression(QStringLiteral("Dirs :\\s+4\\s+1\\s+%1\\s+0\\s+%2\\s+0\\n")
                                                 .arg(foreignFolder ? 1 : 2)
                                                 .arg(foreignFolder ? 2 : 1))),
             qPrintable(out));
    ::chmod((src + "/c-closed").c_str(), 0755);
    ::chmod((dst + "/e-target").c_str(), 0755);
}

// A run killed at any moment leaves no short file under a real name (what
// has a real name is whole), and the next run completes the copy and
// leaves no temporary file behind.
void TestCopyEngine::killedRunsThenRerun()
{
    const std::string base = scratch("killed");
    const std::string src = base + "/src", dst = base + "/dst";
    std::mt19937 r{61};
    for (int i = 0; i < 24; ++i) {
        QByteArray big((1 << 20) + int(r() % (2 << 20)), '\0');
        for (qsizetype k = 0; k < big.size(); k += 4096)
            big[k] = char(r());
        QVERIFY(trees::write(src + "/big/" + std::to_string(i), big));
    }
    trees::makeRandom(src + "/small", r, 300, 3);
    const trees::Description source = trees::describe(src);
    for (int round = 0; round < 6; ++round) {
        QStringList switches{"/MIR", "/NP", "/R:0", "/W:0"};
        if (round % 2)
            switches << "/MT:4";
        if (round % 3 == 0)
            switches << "/Z";
        QProcess p;
        p.start(kProgram, argsOf(src, dst, switches));
        QVERIFY(p.waitForStarted());
        QTest::qSleep(int(r() % 120));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished());
        // Whatever has its real name is a whole copy.
        const trees::Description now = trees::describe(dst);
        for (const auto &[path, line] : now)
            QVERIFY2(line[0] != 'f' || IsTempName(fs::path(path).filename().string())
                         || (source.count(path) && source.at(path).substr(0, 50) == line.substr(0, 50)),
                     qPrintable(QString::fromStdString(path) + QStringLiteral(": ") + QString::fromStdString(line)));
    }
    QProcess rerun;
    rerun.start(kProgram, argsOf(src, dst, {"/MIR", "/NP", "/R:0", "/W:0"}));
    QVERIFY(rerun.waitForFinished(120000));
    QVERIFY2(rerun.exitCode() < 8, rerun.readAllStandardOutput().constData());
    QVERIFY2(trees::describe(dst) == source, qPrintable(trees::difference(source, trees::describe(dst))));
    QVERIFY(trees::temporaries(dst).empty());
}

// A failure to set a copy's properties names the copy, and counts once:
// the rows Files and Dirs (Total Copied Skipped Mismatch FAILED Extras).
void TestCopyEngine::propertyFailures_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("error"); // the ERROR line's action and path, %1 the destination
    QTest::addColumn<QString>("counts");
    QTest::newRow("a file's times") << "/E" << "Setting File Times %1/fail-times/f" << "1 0 0 0 1 0, 2 2 0 0 0 0";
    QTest::newRow("a folder's times") << "/E /DCOPY:DAT /XF f" << "Setting File Times %1/fail-times/"
                                      << "1 0 1 0 0 0, 2 1 0 0 1 0";
}

void TestCopyEngine::propertyFailures()
{
    QFETCH(QString, switches);
    QFETCH(QString, error);
    QFETCH(QString, counts);
    static int n = 0;
    const std::string base = scratch("property/") + std::to_string(++n);
    QVERIFY(trees::write(base + "/src/fail-times/f", "x"));
    std::vector<std::string> args{base + "/src", base + "/dst", "/R:0", "/W:0"};
    for (const QString &w : switches.split(u' '))
        args.push_back(w.toStdString());
    g_failTimesIn = "/fail-times";
    const Run run = runEngine(ParseArguments(args, "/", {}, [](const std::string &p) { return fs::is_directory(p); }).options);
    g_failTimesIn = nullptr;
    QVERIFY2(run.report.find(error.arg(QString::fromStdString(base + "/dst")).toStdString()) != std::string::npos,
             run.report.c_str());
    QStringList rows;
    for (const Counts &c : {run.totals.files, run.totals.dirs}) {
        QStringList cells;
        for (const uint64_t v : c.value)
            cells << QString::number(v);
        rows << cells.join(u' ');
    }
    QCOMPARE(rows.join(QLatin1StringView(", ")), counts);
}

// /MIR onto the volumes Windows users copy to, twice, the volume mounted
// again in between: names the destination folds together or refuses are
// ERROR lines (never a purge of what was just copied), dates it clamps and
// a read-only flag it drops are NOTE lines, and the second run copies and
// deletes nothing.
void TestCopyEngine::windowsMedia_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mountOptions");
    QTest::addColumn<QStringList>("errors"); // the failed names, below the source
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QStringList>("kept");   // on the copy after both runs: "name=content"

    const QStringList always{"Photos/2023/IMG_1.JPG=one", "Photos/2023/IMG_2.JPG=two", "Report.txt=R",
                             "old/ancient.txt=1975", "ro/locked.txt=read-only"};
    const QString readOnly = QStringLiteral("keeps no read-only attribute");
    QTest::newRow("exFAT: folds case, refuses colons and bad bytes, keeps seconds and 1980 on")
        << "exfat" << "" << QStringList{"photos/", "report.txt", "a:b", "bad\\xFF"}
        << QStringList{"keeps no such date", readOnly} << always + QStringList{"dot.=dot"};
    QTest::newRow("NTFS: names as on Linux but bytes that are no UTF-8")
        << "ntfs" << "" << QStringList{"bad\\xFF"} << QStringList{readOnly}
        << always + QStringList{"photos/readme.txt=readme", "report.txt=r", "a:b=colon", "dot.=dot"};
    QTest::newRow("NTFS windows_names: Windows' names only")
        << "ntfs" << "windows_names" << QStringList{"a:b", "bad\\xFF", "dot."} << QStringList{readOnly}
        << always + QStringList{"photos/readme.txt=readme", "report.txt=r"};
}

void TestCopyEngine::windowsMedia()
{
    QFETCH(QString, kind);
    QFETCH(QString, mountOptions);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, notes);
    QFETCH(QStringList, kept);
    static int n = 0;
    const std::string base = scratch("media/") + std::to_string(++n);
    fs::create_directories(base);
    FuseVolume volume(base, kind.toStdString(), mountOptions.toStdString());
    if (!volume.mounted)
        QSKIP("no volume: mounting one through FUSE needs root, /dev/fuse, exfat-fuse, exfatprogs and ntfs-3g");
    const std::string src = base + "/src", dst = volume.path + "/backup";
    // Times with a fraction of a second no FAT-family volume keeps; one of 1975.
    for (const char *file : {"Photos/2023/IMG_1.JPG=one", "Photos/2023/IMG_2.JPG=two", "photos/readme.txt=readme",
                             "Report.txt=R", "report.txt=r", "dot.=dot", "a:b=colon", "bad%FF=bytes",
                             "old/ancient.txt=1975", "ro/locked.txt=read-only"}) {
        const QList<QByteArray> parts = QByteArray(file).split('=');
        const std::string path = src + '/' + QByteArray::fromPercentEncoding(parts[0]).toStdString();
        const time_t when = parts[1] == "1975" ? 170'812'800 : 1'600'000'001;
        const struct timespec t[2] = {{when, 123456789}, {when, 123456789}};
        QVERIFY(trees::write(path, parts[1]) && ::utimensat(AT_FDCWD, path.c_str(), t, 0) == 0);
    }
    QVERIFY(::chmod((src + "/ro/locked.txt").c_str(), 0444) == 0);

    const CopyOptions o = options(src, dst, {"/MIR"});
    const Run first = runEngine(o);
    for (const QString &name : errors) // its ERROR line ends in its path (the folder's, the destination's)
        QVERIFY2(first.report.find('/' + name.toStdString() + '\n') != std::string::npos, first.report.c_str());
    for (const QString &note : notes)
        QVERIFY2(first.report.find(note.toStdString()) != std::string::npos, first.report.c_str());
    QCOMPARE(first.errors(), int(errors.size()));
    QCOMPARE(first.totals.files[Column::Failed] + first.totals.dirs[Column::Failed], uint64_t(errors.size()));
    QCOMPARE(first.totals.dirs[Column::Failed],
             uint64_t(std::count_if(errors.begin(), errors.end(), [](const QString &e) { return e.endsWith(u'/'); })));

    QVERIFY(volume.remount());
    const Run second = runEngine(o);
    QVERIFY2(second.totals.files[Column::Copied] == 0, second.report.c_str());
    QCOMPARE(first.totals.files[Column::Extras] + second.totals.files[Column::Extras] + second.totals.dirs[Column::Extras],
             uint64_t(0));
    QCOMPARE(second.errors(), int(errors.size()));
    QCOMPARE(second.code(), errors.isEmpty() ? 0 : 8);
    for (const QString &entry : kept) {
        const std::string path = dst + '/' + entry.section(u'=', 0, 0).toStdString();
        QCOMPARE(trees::read(path), entry.section(u'=', 1).toUtf8());
    }
}

QTEST_GUILESS_MAIN(TestCopyEngine)
#include "test_copy_engine.moc"
