#include "copy/Engine.h"

#include "copy/DeviceTraits.h"
#include "copy/DosAttributes.h"
#include "copy/Guard.h"
#include "copy/NameBytes.h"
#include "copy/Pool.h"
#include "copy/Report.h"
#include "copy/Times.h"
#include "copy/Walk.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
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
    return NsOf(t);
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

// umask() can only be read by setting it: read once, before any worker runs.
mode_t currentUmask()
{
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
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

// What an error line counts against: an entry whose place in the summary
// is not yet counted, and lands in FAILED once an error was reported for it.
struct Subject
{
    virtual void markFailed() = 0;

protected:
    ~Subject() = default;
};

struct Folder final : Subject
{
    std::shared_ptr<Folder> parent;
    Fd src;
    Fd dst;
    std::string name;    // in the parent, the same on both sides
    struct stat srcStat{};
    DirDecision decision;
    uint32_t depth = 1;
    bool isRoot = false;
    bool onDemand = false;       // /S: made when something is copied into it
    bool created = false;        // made by this run (or would be, under /L)
    std::atomic<bool> touched{false}; // something was written or deleted inside
    std::atomic<bool> failed{false};  // no destination folder: nothing inside is done
    std::atomic<bool> errored{false}; // an error line counts against it: FAILED
    std::atomic<int> pending{1};      // the walk's own hold, and one per job and subfolder
    FolderId dstId;              // the destination folder as the walk found it
    // Learnt once, by the walk, before the first write into the folder.
    bool dstReady = false;
    dev_t dstDev = 0;
    bool dstDefaultAcl = true;   // a default ACL decides new files' modes, not the umask
    bool madeWritable = false;   // the owner's write bit added for the work inside, to be taken back
    const DeviceTraits *traits = nullptr; // what the destination's file system keeps; null when unknown
    void markFailed() override { errored = true; }

    // Deep trees: the chain of parents is given up one by one, not by a
    // recursion as deep as the tree.
    ~Folder()
    {
        std::shared_ptr<Folder> up = std::move(parent);
        while (up && up.use_count() == 1)
            up = std::move(up->parent);
    }
};
using FolderPtr = std::shared_ptr<Folder>;

// A folder's place relative to the roots, "" or "a/b/", from its chain of
// names: folders keep only their own name, so a tree thousands of folders
// deep holds no path per folder.
std::string relDirOf(const Folder &f)
{
    size_t length = 0;
    for (const Folder *a = &f; a && !a->isRoot; a = a->parent.get())
        length += a->name.size() + 1;
    std::string rel(length, '/');
    for (const Folder *a = &f; a && !a->isRoot; a = a->parent.get()) {
        length -= a->name.size() + 1;
        rel.replace(length, a->name.size(), a->name);
    }
    return rel;
}

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
    // Security and owner are /COPY:'s letters, and travel with folders too
    // (unless /NODCOPY, which copies nothing of a folder).
    s.folder.security = o.dirCopyFlags && s.file.security;
    s.folder.owner = o.dirCopyFlags && s.file.owner;
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
    s.umask = currentUmask();
    s.privileged = ::geteuid() == 0;
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
    Guard guard;
    std::vector<int> protectedFiles; // descriptors of the log files, for the guard
    bool listOnly;
    bool countOnly = false;
    const uid_t me = ::geteuid();
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
    std::string srcRoot; // the roots as the report shows them, ending in '/'
    std::string dstRoot;
    std::atomic<int64_t> copyingNs{0};
    std::atomic<int64_t> waitingNs{0};
    std::vector<dev_t> notedArchive;   // devices where /M cannot reset Archive (noted once)
    DeviceTraitsCache deviceTraits;    // the walk's thread alone
    std::vector<const DeviceTraits *> notedReadOnly; // devices that keep no read-only flag (noted once)

    std::string srcPathOf(const Folder &f) const { return srcRoot + relDirOf(f); }
    std::string dstPathOf(const Folder &f) const { return dstRoot + relDirOf(f); }

    // ---------------------------------------------------------------- report

    void emit(const Event &e)
    {
        if (countOnly)
            return;
        const std::lock_guard lock(reportMutex);
        sink(e);
    }

    // A file's or folder's place in the summary, counted once when it is
    // settled (at the latest when it goes): as decided, or FAILED once an
    // error line named it.
    class Tally final : public Subject
    {
    public:
        Tally(Impl &impl, const FileDecision &d, uint64_t size) : m_impl(impl), m_file(d), m_size(size) {}
        Tally(Impl &impl, const DirDecision &d) : m_impl(impl), m_dir(d), m_isDir(true) {}
        Tally(const Tally &) = delete;
        Tally &operator=(const Tally &) = delete;
        ~Tally() { settle(); }
        void markFailed() override { m_outcome = Outcome::Failed; }
        // The entry counts elsewhere (a folder that is walked counts itself
        // when finished), or not at all (a loop).
        void dismiss() { m_settled = true; }
        void settle()
        {
            if (std::exchange(m_settled, true))
                return;
            const std::lock_guard lock(m_impl.reportMutex);
            if (m_isDir)
                CountDir(m_impl.totals, m_dir, m_outcome);
            else
                CountFile(m_impl.totals, m_file, m_size, m_outcome);
        }

    private:
        Impl &m_impl;
        FileDecision m_file;
        DirDecision m_dir;
        uint64_t m_size = 0;
        bool m_isDir = false;
        bool m_settled = false;
        Outcome m_outcome = Outcome::AsDecided;
    };

    // The one way to an error line: it counts against what failed (a line
    // that tells of a retry to come counts nothing yet). why replaces the
    // system's message for the code.
    void error(Subject &failed, ErrorAction action, int code, const std::string &dir, const std::string &name,
               RetryState retry = RetryState::None, std::string why = {})
    {
        if (retry != RetryState::Waiting)
            failed.markFailed();
        Event e;
        e.kind = EventKind::Error;
        e.action = action;
        e.error = ShownErrorNumber(code);
        e.message = why.empty() ? FailureMessage(code) : std::move(why);
        e.dir = dir;
        e.name = name;
        e.retry = retry;
        e.waitSeconds = o.waitSeconds;
        e.timeNs = wallNs();
        emit(e);
    }
    // A name the destination cannot keep or tell apart: its ERROR line,
    // never retried (no retry changes a name).
    void nameError(Subject &failed, ErrorAction action, int code, const std::string &dir, const std::string &name,
                   std::string why)
    {
        error(failed, action, code, dir, name, RetryState::LimitExceeded, std::move(why));
    }
    // An error that ends the run before it began: the exit code's 16.
    void seriousError(ErrorAction action, int code, const std::string &path, std::string message = {})
    {
        totals.serious = true;
        Event e;
        e.kind = EventKind::Error;
        e.action = action;
        e.error = ShownErrorNumber(code);
        e.message = message.empty() ? FailureMessage(code) : std::move(message);
        e.dir = path;
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
    bool retried(Subject &subject, ErrorAction action, const std::string &path, Attempt attempt)
    {
        for (uint32_t n = 0;; ++n) {
            const int code = attempt();
            if (!code)
                return true;
            const bool last = n >= o.retries || countOnly;
            error(subject, action, code, path, std::string(), last ? RetryState::LimitExceeded : RetryState::Waiting);
            if (last)
                return false;
            std::this_thread::sleep_for(std::chrono::seconds(o.waitSeconds));
            waitingNs += int64_t(o.waitSeconds) * 1000000000;
        }
    }

    // ---------------------------------------------------------------- folders

    // Makes a folder of the destination now, with the folders above it that
    // /S left to be made on demand (from the top down, any depth). Under /L
    // only pretends. A folder that cannot be made is one error, counted
    // against it; the folders below it are not made either, without lines.
    bool ensureDestination(Folder &f)
    {
        if (f.dst || (listOnly && f.created))
            return true;
        if (f.failed)
            return false;
        std::vector<Folder *> chain; // f, then each folder above it still to be made
        for (Folder *a = &f; a && !a->dst && !(listOnly && a->created); a = a->parent.get()) {
            if (a->failed || !a->parent) {
                for (Folder *c : chain)
                    c->failed = true;
                f.failed = true;
                return false;
            }
            chain.push_back(a);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            Folder &c = **it;
            if (listOnly) {
                c.created = true;
                continue;
            }
            prepareDestination(*c.parent);
            const std::string path = dstPathOf(c);
            if (!retried(c, ErrorAction::CreatingDestinationDirectory, path, [&] {
                    return MakeFolder(c.parent->dst.get(), c.name, c.srcStat.st_mode, dp, c.dst).code;
                })) {
                for (auto below = it; below != chain.rend(); ++below)
                    (*below)->failed = true;
                return false;
            }
            IdentifyFolder(c.dst.get(), c.dstId);
            c.created = true;
            c.parent->touched = true;
            c.traits = c.parent->traits;
            // Made under the name the destination gives it (its content goes in): said once, counted failed.
            if (const DeviceTraits *t = c.traits; t && t->altersNames() && FateOfName(c.name, *t) == NameFate::Altered)
                nameError(c, ErrorAction::CreatingDestinationDirectory, EINVAL, path, std::string(),
                          NameFateMessage(c.name, *t));
        }
        return true;
    }

    // Gives up a hold on a folder; the last one finishes it, and the folders
    // above whose last hold that was, in turn (a loop, not a recursion).
    void release(FolderPtr f)
    {
        while (f && f->pending.fetch_sub(1) == 1) {
            finish(*f);
            f = f->parent;
        }
    }

    // A folder whose walk and jobs are all done: its properties (after the
    // last write inside, so its time stays), for /MOVE the source folder
    // itself when it is empty, and then its count.
    void finish(Folder &f)
    {
        const bool acts = !listOnly && !countOnly;
        if (acts && f.dst && !f.failed) {
            const std::string path = dstPathOf(f);
            // What the work inside took: the owner's write bit goes back first.
            if (f.madeWritable && ::fchmod(f.dst.get(), f.dstId.mode & 07777) < 0)
                error(f, ErrorAction::ChangingFileAttributes, errno, path, std::string());
            if (!o.dirCopyFlags) {
                // /NODCOPY: a made folder gets what a new folder gets, not the source's.
                if (f.created && ::fchmod(f.dst.get(), 0777 & ~dp.umask) < 0)
                    error(f, ErrorAction::ChangingFileAttributes, errno, path, std::string());
            } else {
                // A folder that was made, received or lost something, or whose
                // extended attributes or security are to be set again, gets its
                // properties; any other is only looked at.
                bool apply = f.created || f.touched || o.secFix || (o.dirCopyFlags & CopyFlag::ExtendedAttributes);
                if (!apply) {
                    struct stat now;
                    apply = ::fstat(f.dst.get(), &now) < 0 || FolderDiffers(f.srcStat, now, dp);
                }
                if (apply) {
                    if (const CopyFailure e = FinishFolder(f.src.get(), f.srcStat, f.dst.get(), f.created, dp, caps))
                        error(f, e.action, e.code, path, std::string());
                }
            }
        }
        if (acts && f.decision.deleteSource && !f.failed && !f.errored) {
            f.src.reset();
            const int r = f.parent ? guard.removeSourceFolder(f.parent->src.get(), f.name.c_str())
                                   : guard.removeSourceRoot(o.source.c_str());
            // A folder that still holds what was not moved stays, as it should.
            if (r && r != ENOTEMPTY && r != EEXIST && r != ENOTDIR && r != ENOENT)
                error(f, ErrorAction::DeletingSourceDirectory, r, srcPathOf(f), std::string());
        }
        Outcome outcome = Outcome::AsDecided;
        if (f.errored)
            outcome = Outcome::Failed;
        else if (f.failed || (f.onDemand && !f.created))
            outcome = Outcome::NotCreated;
        {
            const std::lock_guard lock(reportMutex);
            CountDir(totals, f.decision, outcome);
        }
        f.src.reset();
        f.dst.reset();
    }

    // What every write into the folder needs first: its device and whether
    // new files take their mode from the umask (no default ACL), so a file
    // created with its mode needs no chmod; and, in a folder of ours that is
    // read-only, the owner's write bit for the work inside (taken back when
    // the folder is finished), so that an earlier copy of a read-only source
    // folder never blocks a later run.
    void prepareDestination(Folder &f)
    {
        if (f.dstReady || !f.dst || listOnly || countOnly)
            return;
        f.dstReady = true;
        if (!f.created && f.dstId.uid == me && (f.dstId.mode & 0300) != 0300)
            f.madeWritable = ::fchmod(f.dst.get(), (f.dstId.mode & 07777) | 0300) == 0;
        f.dstDev = f.dstId.id.dev;
        if (!caps.has(f.dstDev, f.dstDev, DeviceCapabilities::Acls)) {
            f.dstDefaultAcl = false;
        } else {
            const ssize_t n = ::fgetxattr(f.dst.get(), "system.posix_acl_default", nullptr, 0);
            f.dstDefaultAcl = n > 0 || (n < 0 && errno != ENODATA && !IsNoXattrSupport(errno));
        }
    }

    // ---------------------------------------------------------------- files

    // /M: the source's Archive attribute reset after its copy; false (with
    // its error line) when it could not be.
    bool clearArchive(Subject &file, Folder &f, const FileJob &job, dev_t dev, const std::string &srcPath)
    {
        const XattrPlace place{-1, f.src.get(), job.name.c_str(), job.followLink};
        std::string previous;
        SysError err;
        const bool has = GetXattr(place, kDosAttribName, previous, err);
        bool unsupported = IsNoXattrSupport(err.code);
        if (err && !unsupported) {
            error(file, ErrorAction::ChangingFileAttributes, err.code, srcPath, job.name);
            return false;
        }
        if (!unsupported) {
            const uint32_t now = AttributesFrom(mode_t(S_IWUSR), false, has, previous);
            const SysError e = WriteAttributes(place, now & ~uint32_t(Attr::Archive), false, has, previous,
                                               unsupported);
            if (e) {
                error(file, ErrorAction::ChangingFileAttributes, e.code, srcPath, job.name);
                return false;
            }
        }
        if (unsupported) {
            {
                const std::lock_guard lock(reportMutex);
                if (std::find(notedArchive.begin(), notedArchive.end(), dev) != notedArchive.end())
                    return true;
                notedArchive.push_back(dev);
            }
            note("the file system of " + srcPath + " keeps no DOS attributes: /M cannot reset the Archive attribute there.");
        }
        return true;
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
            note("the destination keeps no such date: " + DisplayName(dstPathOf(f) + job.name) + " is dated "
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
        note("the file system of " + DisplayName(dstPathOf(f))
             + " keeps no read-only attribute: read-only files copied there can be written.");
    }

    // What the destination's file system keeps, learnt once per device
    // before the folder's names are paired: a folder not made yet is on its
    // parent's. The probe writes into the folder (through the guard), so a
    // read-only folder of ours gets its owner's write bit first, as for any
    // work inside; a listing writes nothing.
    void learnTraits(Folder &f)
    {
        if (f.parent)
            f.traits = f.parent->traits;
        if (!f.dst)
            return;
        const dev_t device = f.dstId.id.dev;
        if (!listOnly && !deviceTraits.knows(device))
            prepareDestination(f);
        f.traits = &deviceTraits.of(f.dst.get(), device, !listOnly, guard);
    }

    void copyFile(const FolderPtr &fp, const FileJob &job, const std::string &srcPath)
    {
        Folder &f = *fp;
        const bool progressShown = !mt && !o.noProgress && !countOnly;
        Tally file(*this, job.decision, job.src.size);
        for (uint32_t attempt = 0;; ++attempt) {
            if (beforeEachFile)
                beforeEachFile();
            if (!mt)
                fileEvent(job.decision, job.src, srcPath, job.name);
            CopyFailure failure;
            struct stat copied{};
            dev_t srcDev = 0;
            if (!listOnly && !countOnly) {
                const int64_t start = steadyNs();
                FileCopy copy{f.src.get(), job.name, job.followLink, f.dst.get(), job.name, guard};
                // The first attempt goes by what the listing saw; a retry looks again.
                if (attempt == 0 && job.mode && job.sameDevice) {
                    copy.listed = SourceStamp{true, job.mode, job.src.size, job.src.mtimeNs, job.src.atimeNs,
                                              f.srcStat.st_dev};
                }
                copy.dstDevKnown = f.dstReady;
                copy.dstDev = f.dstDev;
                copy.fresh = job.fresh;
                copy.noDefaultAcl = f.dstReady && !f.dstDefaultAcl;
                if (job.asLink) {
                    failure = CopyLink(copy, dp, copied);
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
                    copied = r.copied;
                    srcDev = r.source.st_dev;
                }
                copyingNs += steadyNs() - start;
            }
            if (!failure) {
                f.touched = true;
                if (mt)
                    fileEvent(job.decision, job.src, srcPath, job.name);
                if (!listOnly && !countOnly) {
                    if (job.nameAltered) {
                        // There, but not under its name: said once, counted failed, and the
                        // source stays (a move would lose the name). The next run takes
                        // the stored name for this one.
                        nameError(file, ErrorAction::CopyingFile, EINVAL, srcPath, job.name,
                                  NameFateMessage(job.name, *f.traits));
                        return;
                    }
                    noteWhatIsNotKept(f, job);
                    if (o.archiveReset && !clearArchive(file, f, job, srcDev, srcPath))
                        return;
                    if (job.decision.deleteSource) {
                        if (const int e = guard.removeSourceFile(f.src.get(), job.name.c_str(), copied,
                                                                 job.followLink, job.asLink))
                            error(file, ErrorAction::DeletingSourceFile, e, srcPath, job.name);
                    }
                }
                return;
            }
            const bool last = attempt >= o.retries;
            // Attributes, times and security failed on the copy: its path is the destination's.
            const bool onCopy = failure.action == ErrorAction::ChangingFileAttributes
                || failure.action == ErrorAction::SettingFileTimes || failure.action == ErrorAction::CopyingSecurity;
            error(file, failure.action, failure.code, onCopy ? dstPathOf(f) : srcPath, job.name,
                  last ? RetryState::LimitExceeded : RetryState::Waiting);
            if (last)
                return;
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
        bool blocked = false; // its name in the destination is still taken by what a purge could not remove
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

    bool isLoop(const Folder &parent, const struct stat &st) const
    {
        if (FileId{st.st_dev, st.st_ino} == destRoot)
            return true;
        for (const Folder *a = &parent; a; a = a->parent.get())
            if (a->srcStat.st_dev == st.st_dev && a->srcStat.st_ino == st.st_ino)
                return true;
        return false;
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
    bool relist(Folder &f, Listing &l, bool source, SysError e, const std::string &srcPath, const std::string &dstPath)
    {
        const int fd = source ? f.src.get() : f.dst.get();
        const bool follow = source && !o.symbolicLinks;
        dirEvent(f.decision.tag, 0, srcPath);
        if (retried(f, source ? ErrorAction::ScanningSourceDirectory : ErrorAction::ScanningDestinationDirectory,
                    source ? srcPath : dstPath, [&, first = e.code]() mutable {
                        return std::exchange(first, 0) ? e.code : l.read(fd, follow).code;
                    }))
            return true;
        f.failed = true;
        return false;
    }

    // Lists a folder, decides every name, and does what the decisions say
    // for its files (the extras first); returns its subfolders, to be walked
    // next.
    std::vector<SubFolder> visit(const FolderPtr &fp)
    {
        Folder &f = *fp;
        const std::string relDir = relDirOf(f);
        const std::string srcPath = srcRoot + relDir;
        const std::string dstPath = dstRoot + relDir;
        const bool acts = !listOnly && !countOnly;
        Listing src, dst;
        SysError srcError, dstError;
        listSides(f, src, dst, srcError, dstError);
        if (srcError && !relist(f, src, true, srcError, srcPath, dstPath))
            return {};
        if (f.dst && dstError && !relist(f, dst, false, dstError, srcPath, dstPath))
            return {};

        const bool follow = !o.symbolicLinks;
        const bool srcAttributes = classifier.needsAttributes(Side::Source);
        const bool dstAttributes = classifier.needsAttributes(Side::Destination);
        learnTraits(f);
        static const DeviceTraits unknownDevice;
        const DeviceTraits &traits = f.traits ? *f.traits : unknownDevice;
        std::vector<std::string> staleTemps;
        // The destination's names of the user: our own temporary files are
        // not (never compared, never extras; stale ones go, a /Z copy's
        // partial file stays while its source is the same), but only what
        // its mark proves ours: a file of the user's of that name is the
        // user's. Nor is the twin of a source entry stat could not look at
        // (an error line below says why).
        std::vector<uint32_t> shown;
        shown.reserve(dst.size());
        for (uint32_t j = 0; j < dst.size(); ++j) {
            if (dst[j].kind == NodeKind::File && !dst[j].isLink && IsTempName(dst.name(j))
                && IsOurTemporary(f.dst.get(), dst.cName(j)))
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
                        n.mtimeNs = NsOf(st.st_mtim);
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
            if (it.src != kNone && it.dst != kNone && classifier.splitsMismatch(se, de, name, relDir, f.depth + 1)) {
                // A file facing a folder under a purge: two names, as Robocopy
                // lists files and folders apart. The destination's is an extra,
                // reported and purged as one; then the source's is lonely.
                Item extra;
                extra.dst = it.dst;
                decide(extra, Entry{}, de, dst.name(it.dst), relDir, f.depth, traits);
                items.push_back(extra);
                it.dst = kNone;
                de = Entry{};
            }
            decide(it, se, de, name, relDir, f.depth, traits);
            items.push_back(it);
        }

        // The folder's line: how many of its files the file names select.
        int64_t count = 0;
        for (const Item &it : items)
            if (!it.asDir && it.file.listed && it.file.cls != FileClass::Extra)
                ++count;
        dirEvent(f.decision.tag, count, srcPath);
        // A folder /E makes whatever it holds is made now; one that cannot be
        // is its error line, and nothing inside it is done.
        if (f.onDemand && !f.decision.createOnDemand && !ensureDestination(f))
            return {};
        for (const auto &[name, code] : src.unseen()) {
            FileDecision unseen;
            unseen.action = Action::Copy;
            Tally entry(*this, unseen, 0);
            error(entry, ErrorAction::ScanningSourceDirectory, code, srcPath, name, RetryState::LimitExceeded);
        }
        if (traits.altersNames())
            refuseUnkeptNames(srcPath, dstPath, src, items, traits);

        if (acts && !staleTemps.empty()) {
            // A /Z copy's partial file stays for the copy that resumes it.
            std::vector<std::string> resumable;
            if (o.restartable) {
                for (const Item &it : items)
                    if (it.src != kNone && !it.asDir && src[it.src].kind == NodeKind::File
                        && it.file.action == Action::Copy)
                        resumable.push_back(TempName(src.name(it.src), src[it.src].size, src[it.src].mtimeNs));
                std::sort(resumable.begin(), resumable.end());
            }
            for (const std::string &temp : staleTemps) {
                if (std::binary_search(resumable.begin(), resumable.end(), temp))
                    continue;
                prepareDestination(f);
                const int e = guard.removeTemporary(f.dst.get(), temp.c_str());
                if (e && e != ENOENT) {
                    FileDecision ours;
                    ours.cls = FileClass::Extra;
                    ours.action = Action::Purge;
                    Tally entry(*this, ours, 0);
                    error(entry, ErrorAction::DeletingExtraFile, e, dstPath, temp);
                }
            }
        }

        // Extras first, as they are found in the destination. A name a purge
        // could not free is remembered: the source's entry of that name then
        // fails once, without retries.
        std::vector<std::string> blocked;
        for (const Item &it : items) {
            if (it.asDir || !it.file.listed || it.file.cls != FileClass::Extra)
                continue;
            const Entry de = entryAt(dst, it.dst);
            const std::string name(dst.name(it.dst));
            fileEvent(it.file, de, dstPath, name);
            Tally entry(*this, it.file, de.size);
            if (it.file.action == Action::Purge && acts) {
                prepareDestination(f);
                if (const int e = guard.removeExtraFile(f.dst.get(), name.c_str())) {
                    error(entry, ErrorAction::DeletingExtraFile, e, dstPath, name);
                    blocked.push_back(name);
                } else {
                    f.touched = true;
                }
            }
        }
        for (const Item &it : items) {
            if (!it.asDir || !it.dir.listed || it.dir.cls != DirClass::Extra)
                continue;
            const std::string name(dst.name(it.dst));
            const std::string path = dstPath + name + '/';
            dirEvent(it.dir.tag, -1, path);
            Tally entry(*this, it.dir);
            if (it.dir.action == DirAction::Purge && acts) {
                prepareDestination(f);
                const bool gone = guard.removeTree(
                    f.dst.get(), name,
                    [&](const std::string &rel, bool, int code) {
                        error(entry, ErrorAction::DeletingExtraDirectory, code, path, rel);
                    },
                    keepNamed(relDir + name + '/', path));
                if (!gone)
                    blocked.push_back(name);
                f.touched = true;
            }
        }
        std::sort(blocked.begin(), blocked.end());
        const auto isBlocked = [&](std::string_view name) {
            return std::binary_search(blocked.begin(), blocked.end(), name,
                                      [](std::string_view a, std::string_view b) { return a < b; });
        };

        // The source's files. The workers take them in batches of the
        // folder's files (a few per worker, fewer bytes than kBatchBytes):
        // one hand-over per batch rather than per file.
        std::vector<FileJob> batch;
        uint64_t batchBytes = 0;
        size_t batchFiles = 1;
        if (pool) {
            size_t copies = 0;
            for (const Item &it : items)
                copies += !it.asDir && it.file.action == Action::Copy;
            batchFiles = std::clamp<size_t>(copies / (size_t(o.threads) * 4), 1, kBatchFiles);
        }
        const auto postBatch = [&] {
            if (batch.empty())
                return;
            fp->pending += 1;
            pool->post([this, fp, srcPath, jobs = std::move(batch)] {
                for (const FileJob &job : jobs)
                    copyFile(fp, job, srcPath);
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
                fileEvent(d, se, srcPath, std::string(src.name(it.src)));
                Tally entry(*this, d, se.size);
                if (acts && f.dst && it.dst != kNone)
                    fixSkipped(entry, f, d, se, dst[it.dst], std::string(src.name(it.src)), n, dstPath);
                continue;
            }
            FileJob job;
            job.name = src.name(it.src);
            job.src = se;
            job.decision = d;
            job.asLink = se.isLink && (o.symbolicLinks || classifier.copiesLinkAsLink(se));
            job.followLink = se.isLink && !job.asLink;
            job.fresh = it.dst == kNone;
            job.mode = n.kind == NodeKind::File ? n.mode : 0;
            job.sameDevice = !n.otherDevice;
            job.nameAltered = traits.altersNames() && FateOfName(job.name, traits) == NameFate::Altered;
            if (!job.asLink && n.kind != NodeKind::File) {
                // A dangling link has nothing to copy (the line says why: no
                // target, a loop of links); a FIFO, socket or device is
                // nothing Robocopy knows: said, and left.
                if (n.kind == NodeKind::Dangling) {
                    fileEvent(d, se, srcPath, job.name);
                    Tally entry(*this, d, se.size);
                    error(entry, ErrorAction::CopyingFile, n.linkError ? n.linkError : ENOENT, srcPath, job.name,
                          RetryState::LimitExceeded);
                } else {
                    note("not a file or folder, not copied: " + srcPath + job.name);
                }
                continue;
            }
            if (!ensureDestination(f))
                break; // its error line is the folder's; nothing of it is copied
            if (isBlocked(job.name)) {
                fileEvent(d, se, srcPath, job.name);
                Tally entry(*this, d, se.size);
                error(entry, ErrorAction::CopyingFile, EEXIST, srcPath, job.name, RetryState::LimitExceeded);
                continue;
            }
            prepareDestination(f);
            if (pool && acts) {
                batchBytes += job.src.size;
                batch.push_back(std::move(job));
                if (batch.size() >= batchFiles || batchBytes >= kBatchBytes)
                    postBatch();
            } else {
                copyFile(fp, job, srcPath);
            }
        }
        postBatch();
        if (f.failed)
            return {};

        // The subfolders, each walked before the next; the listings of this
        // folder are given back first, so a deep tree holds only the names
        // of the folders on the way down.
        std::vector<SubFolder> subfolders;
        for (const Item &it : items)
            if (it.asDir && it.src != kNone) {
                const std::string name(src.name(it.src));
                subfolders.push_back(SubFolder{name, it.dir, src[it.src].isLink, isBlocked(name)});
            }
        return subfolders;
    }

    // The source names that the destination would take for another of the
    // folder's, or that it refuses: each said and counted failed, and left
    // out of the copy and the walk. Only names that would be written:
    // one filtered out stays as it was decided.
    void refuseUnkeptNames(const std::string &srcPath, const std::string &dstPath, const Listing &src,
                           std::vector<Item> &items, const DeviceTraits &traits)
    {
        for (Item &it : items) {
            if (it.src == kNone)
                continue;
            const bool writes = it.asDir ? it.dir.action == DirAction::Create
                                         : it.file.listed && it.file.action == Action::Copy;
            if (!writes)
                continue;
            const std::string name(src.name(it.src));
            std::string why;
            int code = EINVAL;
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
                Tally entry(*this, it.dir);
                nameError(entry, ErrorAction::CreatingDestinationDirectory, code, dstPath + name + '/', std::string(),
                          why);
                it.dir.action = DirAction::Skip;
                it.dir.listed = false;
            } else {
                const Entry se = entryAt(src, it.src);
                fileEvent(it.file, se, srcPath, name);
                Tally entry(*this, it.file, se.size);
                nameError(entry, ErrorAction::CopyingFile, code, srcPath, name, why);
                it.file.listed = false;
            }
        }
    }

    // The decision about one name (of one side or both).
    void decide(Item &it, const Entry &se, const Entry &de, std::string_view name, const std::string &relDir,
                uint32_t depth, const DeviceTraits &traits)
    {
        it.asDir = classifier.decidesAsDirectory(se, de);
        if (it.asDir)
            it.dir = classifier.dir(se, de, name, relDir, depth + 1);
        else
            it.file = classifier.file(se, de, name, relDir, &traits);
    }

    // A skipped file that is on both sides: /TIMFIX gives it the source's
    // times when they differ at all (even within /FFT's two seconds), /SECFIX
    // its security. A failure counts against the file.
    void fixSkipped(Subject &entry, Folder &f, const FileDecision &d, const Entry &se, const Node &de,
                    const std::string &name, const Node &sn, const std::string &dstPath)
    {
        if (d.fixTimes && se.mtimeNs != de.mtimeNs) {
            if (const CopyFailure e = FixTimes(f.dst.get(), name, se.atimeNs, se.mtimeNs))
                error(entry, e.action, e.code, dstPath, name);
        }
        if (o.secFix && sn.kind == NodeKind::File && !(sn.isLink && o.symbolicLinks) && de.kind == NodeKind::File
            && !de.isLink) {
            if (const CopyFailure e = FixSecurity(f.src.get(), name, sn.isLink, f.dst.get(), name, dp, caps))
                error(entry, e.action, e.code, dstPath, name);
        }
    }

    // Opens a subfolder on both sides (making the destination's, unless /S
    // leaves that to the first copy into it); null when it is not walked:
    // excluded, reported, a loop, or a failure (said, and counted).
    FolderPtr enter(const FolderPtr &fp, const SubFolder &sub)
    {
        Folder &f = *fp;
        const DirDecision &d = sub.decision;
        const std::string relDir = relDirOf(f) + sub.name + '/';
        const std::string srcPath = srcRoot + relDir;
        const std::string dstPath = dstRoot + relDir;
        if (d.action == DirAction::Skip || d.action == DirAction::Report) {
            if (d.listed) {
                dirEvent(d.tag, -1, srcPath);
                Tally entry(*this, d);
            }
            return nullptr;
        }
        Tally entry(*this, d); // until the folder counts for itself
        auto child = std::make_shared<Folder>();
        child->parent = fp;
        child->name = sub.name;
        child->decision = d;
        child->depth = f.depth + 1;
        SysError err;
        const auto openSource = [&] {
            child->src = OpenFolder(f.src.get(), sub.name, sub.isLink, err);
            if (child->src && ::fstat(child->src.get(), &child->srcStat) < 0)
                err.code = errno;
            return child->src && !err.code ? 0 : err.code;
        };
        if (openSource()) {
            dirEvent(d.tag, 0, srcPath);
            if (!retried(entry, ErrorAction::ScanningSourceDirectory, srcPath, [&, first = true]() mutable {
                    return std::exchange(first, false) ? err.code : openSource();
                }))
                return nullptr;
        }
        if (isLoop(f, child->srcStat)) {
            // A link or bind mount back to a folder being walked (or
            // to the destination inside the source) is walked once.
            note("a loop back to a folder already walked, not walked again: " + srcPath);
            entry.dismiss();
            return nullptr;
        }
        guard.protectSourceFolder(FileId{child->srcStat.st_dev, child->srcStat.st_ino});
        if (sub.blocked && !listOnly) {
            dirEvent(d.tag, 0, srcPath);
            error(entry, ErrorAction::CreatingDestinationDirectory, EEXIST, dstPath, std::string(),
                  RetryState::LimitExceeded);
            return nullptr;
        }
        if (d.action == DirAction::Enter) {
            const auto openDestination = [&] {
                child->dst = OpenFolder(f.dst.get(), sub.name, false, err);
                if (!child->dst)
                    return err.code;
                if (const SysError e = IdentifyFolder(child->dst.get(), child->dstId)) {
                    child->dst.reset();
                    return e.code;
                }
                return 0;
            };
            if (const int first = f.dst ? openDestination() : 0) {
                dirEvent(d.tag, 0, srcPath);
                if (!retried(entry, ErrorAction::AccessingDestinationDirectory, dstPath, [&, code = first]() mutable {
                        return std::exchange(code, 0) ? first : openDestination();
                    }))
                    return nullptr;
            }
            if (child->dst) {
                // Never into the source, nor across into another file system.
                if (const int refused = guard.checkDestinationFolder(child->dstId)) {
                    dirEvent(d.tag, 0, srcPath);
                    error(entry, ErrorAction::AccessingDestinationDirectory, refused, dstPath, std::string());
                    return nullptr;
                }
            }
        } else {
            child->onDemand = true; // made by its walk (/E) or by the first copy into it (/S)
        }
        entry.dismiss();
        fp->pending += 1;
        return child;
    }

    // The walk, one folder at a time, on a stack of its own: a tree of any
    // depth, with the names of the folders on the way down.
    void walkTree(const FolderPtr &root)
    {
        struct Frame
        {
            FolderPtr folder;
            std::vector<SubFolder> subfolders;
            size_t next = 0;
        };
        std::vector<Frame> stack;
        stack.push_back(Frame{root, visit(root)});
        while (!stack.empty()) {
            Frame &top = stack.back();
            if (top.next == top.subfolders.size()) {
                FolderPtr done = std::move(top.folder);
                stack.pop_back();
                release(std::move(done)); // the walk's own hold
                continue;
            }
            const SubFolder sub = std::move(top.subfolders[top.next++]);
            if (FolderPtr child = enter(top.folder, sub)) {
                std::vector<SubFolder> below = visit(child);
                stack.push_back(Frame{std::move(child), std::move(below)});
            }
        }
    }

    // ---------------------------------------------------------------- the run

    // The folders above a folder, up to the file system's root.
    static bool holdsFolder(int dirFd, const FileId &inside)
    {
        Fd at(::openat(dirFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int depth = 0; at && depth < 4096; ++depth) {
            FileId id;
            if (IdOf(at.get(), id))
                return false;
            if (id == inside)
                return true;
            Fd up(::openat(at.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            FileId upId;
            if (!up || IdOf(up.get(), upId) || upId == id)
                return false;
            at = std::move(up);
        }
        return false;
    }

    Totals run()
    {
        const int64_t start = steadyNs();
        // A silent pass is a listing that tells nobody.
        listOnly = o.listOnly || countOnly;
        totals = Totals{};
        // What a destination keeps is learnt anew by each run (a listing learns less).
        deviceTraits = DeviceTraitsCache{};
        notedReadOnly.clear();
        srcRoot = withSlash(o.source);
        dstRoot = withSlash(o.destination);
        auto root = std::make_shared<Folder>();
        root->isRoot = true;
        // The roots are named by the user: links to them are followed.
        root->src.reset(::open(o.source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!root->src || ::fstat(root->src.get(), &root->srcStat) < 0) {
            seriousError(ErrorAction::AccessingSourceDirectory, errno, srcRoot);
            return totals;
        }
        Entry srcEntry;
        srcEntry.kind = EntryKind::Directory;
        Entry dstEntry;
        struct stat dstStat;
        if (::stat(o.destination.c_str(), &dstStat) == 0)
            dstEntry.kind = S_ISDIR(dstStat.st_mode) ? EntryKind::Directory : EntryKind::File;
        else if (errno != ENOENT && errno != ENOTDIR) { // missing (or under a file): to be made
            seriousError(ErrorAction::AccessingDestinationDirectory, errno, dstRoot);
            return totals;
        }
        if (dstEntry.kind == EntryKind::File) {
            seriousError(ErrorAction::AccessingDestinationDirectory, ENOTDIR, dstRoot);
            return totals;
        }
        root->decision = classifier.root(srcEntry, dstEntry);
        // /MOVE takes the source folder itself too, once it is empty.
        root->decision.deleteSource = o.moveDirs;
        if (root->decision.action == DirAction::Create && !listOnly) {
            // The whole path, as Robocopy makes it.
            std::string path;
            for (size_t at = 0; at != std::string::npos;) {
                const size_t slash = o.destination.find('/', at + 1);
                path = o.destination.substr(0, slash);
                if (!path.empty() && ::mkdir(path.c_str(), 0777) < 0 && errno != EEXIST) {
                    seriousError(ErrorAction::CreatingDestinationDirectory, errno, withSlash(path));
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
                seriousError(ErrorAction::AccessingDestinationDirectory, errno, dstRoot);
                return totals;
            }
        }

        // What the run never destroys: the source and the folders above it,
        // the log files; purges stay on the destination's device.
        guard.protectSource(root->src.get());
        for (const int fd : protectedFiles)
            guard.protectFile(fd);
        if (root->dst) {
            if (const SysError e = IdentifyFolder(root->dst.get(), root->dstId)) {
                seriousError(ErrorAction::AccessingDestinationDirectory, e.code, dstRoot);
                return totals;
            }
            destRoot = root->dstId.id;
            guard.setDestinationDevice(destRoot.dev);
            const FileId sourceRoot{root->srcStat.st_dev, root->srcStat.st_ino};
            if (destRoot == sourceRoot) {
                seriousError(ErrorAction::AccessingDestinationDirectory, EINVAL, dstRoot,
                             o.moveFiles ? "The destination is the source folder itself: a move would delete what it copies."
                                         : "The destination is the source folder itself: nothing to copy.");
                return totals;
            }
            if (holdsFolder(root->src.get(), destRoot))
                note("the source lies inside the destination: nothing of it, nor a folder that holds it, is deleted, "
                     "and nothing is copied into it.");
            else if (holdsFolder(root->dst.get(), sourceRoot))
                note("the destination lies inside the source: it is not copied into itself.");
        }
        // A lease broken by another opener signals SIGIO, whose default ends
        // the process: a move takes leases, and gives them up at once.
        if (o.moveFiles && !listOnly) {
            struct sigaction now{};
            if (::sigaction(SIGIO, nullptr, &now) == 0 && now.sa_handler == SIG_DFL)
                std::signal(SIGIO, SIG_IGN);
        }

        if (mt && !listOnly) {
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
        walkTree(root);
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

void Engine::protectFile(int fd) { m_impl->protectedFiles.push_back(fd); }

Totals Engine::run()
{
    m_impl->countOnly = m_countOnly;
    m_impl->beforeEachFile = m_beforeEachFile;
    m_impl->copyingNs = 0;
    m_impl->waitingNs = 0;
    return m_impl->run();
}

} // namespace copy
