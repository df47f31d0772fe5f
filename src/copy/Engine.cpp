#include "copy/Engine.h"

#include "copy/DeviceTraits.h"
#include "copy/DosAttributes.h"
#include "copy/NameBytes.h"
#include "copy/Pool.h"
#include "copy/Report.h"
#include "copy/Walk.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace copy {

namespace {

int64_t wallNs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t localMidnight(uint32_t yyyymmdd)
{
    struct tm t{};
    t.tm_year = int(yyyymmdd / 10000) - 1900;
    t.tm_mon = int(yyyymmdd / 100 % 100) - 1;
    t.tm_mday = int(yyyymmdd % 100);
    t.tm_isdst = -1;
    return int64_t(::mktime(&t)) * 1000000000;
}

std::string withSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

Entry entryOf(const Node &n)
{
    Entry e;
    switch (n.kind) {
    case NodeKind::File: e.kind = EntryKind::File; break;
    case NodeKind::Directory: e.kind = EntryKind::Directory; break;
    case NodeKind::Other:
    case NodeKind::Dangling: e.kind = EntryKind::Other; break;
    }
    e.isLink = n.isLink;
    e.size = n.size;
    e.mtimeNs = n.mtimeNs;
    e.atimeNs = n.atimeNs;
    return e;
}

struct Folder
{
    std::shared_ptr<Folder> parent;
    Fd src;
    Fd dst;
    std::string name;    // in the parent, the same on both sides
    std::string relDir;  // relative to the roots, "" or "a/b/"
    std::string srcPath; // full, ending in '/'
    std::string dstPath;
    struct stat srcStat{};
    DirDecision decision;
    uint32_t depth = 1;
    bool isRoot = false;
    bool onDemand = false;       // /S: made when something is copied into it
    bool created = false;        // made by this run (or would be, under /L)
    std::atomic<bool> touched{false}; // something was written or deleted inside
    std::atomic<bool> failed{false};
    std::atomic<int> pending{1};      // the walk's own hold, and one per job and subfolder
    // Learnt once, by the walk, before the first copy into the folder.
    bool dstReady = false;
    dev_t dstDev = 0;
    bool dstDefaultAcl = true;   // a default ACL decides new files' modes, not the umask
    const DeviceTraits *traits = nullptr; // what the destination's file system keeps; null when unknown
    bool nameAltered = false;    // made under a name the destination stores otherwise
};
using FolderPtr = std::shared_ptr<Folder>;

struct FileJob
{
    std::string name;
    Entry src;
    FileDecision decision;
    bool asLink = false;
    bool followLink = false;
    bool fresh = false;  // nothing stood under the name in the destination
    mode_t mode = 0;     // the source's mode as listed; 0 when not known
    bool sameDevice = false;
    bool nameAltered = false; // the destination stores the name otherwise
};

} // namespace

DataPathSettings DataPathSettingsFrom(const CopyOptions &o)
{
    DataPathSettings s;
    const auto flags = [](uint8_t f, CopyFlags &out) {
        out.data = f & CopyFlag::Data;
        out.attributes = f & CopyFlag::Attributes;
        out.times = f & CopyFlag::Times;
        out.security = f & CopyFlag::Security;
        out.owner = f & CopyFlag::Owner;
        out.noStreams = f & CopyFlag::SkipAltStreams;
        out.extended = f & CopyFlag::ExtendedAttributes;
    };
    flags(o.copyFlags, s.file);
    flags(o.dirCopyFlags, s.folder);
    s.attribAdd = o.addAttributes;
    s.attribRemove = o.removeAttributes;
    s.restartable = o.restartable;
    s.unbuffered = o.unbuffered;
    s.gapMs = o.interPacketGapMs;
    s.userSpace = o.noOffload;
    s.noClone = o.noClone;
    s.sparse = o.sparse;
    s.durable = o.moveFiles;
    s.createOnly = o.create;
    return s;
}

RunClock CurrentClock()
{
    RunClock clock;
    clock.nowNs = wallNs();
    const time_t now = time_t(clock.nowNs / 1000000000);
    struct tm local{};
    ::localtime_r(&now, &local);
    clock.utcOffsetSeconds = int32_t(local.tm_gmtoff);
    clock.localMidnightNs = localMidnight;
    return clock;
}

bool WithinRunHours(const RunHours &hours, int minuteOfDay)
{
    if (!hours.set || hours.startMinute == hours.endMinute)
        return true;
    if (hours.startMinute < hours.endMinute)
        return minuteOfDay >= hours.startMinute && minuteOfDay < hours.endMinute;
    return minuteOfDay >= hours.startMinute || minuteOfDay < hours.endMinute;
}

struct Engine::Impl
{
    Impl(const CopyOptions &options, const RunClock &runClock, EventSink eventSink)
        : o(options), clock(runClock), sink(std::move(eventSink)), classifier(options, runClock),
          dp(DataPathSettingsFrom(options)), listOnly(options.listOnly), mt(options.threads > 0)
    {
    }

    const CopyOptions &o;
    RunClock clock;
    EventSink sink;
    Classifier classifier;
    DataPathSettings dp;
    DeviceCapabilities caps;
    bool listOnly;
    bool countOnly = false;
    // Read once, before any worker runs: umask() can only be read by setting it.
    const mode_t umask = [] {
        const mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    bool mt;
    std::function<void()> beforeEachFile;

    std::mutex reportMutex;
    Totals totals;
    std::unique_ptr<Pool> pool;
    // Without /MT, one thread that takes a share of the listings' stats (the
    // copies stay in the walk's thread): a rerun with nothing to do is
    // mostly stats, of both sides.
    std::unique_ptr<Pool> statHelper;
    FileId destRoot;
    std::vector<FileId> sourceAncestry; // the source root and every folder above it
    std::atomic<int64_t> copyingNs{0};
    std::atomic<int64_t> waitingNs{0};
    std::vector<dev_t> notedArchive;   // devices where /M cannot reset Archive (noted once)
    DeviceTraitsCache deviceTraits;    // the walk's thread alone
    std::vector<const DeviceTraits *> notedReadOnly; // devices that keep no read-only flag (noted once)

    // ---------------------------------------------------------------- report

    void emit(const Event &e)
    {
        if (countOnly)
            return;
        const std::lock_guard lock(reportMutex);
        sink(e);
    }
    void countFile(const FileDecision &d, uint64_t size, Outcome outcome = Outcome::AsDecided)
    {
        const std::lock_guard lock(reportMutex);
        CountFile(totals, d, size, outcome);
    }
    void countDir(const DirDecision &d, Outcome outcome = Outcome::AsDecided)
    {
        const std::lock_guard lock(reportMutex);
        CountDir(totals, d, outcome);
    }
    void error(ErrorAction action, int code, const std::string &dir, const std::string &name,
               RetryState retry = RetryState::None)
    {
        Event e;
        e.kind = EventKind::Error;
        e.action = action;
        e.error = code == kSourceChanged ? EAGAIN : code;
        e.message = FailureMessage(code);
        e.dir = dir;
        e.name = name;
        e.retry = retry;
        e.waitSeconds = o.waitSeconds;
        e.timeNs = wallNs();
        emit(e);
    }
    // A name the destination cannot keep or tell apart: its ERROR line,
    // never retried (no retry changes a name).
    void nameError(ErrorAction action, int code, const std::string &dir, const std::string &name, std::string why)
    {
        Event e;
        e.kind = EventKind::Error;
        e.action = action;
        e.error = code;
        e.message = std::move(why);
        e.dir = dir;
        e.name = name;
        e.retry = RetryState::LimitExceeded;
        e.timeNs = wallNs();
        emit(e);
    }
    void note(std::string text)
    {
        Event e;
        e.kind = EventKind::Note;
        e.message = std::move(text);
        emit(e);
    }
    void dirEvent(Tag tag, int64_t count, const std::string &path)
    {
        Event e;
        e.kind = EventKind::Dir;
        e.tag = tag;
        e.count = count;
        e.dir = path;
        emit(e);
    }
    void fileEvent(const FileDecision &d, const Entry &entry, const std::string &dir, const std::string &name)
    {
        Event e;
        e.kind = EventKind::File;
        e.tag = d.tag;
        e.cls = d.cls;
        e.size = entry.size;
        e.mtimeNs = entry.mtimeNs;
        e.dir = dir;
        e.name = name;
        e.timeNs = wallNs();
        emit(e);
    }
    void progress(uint32_t permille)
    {
        Event e;
        e.kind = EventKind::Progress;
        e.permille = permille;
        emit(e);
    }

    // Runs a folder's step (make, open, list) until it works or /R is used
    // up, with an error line for each failure and /W's wait between them.
    // A silent pass tries once: it must not sleep.
    template <typename Attempt>
    bool retried(ErrorAction action, const std::string &path, Attempt attempt)
    {
        for (uint32_t n = 0;; ++n) {
            const int code = attempt();
            if (!code)
                return true;
            const bool last = n >= o.retries || countOnly;
            error(action, code, path, std::string(), last ? RetryState::LimitExceeded : RetryState::Waiting);
            if (last)
                return false;
            std::this_thread::sleep_for(std::chrono::seconds(o.waitSeconds));
            waitingNs += int64_t(o.waitSeconds) * 1000000000;
        }
    }

    // ---------------------------------------------------------------- folders

    // Makes a folder of the destination now (with the folders above it that
    // /S left to be made on demand). Under /L only pretends.
    bool ensureDestination(Folder &f)
    {
        if (f.dst || (listOnly && f.created))
            return true;
        if (f.failed)
            return false;
        if (listOnly) {
            if (f.parent && !ensureDestination(*f.parent))
                return false;
            f.created = true;
            return true;
        }
        if (!f.parent || !ensureDestination(*f.parent)) {
            f.failed = true;
            return false;
        }
        if (!retried(ErrorAction::CreatingDestinationDirectory, f.dstPath,
                     [&] { return MakeFolder(f.parent->dst.get(), f.name, f.dst).code; })) {
            f.failed = true;
            return false;
        }
        f.created = true;
        f.parent->touched = true;
        // Made under the name the destination gives it (its content goes in): said once, counted failed.
        if (const DeviceTraits *t = f.parent->traits; t && t->altersNames() && FateOfName(f.name, *t) == NameFate::Altered) {
            nameError(ErrorAction::CreatingDestinationDirectory, EINVAL, f.dstPath, std::string(),
                      NameFateMessage(f.name, *t));
            f.nameAltered = true;
        }
        return true;
    }

    void release(const FolderPtr &f)
    {
        if (f->pending.fetch_sub(1) != 1)
            return;
        finish(*f);
        if (f->parent)
            release(f->parent);
    }

    // A folder whose walk and jobs are all done: its properties (after the
    // last write inside, so its time stays), the summary, and for /MOVE the
    // source folder itself when it is empty.
    void finish(Folder &f)
    {
        Outcome outcome = Outcome::AsDecided;
        if (f.failed)
            outcome = Outcome::Failed;
        else if (f.onDemand && !f.created)
            outcome = Outcome::NotCreated;
        else if (f.nameAltered)
            outcome = Outcome::Failed;
        if (!listOnly && f.dst && !f.failed && !o.dirCopyFlags && f.created) {
            // /NODCOPY: a made folder gets what a new folder gets, not the source's.
            if (::fchmod(f.dst.get(), 0777 & ~umask) < 0) {
                error(ErrorAction::ChangingFileAttributes, errno, f.dstPath, std::string());
                outcome = Outcome::Failed;
            }
        } else if (!listOnly && f.dst && !f.failed && o.dirCopyFlags) {
            bool apply = f.created || f.touched;
            if (!apply) {
                // An untouched folder is only looked at: its mode, and its time under T.
                struct stat now;
                apply = ::fstat(f.dst.get(), &now) < 0 || (now.st_mode & 07777) != (f.srcStat.st_mode & 07777)
                    || ((o.dirCopyFlags & CopyFlag::Times)
                        && (now.st_mtim.tv_sec != f.srcStat.st_mtim.tv_sec
                            || now.st_mtim.tv_nsec != f.srcStat.st_mtim.tv_nsec));
            }
            if (apply) {
                if (const CopyFailure e = FinishFolder(f.src.get(), f.srcStat, f.dst.get(), dp, caps)) {
                    error(e.action, e.code, f.dstPath, std::string());
                    outcome = Outcome::Failed;
                }
            }
        }
        // Counted once, when its properties are known to be set: a folder
        // is never both copied and failed.
        countDir(f.decision, outcome);
        if (!listOnly && !countOnly && f.decision.deleteSource && !f.failed) {
            f.src.reset();
            const int r = f.parent ? ::unlinkat(f.parent->src.get(), f.name.c_str(), AT_REMOVEDIR)
                                   : ::rmdir(o.source.c_str());
            // A folder that still holds what was not moved stays, as it should.
            if (r < 0 && errno != ENOTEMPTY && errno != EEXIST && errno != ENOTDIR && errno != ENOENT)
                error(ErrorAction::DeletingSourceDirectory, errno, f.srcPath, std::string());
        }
        f.src.reset();
        f.dst.reset();
    }

    // ---------------------------------------------------------------- files

    void clearArchive(Folder &f, const FileJob &job, dev_t dev)
    {
        const XattrPlace place{-1, f.src.get(), job.name.c_str(), job.followLink};
        std::string previous;
        SysError err;
        const bool has = GetXattr(place, kDosAttribName, previous, err);
        bool unsupported = IsNoXattrSupport(err.code);
        if (err && !unsupported) {
            error(ErrorAction::ChangingFileAttributes, err.code, f.srcPath, job.name);
            return;
        }
        if (!unsupported) {
            const uint32_t now = AttributesFrom(mode_t(S_IWUSR), false, has, previous);
            const SysError e = WriteAttributes(place, now & ~uint32_t(Attr::Archive), false, has, previous,
                                               unsupported);
            if (e) {
                error(ErrorAction::ChangingFileAttributes, e.code, f.srcPath, job.name);
                return;
            }
        }
        if (unsupported) {
            {
                const std::lock_guard lock(reportMutex);
                if (std::find(notedArchive.begin(), notedArchive.end(), dev) != notedArchive.end())
                    return;
                notedArchive.push_back(dev);
            }
            note("the file system of " + f.srcPath
                 + " keeps no DOS attributes: /M cannot reset the Archive attribute there.");
        }
    }

    // What the destination could not keep of a file just copied: a date
    // beyond the years it keeps (said for each file as it is copied; the
    // next run takes the date kept for the source's), and the read-only
    // flag (said once per device).
    void noteWhatIsNotKept(const Folder &f, const FileJob &job)
    {
        if (!f.traits)
            return;
        const DeviceTraits &t = *f.traits;
        if ((o.copyFlags & CopyFlag::Times) && !t.keepsTime(job.src.mtimeNs))
            note("the destination keeps no such date: " + DisplayName(f.dstPath + job.name) + " is dated "
                 + StampDateTime(KeptTimeNs(job.src.mtimeNs, t), clock.utcOffsetSeconds) + " there, not "
                 + StampDateTime(job.src.mtimeNs, clock.utcOffsetSeconds) + ".");
        const bool readOnly = ((job.mode && !(job.mode & S_IWUSR) && (o.copyFlags & CopyFlag::Attributes))
                               || (o.addAttributes & Attr::ReadOnly))
            && !(o.removeAttributes & Attr::ReadOnly);
        if (!readOnly || t.keepsReadOnly)
            return;
        {
            const std::lock_guard lock(reportMutex);
            if (std::find(notedReadOnly.begin(), notedReadOnly.end(), &t) != notedReadOnly.end())
                return;
            notedReadOnly.push_back(&t);
        }
        note("the file system of " + DisplayName(f.dstPath)
             + " keeps no read-only attribute: read-only files copied there can be written.");
    }

    // What the destination's file system keeps, learnt once per device: a
    // folder not made yet is on its parent's.
    void learnTraits(Folder &f)
    {
        if (f.parent)
            f.traits = f.parent->traits;
        struct stat st;
        if (f.dst && ::fstat(f.dst.get(), &st) == 0)
            f.traits = &deviceTraits.of(f.dst.get(), st.st_dev, !listOnly);
    }

    void copyFile(const FolderPtr &fp, const FileJob &job)
    {
        Folder &f = *fp;
        const bool progressShown = !mt && !o.noProgress && !countOnly;
        bool purged = false;
        bool kept = false;
        for (uint32_t attempt = 0;; ++attempt) {
            if (beforeEachFile)
                beforeEachFile();
            if (!mt)
                fileEvent(job.decision, job.src, f.srcPath, job.name);
            CopyFailure failure;
            dev_t srcDev = 0;
            if (!listOnly && !countOnly) {
                if (job.decision.action == Action::PurgeAndCopy && !purged) {
                    int code = 0;
                    const bool gone = RemoveTree(
                        f.dst.get(), job.name,
                        [&](const std::string &, bool, int c) {
                            if (!code)
                                code = c;
                        },
                        keepNamed(f.relDir + job.name + '/', f.dstPath + job.name + '/'));
                    // A folder kept inside (named by /XD) keeps the name taken: no retry changes that.
                    kept = !gone && !code;
                    purged = gone;
                    if (!gone)
                        failure = {code ? code : ENOTEMPTY, ErrorAction::DeletingExtraDirectory};
                }
                if (!failure) {
                    const int64_t start = steadyNs();
                    FileCopy copy{f.src.get(), job.name, job.followLink, f.dst.get(), job.name};
                    // The first attempt goes by what the listing saw; a retry looks again.
                    if (attempt == 0 && job.mode && job.sameDevice) {
                        copy.listed = SourceStamp{true, job.mode, job.src.size, job.src.mtimeNs, job.src.atimeNs,
                                                  f.srcStat.st_dev};
                    }
                    copy.dstDevKnown = f.dstReady;
                    copy.dstDev = f.dstDev;
                    copy.fresh = job.fresh;
                    copy.createMaskKnown = f.dstReady && !f.dstDefaultAcl;
                    copy.createMask = umask;
                    if (job.asLink) {
                        failure = CopyLink(copy, dp);
                    } else {
                        uint32_t shown = 0;
                        if (progressShown)
                            progress(0);
                        const FileCopyResult r = CopyFile(copy, dp, caps, [&](uint64_t done, uint64_t total) {
                            if (!progressShown)
                                return;
                            const auto permille = uint32_t(total ? done * 1000 / total : 1000);
                            if (permille != shown || permille == 1000) {
                                shown = permille;
                                progress(permille);
                            }
                        });
                        failure = r.failure;
                        srcDev = r.source.st_dev;
                    }
                    copyingNs += steadyNs() - start;
                }
            }
            if (!failure) {
                f.touched = true;
                if (mt)
                    fileEvent(job.decision, job.src, f.srcPath, job.name);
                if (job.nameAltered && !listOnly && !countOnly) {
                    // There, but not under its name: said once, counted failed, and the
                    // source stays (a move would lose the name). The next run takes
                    // the stored name for this one.
                    nameError(ErrorAction::CopyingFile, EINVAL, f.srcPath, job.name,
                              NameFateMessage(job.name, *f.traits));
                    countFile(job.decision, job.src.size, Outcome::Failed);
                    return;
                }
                countFile(job.decision, job.src.size);
                if (!listOnly && !countOnly) {
                    noteWhatIsNotKept(f, job);
                    if (o.archiveReset)
                        clearArchive(f, job, srcDev);
                    if (job.decision.deleteSource && ::unlinkat(f.src.get(), job.name.c_str(), 0) < 0) {
                        error(ErrorAction::DeletingSourceFile, errno, f.srcPath, job.name);
                        const std::lock_guard lock(reportMutex);
                        totals.files[Column::Failed] += 1;
                    }
                }
                return;
            }
            const bool last = attempt >= o.retries || kept;
            // Attributes, times and security failed on the copy: its path is the destination's.
            const bool onCopy = failure.action == ErrorAction::ChangingFileAttributes
                || failure.action == ErrorAction::SettingFileTimes || failure.action == ErrorAction::CopyingSecurity;
            error(failure.action, failure.code, onCopy ? f.dstPath : f.srcPath, job.name,
                  last ? RetryState::LimitExceeded : RetryState::Waiting);
            if (last) {
                countFile(job.decision, job.src.size, Outcome::Failed);
                return;
            }
            std::this_thread::sleep_for(std::chrono::seconds(o.waitSeconds));
            waitingNs += int64_t(o.waitSeconds) * 1000000000;
        }
    }

    // ---------------------------------------------------------------- the walk

    // One name of a folder, both sides: indices into the two listings and
    // the decision, 28 bytes (a folder of a million files stays small).
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Item
    {
        uint32_t src = kNone;
        uint32_t dst = kNone;
        uint32_t twin = kNone; // the source name the destination takes this one for
        bool asDir = false;
        FileDecision file;
        DirDecision dir;
    };

    // At most this many files, and about this many bytes, go to a worker at once.
    static constexpr size_t kBatchFiles = 32;
    static constexpr uint64_t kBatchBytes = 8u << 20;

    // A subfolder to walk once the folder's own listings are gone.
    struct SubFolder
    {
        std::string name;
        DirDecision decision;
        bool isLink = false;
    };

    static Entry entryAt(const Listing &l, uint32_t i) { return i == kNone ? Entry{} : entryOf(l[i]); }
    static std::string_view nameOf(std::string_view name) { return name; }
    static std::string_view nameOf(const std::pair<std::string, int> &unseen) { return unseen.first; }

    void readAttributes(int dirFd, const Listing &l, uint32_t i, Entry &e, bool follow)
    {
        const Node &n = l[i];
        if (n.kind != NodeKind::File && n.kind != NodeKind::Directory)
            return;
        // What a device refuses is learnt on the folder's own device; an
        // entry on another (a mount, a followed link) is simply asked.
        const dev_t dev = l.device();
        if (!n.otherDevice && !caps.has(dev, dev, DeviceCapabilities::UserXattrs)) {
            e.attributes = uint16_t(AttributesFrom(n.mode, n.kind == NodeKind::Directory, false, {}));
            e.attributesKnown = true;
            return;
        }
        std::string value;
        SysError err;
        const bool has = GetXattr(XattrPlace{-1, dirFd, l.cName(i), follow}, kDosAttribName, value, err);
        if (err && IsNoXattrSupport(err.code) && !n.otherDevice)
            caps.refuse(dev, dev, DeviceCapabilities::UserXattrs);
        e.attributes = uint16_t(AttributesFrom(n.mode, n.kind == NodeKind::Directory, has, value));
        e.attributesKnown = true;
    }

    // What a purge of the folder at relDir (dstPath in full) leaves: the
    // folders /XD names inside it, each said in a NOTE line.
    RemoveKeep keepNamed(const std::string &relDir, const std::string &dstPath)
    {
        if (o.excludeDirs.empty())
            return {};
        return [this, relDir, dstPath](const std::string &rel) {
            const size_t slash = rel.rfind('/', rel.size() - 2);
            const size_t start = slash == std::string::npos ? 0 : slash + 1;
            const std::string_view name(rel.data() + start, rel.size() - 1 - start);
            if (!classifier.keptFromPurge(name, relDir + rel.substr(0, start)))
                return false;
            note("kept, as /XD names it: " + dstPath + rel);
            return true;
        };
    }

    // A move whose destination folder is its source folder (the same folder
    // by another path: a link, a bind mount) would delete every file it
    // copied onto itself: said, and the folder left alone.
    bool movesOntoItself(int srcFd, int dstFd, const std::string &dstPath)
    {
        struct stat s, d;
        if (!o.moveFiles || ::fstat(srcFd, &s) < 0 || ::fstat(dstFd, &d) < 0 || s.st_dev != d.st_dev
            || s.st_ino != d.st_ino)
            return false;
        Event e;
        e.kind = EventKind::Error;
        e.action = ErrorAction::AccessingDestinationDirectory;
        e.error = EINVAL;
        e.message = "The destination is the source folder itself: a move would delete what it copies.";
        e.dir = dstPath;
        e.timeNs = wallNs();
        emit(e);
        return true;
    }

    bool isLoop(const Folder &parent, const struct stat &st) const
    {
        if (FileId{st.st_dev, st.st_ino} == destRoot)
            return true;
        for (const Folder *a = &parent; a; a = a->parent.get())
            if (a->srcStat.st_dev == st.st_dev && a->srcStat.st_ino == st.st_ino)
                return true;
        return false;
    }

    bool protectedFromPurge(int parentFd, const char *name) const
    {
        struct stat st;
        if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) < 0)
            return false;
        return std::find(sourceAncestry.begin(), sourceAncestry.end(), FileId{st.st_dev, st.st_ino})
            != sourceAncestry.end();
    }

    // What every copy into the folder would otherwise ask for itself: its
    // device, and whether new files take their mode from the umask (no
    // default ACL), so a file created with its mode needs no chmod.
    void prepareDestination(Folder &f)
    {
        if (f.dstReady || !f.dst)
            return;
        struct stat st;
        if (::fstat(f.dst.get(), &st) < 0)
            return; // not known: each copy finds out for itself
        f.dstDev = st.st_dev;
        if (!caps.has(st.st_dev, st.st_dev, DeviceCapabilities::Acls)) {
            f.dstDefaultAcl = false;
        } else {
            const ssize_t n = ::fgetxattr(f.dst.get(), "system.posix_acl_default", nullptr, 0);
            f.dstDefaultAcl = n > 0 || (n < 0 && errno != ENODATA && !IsNoXattrSupport(errno));
        }
        f.dstReady = true;
    }

    // The stats of a folder's entries, both sides, shared among the walk and
    // the workers (which take them before any copy): chunks of entries handed
    // out one at a time, so that the walk, doing its share, never waits for
    // a worker busy with a big file.
    struct StatShare
    {
        struct Chunk
        {
            Listing *listing;
            int fd;
            bool follow;
            size_t begin, end;
        };
        std::vector<Chunk> chunks;
        std::atomic<size_t> next{0};
        std::mutex mutex;
        std::condition_variable allDone;
        size_t done = 0;

        void work()
        {
            size_t finished = 0;
            for (size_t i; (i = next.fetch_add(1)) < chunks.size(); ++finished) {
                const Chunk &c = chunks[i];
                c.listing->statRange(c.fd, c.follow, c.begin, c.end);
            }
            if (!finished)
                return;
            const std::lock_guard lock(mutex);
            done += finished;
            if (done == chunks.size())
                allDone.notify_all();
        }
    };
    static constexpr size_t kStatChunk = 256;

    // Lists both sides of a folder (dst only when it is open): the names of
    // each, then their stats, with the workers when there are any.
    void listSides(Folder &f, Listing &src, Listing &dst, SysError &srcError, SysError &dstError)
    {
        const bool follow = !o.symbolicLinks;
        srcError = src.readNames(f.src.get());
        if (f.dst)
            dstError = dst.readNames(f.dst.get());
        auto share = std::make_shared<StatShare>();
        const auto cut = [&](Listing &l, int fd, bool linksFollowed) {
            for (size_t at = 0; at < l.size(); at += kStatChunk)
                share->chunks.push_back({&l, fd, linksFollowed, at, std::min(l.size(), at + kStatChunk)});
        };
        if (!srcError)
            cut(src, f.src.get(), follow);
        if (f.dst && !dstError)
            cut(dst, f.dst.get(), false);
        if (Pool *helping = pool ? pool.get() : statHelper.get(); helping && share->chunks.size() > 1) {
            const size_t helpers = std::min<size_t>(helping->workers(), share->chunks.size() - 1);
            for (size_t h = 0; h < helpers; ++h)
                helping->postFirst([share] { share->work(); });
        }
        share->work();
        {
            std::unique_lock lock(share->mutex);
            share->allDone.wait(lock, [&] { return share->done == share->chunks.size(); });
        }
        if (!srcError)
            srcError = src.finish();
        if (f.dst && !dstError)
            dstError = dst.finish();
    }

    // A listing that failed, tried again by /R /W; false when it could not be.
    bool relist(Folder &f, Listing &l, bool source, SysError e)
    {
        const int fd = source ? f.src.get() : f.dst.get();
        const bool follow = source && !o.symbolicLinks;
        dirEvent(f.decision.tag, 0, f.srcPath);
        if (retried(source ? ErrorAction::ScanningSourceDirectory : ErrorAction::ScanningDestinationDirectory,
                    source ? f.srcPath : f.dstPath, [&, first = e.code]() mutable {
                        return std::exchange(first, 0) ? e.code : l.read(fd, follow).code;
                    }))
            return true;
        f.failed = true;
        return false;
    }

    // The source names that the destination would take for another of the
    // folder's, or that it refuses: each said and counted failed, and left
    // out of the copy and the walk. Only names that would be written:
    // one filtered out stays as it was decided.
    void refuseUnkeptNames(Folder &f, const Listing &src, std::vector<Item> &items, const DeviceTraits &traits)
    {
        for (Item &it : items) {
            if (it.src == kNone)
                continue;
            const bool writes = it.asDir
                ? it.dir.action == DirAction::Create || it.dir.action == DirAction::PurgeAndCreate
                : it.file.listed && (it.file.action == Action::Copy || it.file.action == Action::PurgeAndCopy);
            const std::string name(src.name(it.src));
            std::string why;
            int code = EINVAL;
            if (!writes)
                continue;
            if (it.twin != kNone) {
                why = "The destination's file system takes this name for \"" + DisplayName(src.name(it.twin))
                    + "\", which is copied from the same folder.";
                code = EEXIST;
            } else if (FateOfName(name, traits) == NameFate::Refused) {
                why = NameFateMessage(name, traits);
            } else {
                continue;
            }
            if (it.asDir) {
                nameError(ErrorAction::CreatingDestinationDirectory, code, f.dstPath + name + '/', std::string(), why);
                countDir(it.dir, Outcome::Failed);
                it.dir.action = DirAction::Skip;
                it.dir.listed = false;
            } else {
                const Entry se = entryAt(src, it.src);
                fileEvent(it.file, se, f.srcPath, name);
                nameError(ErrorAction::CopyingFile, code, f.srcPath, name, why);
                countFile(it.file, se.size, Outcome::Failed);
                it.file.listed = false;
            }
        }
    }

    void walk(const FolderPtr &fp)
    {
        Folder &f = *fp;
        Listing src, dst;
        SysError srcError, dstError;
        listSides(f, src, dst, srcError, dstError);
        if (srcError && !relist(f, src, true, srcError))
            return;
        if (f.dst && dstError && !relist(f, dst, false, dstError))
            return;

        const bool follow = !o.symbolicLinks;
        const bool srcAttributes = classifier.needsAttributes(Side::Source);
        const bool dstAttributes = classifier.needsAttributes(Side::Destination);
        learnTraits(f);
        static const DeviceTraits unknownDevice;
        const DeviceTraits &traits = f.traits ? *f.traits : unknownDevice;
        std::vector<std::string> staleTemps;
        // The destination's names of the user: our temporary files are
        // not (never compared, never extras; stale ones go, a /Z copy's
        // partial file stays while its source is the same), nor is the twin
        // of a source entry stat could not look at (an error line below says why).
        std::vector<uint32_t> shown;
        shown.reserve(dst.size());
        for (uint32_t j = 0; j < dst.size(); ++j) {
            if (dst[j].kind == NodeKind::File && !dst[j].isLink && IsTempName(dst.name(j)))
                staleTemps.emplace_back(dst.name(j));
            else if (src.unseen().empty()
                     || !std::binary_search(src.unseen().begin(), src.unseen().end(), dst.name(j),
                                            [](const auto &a, const auto &b) { return nameOf(a) < nameOf(b); }))
                shown.push_back(j);
        }
        // Names paired as the destination tells them apart (letter case, trailing dots).
        const std::vector<NamePair> pairs = PairNames(
            src.size(), [&](uint32_t i) { return src.name(i); }, shown.size(),
            [&](uint32_t j) { return dst.name(shown[j]); }, traits);
        std::vector<Item> items;
        items.reserve(pairs.size());
        for (const NamePair &pair : pairs) {
            Item it;
            it.src = pair.src;
            it.dst = pair.dst == kNoName ? kNone : shown[pair.dst];
            it.twin = pair.twin;
            Entry se = entryAt(src, it.src);
            Entry de = entryAt(dst, it.dst);
            if (it.src != kNone) {
                Node &n = src[it.src];
                if (n.isLink && follow && classifier.copiesLinkAsLink(se)) {
                    // /SJ: a link to a folder is copied as a link; its own times count.
                    struct stat st;
                    if (::fstatat(f.src.get(), src.cName(it.src), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                        n.size = uint64_t(st.st_size);
                        n.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
                        se.size = n.size;
                        se.mtimeNs = n.mtimeNs;
                    }
                }
                if (srcAttributes)
                    readAttributes(f.src.get(), src, it.src, se, follow);
            }
            if (it.dst != kNone && dstAttributes)
                readAttributes(f.dst.get(), dst, it.dst, de, false);
            const std::string_view name = it.src != kNone ? src.name(it.src) : dst.name(it.dst);
            it.asDir = classifier.decidesAsDirectory(se, de);
            if (it.asDir)
                it.dir = classifier.dir(se, de, name, f.relDir, f.depth + 1);
            else
                it.file = classifier.file(se, de, name, f.relDir, &traits);
            items.push_back(it);
        }

        // The folder's line: how many of its files the file names select.
        int64_t count = 0;
        for (const Item &it : items)
            if (!it.asDir && it.file.listed && it.file.cls != FileClass::Extra)
                ++count;
        dirEvent(f.decision.tag, count, f.srcPath);
        for (const auto &[name, code] : src.unseen()) {
            error(ErrorAction::ScanningSourceDirectory, code, f.srcPath, name, RetryState::LimitExceeded);
            FileDecision unseen;
            unseen.action = Action::Copy;
            countFile(unseen, 0, Outcome::Failed);
        }
        if (traits.altersNames())
            refuseUnkeptNames(f, src, items, traits);

        if (!listOnly && !countOnly && !staleTemps.empty()) {
            // A /Z copy's partial file stays for the copy that resumes it.
            std::vector<std::string> resumable;
            if (o.restartable) {
                for (const Item &it : items)
                    if (it.src != kNone && !it.asDir && src[it.src].kind == NodeKind::File
                        && (it.file.action == Action::Copy || it.file.action == Action::PurgeAndCopy))
                        resumable.push_back(TempName(src.name(it.src), src[it.src].size, src[it.src].mtimeNs));
                std::sort(resumable.begin(), resumable.end());
            }
            for (const std::string &temp : staleTemps)
                if (!std::binary_search(resumable.begin(), resumable.end(), temp))
                    ::unlinkat(f.dst.get(), temp.c_str(), 0);
        }

        // Extras first, as they are found in the destination.
        for (const Item &it : items) {
            if (it.asDir || !it.file.listed || it.file.cls != FileClass::Extra)
                continue;
            const Entry de = entryAt(dst, it.dst);
            fileEvent(it.file, de, f.dstPath, std::string(dst.name(it.dst)));
            Outcome outcome = Outcome::AsDecided;
            if (it.file.action == Action::Purge && !listOnly && !countOnly) {
                if (::unlinkat(f.dst.get(), dst.cName(it.dst), 0) < 0 && errno != ENOENT) {
                    error(ErrorAction::DeletingExtraFile, errno, f.dstPath, std::string(dst.name(it.dst)));
                    outcome = Outcome::Failed;
                } else {
                    f.touched = true;
                }
            }
            countFile(it.file, de.size, outcome);
        }
        for (const Item &it : items) {
            if (!it.asDir || !it.dir.listed || it.dir.cls != DirClass::Extra)
                continue;
            const std::string name(dst.name(it.dst));
            const std::string path = f.dstPath + name + '/';
            dirEvent(it.dir.tag, -1, path);
            Outcome outcome = Outcome::AsDecided;
            if (it.dir.action == DirAction::Purge && !listOnly && !countOnly) {
                if (protectedFromPurge(f.dst.get(), name.c_str())) {
                    error(ErrorAction::DeletingExtraDirectory, EBUSY, path, std::string());
                    outcome = Outcome::Failed;
                } else {
                    bool failed = false;
                    RemoveTree(
                        f.dst.get(), name,
                        [&](const std::string &rel, bool, int code) {
                            error(ErrorAction::DeletingExtraDirectory, code, path, rel);
                            failed = true;
                        },
                        keepNamed(f.relDir + name + '/', path));
                    if (failed)
                        outcome = Outcome::Failed;
                }
                f.touched = true;
            }
            countDir(it.dir, outcome);
        }

        // The source's files. The workers take them in batches of the
        // folder's files (a few per worker, fewer bytes than kBatchBytes):
        // one hand-over per batch rather than per file.
        std::vector<FileJob> batch;
        uint64_t batchBytes = 0;
        size_t batchFiles = 1;
        if (pool) {
            size_t copies = 0;
            for (const Item &it : items)
                copies += !it.asDir && (it.file.action == Action::Copy || it.file.action == Action::PurgeAndCopy);
            batchFiles = std::clamp<size_t>(copies / (size_t(o.threads) * 4), 1, kBatchFiles);
        }
        const auto postBatch = [&] {
            if (batch.empty())
                return;
            fp->pending += 1;
            pool->post([this, fp, jobs = std::move(batch)] {
                for (const FileJob &job : jobs)
                    copyFile(fp, job);
                release(fp);
            });
            batch = {};
            batchBytes = 0;
        };
        for (const Item &it : items) {
            if (it.asDir || !it.file.listed || it.file.cls == FileClass::Extra)
                continue;
            const FileDecision &d = it.file;
            const Node &n = src[it.src];
            const Entry se = entryAt(src, it.src);
            if (d.action == Action::Skip || d.action == Action::Report || d.action == Action::Purge) {
                fileEvent(d, se, f.srcPath, std::string(src.name(it.src)));
                countFile(d, se.size);
                // /TIMFIX: times that differ at all, even within /FFT's two seconds.
                if (d.fixTimes && !listOnly && !countOnly && f.dst && it.dst != kNone
                    && se.mtimeNs != dst[it.dst].mtimeNs) {
                    struct stat st{};
                    st.st_atim = {time_t(se.atimeNs / 1000000000), long(se.atimeNs % 1000000000)};
                    st.st_mtim = {time_t(se.mtimeNs / 1000000000), long(se.mtimeNs % 1000000000)};
                    if (const CopyFailure e = FixTimes(f.dst.get(), std::string(src.name(it.src)), st))
                        error(e.action, e.code, f.dstPath, std::string(src.name(it.src)));
                }
                continue;
            }
            FileJob job;
            job.name = src.name(it.src);
            job.src = se;
            job.decision = d;
            job.asLink = se.isLink && (o.symbolicLinks || classifier.copiesLinkAsLink(se));
            job.followLink = se.isLink && !job.asLink;
            job.fresh = it.dst == kNone || d.action == Action::PurgeAndCopy;
            job.mode = n.kind == NodeKind::File ? n.mode : 0;
            job.sameDevice = !n.otherDevice;
            job.nameAltered = traits.altersNames() && FateOfName(job.name, traits) == NameFate::Altered;
            if (!job.asLink && n.kind != NodeKind::File) {
                // A dangling link has nothing to copy; a FIFO, socket or
                // device is nothing Robocopy knows: said, and left.
                if (n.kind == NodeKind::Dangling) {
                    fileEvent(d, se, f.srcPath, job.name);
                    error(ErrorAction::CopyingFile, ENOENT, f.srcPath, job.name, RetryState::LimitExceeded);
                    countFile(d, se.size, Outcome::Failed);
                } else {
                    note("not a file or folder, not copied: " + f.srcPath + job.name);
                }
                continue;
            }
            if (!ensureDestination(f)) {
                fileEvent(d, se, f.srcPath, job.name);
                countFile(d, se.size, Outcome::Failed);
                continue;
            }
            if (!listOnly && !countOnly)
                prepareDestination(f);
            if (pool && !listOnly && !countOnly) {
                batchBytes += job.src.size;
                batch.push_back(std::move(job));
                if (batch.size() >= batchFiles || batchBytes >= kBatchBytes)
                    postBatch();
            } else {
                copyFile(fp, job);
            }
        }
        postBatch();

        // The subfolders, each walked before the next; the listings of this
        // folder are given back first, so a deep tree holds only the names
        // of the folders on the way down.
        std::vector<SubFolder> subfolders;
        for (const Item &it : items)
            if (it.asDir && it.src != kNone)
                subfolders.push_back(SubFolder{std::string(src.name(it.src)), it.dir, src[it.src].isLink});
        std::vector<Item>().swap(items);
        src.release();
        dst.release();
        for (const SubFolder &sub : subfolders) {
            const DirDecision &d = sub.decision;
            const std::string &name = sub.name;
            const std::string srcPath = f.srcPath + name + '/';
            if (d.action == DirAction::Skip || d.action == DirAction::Report) {
                if (d.listed) {
                    dirEvent(d.tag, -1, srcPath);
                    countDir(d);
                }
                continue;
            }
            auto child = std::make_shared<Folder>();
            child->parent = fp;
            child->name = name;
            child->relDir = f.relDir + name + '/';
            child->srcPath = srcPath;
            child->dstPath = f.dstPath + name + '/';
            child->decision = d;
            child->depth = f.depth + 1;
            SysError err;
            const auto openSource = [&] {
                child->src = OpenFolder(f.src.get(), name, sub.isLink, err);
                if (child->src && ::fstat(child->src.get(), &child->srcStat) < 0)
                    err.code = errno;
                return child->src && !err.code ? 0 : err.code;
            };
            if (openSource()) {
                dirEvent(d.tag, 0, srcPath);
                if (!retried(ErrorAction::ScanningSourceDirectory, srcPath, [&, first = true]() mutable {
                        return std::exchange(first, false) ? err.code : openSource();
                    })) {
                    countDir(d, Outcome::Failed);
                    continue;
                }
            }
            if (isLoop(f, child->srcStat)) {
                // A link or bind mount back to a folder being walked (or
                // to the destination inside the source) is walked once.
                note("a loop back to a folder already walked, not walked again: " + srcPath);
                continue;
            }
            if (d.action == DirAction::Enter) {
                const auto openDestination = [&] {
                    child->dst = OpenFolder(f.dst.get(), name, false, err);
                    return child->dst ? 0 : err.code;
                };
                if (f.dst && openDestination()) {
                    dirEvent(d.tag, 0, srcPath);
                    if (!retried(ErrorAction::AccessingDestinationDirectory, child->dstPath,
                                 [&, first = true]() mutable {
                                     return std::exchange(first, false) ? err.code : openDestination();
                                 })) {
                        countDir(d, Outcome::Failed);
                        continue;
                    }
                }
                if (child->dst && movesOntoItself(child->src.get(), child->dst.get(), child->dstPath)) {
                    countDir(d, Outcome::Failed);
                    continue;
                }
            } else {
                if (d.action == DirAction::PurgeAndCreate && !listOnly && !countOnly && f.dst
                    && ::unlinkat(f.dst.get(), name.c_str(), 0) < 0 && errno != ENOENT) {
                    dirEvent(d.tag, 0, srcPath);
                    error(ErrorAction::DeletingExtraFile, errno, f.dstPath, name);
                    countDir(d, Outcome::Failed);
                    continue;
                }
                child->onDemand = true;
                if (!d.createOnDemand)
                    ensureDestination(*child);
            }
            fp->pending += 1;
            walk(child);
            release(child);
        }
    }

    // ---------------------------------------------------------------- the run

    Totals run()
    {
        const int64_t start = steadyNs();
        // A silent pass is a listing that tells nobody.
        listOnly = o.listOnly || countOnly;
        totals = Totals{};
        auto root = std::make_shared<Folder>();
        root->isRoot = true;
        root->srcPath = withSlash(o.source);
        root->dstPath = withSlash(o.destination);
        // The roots are named by the user: links to them are followed.
        root->src.reset(::open(o.source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!root->src || ::fstat(root->src.get(), &root->srcStat) < 0) {
            error(ErrorAction::AccessingSourceDirectory, errno, root->srcPath, std::string());
            totals.serious = true;
            return totals;
        }
        Entry srcEntry;
        srcEntry.kind = EntryKind::Directory;
        Entry dstEntry;
        struct stat dstStat;
        if (::stat(o.destination.c_str(), &dstStat) == 0)
            dstEntry.kind = S_ISDIR(dstStat.st_mode) ? EntryKind::Directory : EntryKind::File;
        else if (errno != ENOENT && errno != ENOTDIR) { // missing (or under a file): to be made
            error(ErrorAction::AccessingDestinationDirectory, errno, root->dstPath, std::string());
            totals.serious = true;
            return totals;
        }
        if (dstEntry.kind == EntryKind::File) {
            error(ErrorAction::AccessingDestinationDirectory, ENOTDIR, root->dstPath, std::string());
            totals.serious = true;
            return totals;
        }
        root->decision = classifier.root(srcEntry, dstEntry);
        // /MOVE takes the source folder itself too, once it is empty.
        root->decision.deleteSource = o.moveDirs;
        if (root->decision.action == DirAction::Create && !listOnly && !countOnly) {
            // The whole path, as Robocopy makes it.
            std::string path;
            for (size_t at = 0; at != std::string::npos;) {
                const size_t slash = o.destination.find('/', at + 1);
                path = o.destination.substr(0, slash);
                if (!path.empty() && ::mkdir(path.c_str(), 0777) < 0 && errno != EEXIST) {
                    error(ErrorAction::CreatingDestinationDirectory, errno, withSlash(path), std::string());
                    totals.serious = true;
                    return totals;
                }
                at = slash;
            }
            root->created = true;
        } else if (root->decision.action == DirAction::Create) {
            root->created = true;
        }
        if (!listOnly || dstEntry.kind == EntryKind::Directory) {
            root->dst.reset(::open(o.destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!root->dst && !(listOnly && errno == ENOENT)) {
                error(ErrorAction::AccessingDestinationDirectory, errno, root->dstPath, std::string());
                totals.serious = true;
                return totals;
            }
        }
        if (root->dst && movesOntoItself(root->src.get(), root->dst.get(), root->dstPath)) {
            totals.serious = true;
            return totals;
        }
        if (root->dst)
            IdOf(root->dst.get(), destRoot);
        // The source root and every folder above it: a purge never deletes them.
        sourceAncestry.clear();
        {
            Fd at(::dup(root->src.get()));
            for (int depth = 0; at && depth < 4096; ++depth) {
                FileId id;
                if (IdOf(at.get(), id))
                    break;
                if (std::find(sourceAncestry.begin(), sourceAncestry.end(), id) != sourceAncestry.end())
                    break;
                sourceAncestry.push_back(id);
                at.reset(::openat(at.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            }
        }

        if (mt && !listOnly && !countOnly) {
            // Each queued copy may hold its folder's two descriptors open:
            // the queue stays well inside the limit of open files.
            size_t capacity = 1024;
            struct rlimit limit;
            if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
                capacity = std::clamp<size_t>((size_t(limit.rlim_cur) - std::min<size_t>(size_t(limit.rlim_cur), 256)) / 4,
                                              16, 1024);
            pool = std::make_unique<Pool>(o.threads, capacity);
        } else {
            statHelper = std::make_unique<Pool>(1, 16);
        }
        walk(root);
        release(root);
        pool.reset(); // every queued copy done, every folder finished
        statHelper.reset();

        const int64_t total = steadyNs() - start;
        totals.totalNs = total;
        totals.failedNs = std::min<int64_t>(waitingNs, total);
        totals.copiedNs = std::min<int64_t>(copyingNs, total - totals.failedNs);
        totals.extrasNs = total - totals.failedNs - totals.copiedNs;
        return totals;
    }
};

Engine::Engine(const CopyOptions &options, const RunClock &clock, EventSink sink)
    : m_impl(std::make_unique<Impl>(options, clock, std::move(sink)))
{
}

Engine::~Engine() = default;

Totals Engine::run()
{
    m_impl->countOnly = m_countOnly;
    m_impl->beforeEachFile = m_beforeEachFile;
    m_impl->copyingNs = 0;
    m_impl->waitingNs = 0;
    return m_impl->run();
}

} // namespace copy
