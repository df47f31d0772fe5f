#pragma once

#include "copy/CopyTypes.h"
#include "copy/Fd.h"
#include "copy/Guard.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

// Copying one file, symbolic link or folder's properties, on descriptors.
// A file is written under a temporary name in its target folder and renamed
// over the final name only when complete, with its properties set, so a run
// killed at any moment never leaves a short file under a real name. Every
// rename over a name and every removal goes through the Guard.
namespace copy {

// What to carry over, from /COPY: and /DCOPY: (D A T S O, X).
struct CopyFlags
{
    bool data = true;       // D: the content, and user extended attributes as its streams
    bool attributes = true; // A: R (owner's write bit) and the letters of user.DOSATTRIB
    bool times = true;      // T: modification and access times
    bool security = false;  // S: the whole mode, POSIX ACLs (access and default), as root security.* attributes
    bool owner = false;     // O: owner and group, where allowed
    bool noStreams = false; // X: no user extended attributes
    bool extended = false;  // E of /DCOPY: a folder's user extended attributes
};

struct DataPathSettings
{
    CopyFlags file;
    CopyFlags folder{true, true, false, false, false, false, false};
    uint32_t attribAdd = 0;    // /A+:
    uint32_t attribRemove = 0; // /A-:
    bool restartable = false;  // /Z /ZB: keep a partial copy and resume it
    bool unbuffered = false;   // /J: O_DIRECT
    unsigned gapMs = 0;        // /IPG:n, a pause after each 64 KiB
    bool userSpace = false;    // /NOOFFLOAD: no copy_file_range, no clone
    bool noClone = false;      // /NOCLONE: no clone, nor copy_file_range (which may clone)
    uint64_t ioMaxSize = 0;    // /IOMAXSIZE: largest single read or write, 0 for ours
    uint64_t ioRate = 0;       // /IORATE: bytes per second, 0 for no limit
    uint64_t ioThreshold = 0;  // /THRESHOLD: smaller files are not throttled
    bool sparse = false;       // /SPARSE: holes stay holes
    bool durable = false;      // fsync file and folder before the source may go (/MOV /MOVE)
    bool createOnly = false;   // /CREATE: zero-length files
    mode_t umask = 022;        // what a new file or folder loses of its mode without S
    bool privileged = false;   // root: security.* extended attributes travel with S
};

// What each file system can do, learned once per device (or pair of
// devices) from the first refusal, so no file pays for a probe that cannot
// succeed. Shared by all workers.
class DeviceCapabilities
{
public:
    enum Feature : uint8_t {
        Clone = 1,          // FICLONE (same device)
        CopyRange = 2,      // copy_file_range (pair)
        DirectIo = 4,       // O_DIRECT (device)
        UserXattrs = 8,     // user.* extended attributes (device)
        Acls = 16,          // system.posix_acl_* (device)
        UnnamedFile = 32,   // O_TMPFILE, and linking such a file by its descriptor (device)
    };
    bool has(dev_t from, dev_t to, Feature f) const;
    // Records a refusal; returns true the first time (for a one-time note).
    bool refuse(dev_t from, dev_t to, Feature f);

private:
    struct Row
    {
        dev_t from;
        dev_t to;
        uint8_t refused;
    };
    mutable std::mutex m_mutex;
    std::vector<Row> m_rows;
};

// A failure: the system's errno (or kSourceChanged) and the step it failed in.
struct CopyFailure
{
    int code = 0;
    ErrorAction action = ErrorAction::CopyingFile;
    explicit operator bool() const { return code != 0; }
};

// Not an errno: the source's size or time differed after the copy.
constexpr int kSourceChanged = -1;
// The message of an error code (an errno, kSourceChanged or a refusal of the
// Guard), and the number its error line shows.
std::string FailureMessage(int code);
int ShownErrorNumber(int code);

// The temporary names: ".corvane-" hash of the final name, the source's size
// and modification time (hex), a variant number (hex) when not the first,
// ".tmp". Never longer than 66 bytes, so any final name has one. A name of
// this shape in a destination listing is ours only when its mark says so
// (IsOurTemporary): then it is hidden from the comparison and removed when
// stale; anything else of that name is the user's.
std::string TempName(std::string_view finalName, uint64_t size, int64_t mtimeNs, unsigned variant = 0);
bool IsTempName(std::string_view name);
// The part of a temporary name that depends on the final name alone.
std::string TempPrefix(std::string_view finalName);

// Reports bytes done (of the total) while a file is copied; returns false
// to stop (never used today, kept so a stop ends a copy cleanly).
using Progress = std::function<void(uint64_t done, uint64_t total)>;

// The source as the listing saw it. When the engine passes it, the copy
// does not stat the source again before it starts: the check after the copy
// compares against these, which were taken earlier still.
struct SourceStamp
{
    bool known = false;
    mode_t mode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t atimeNs = 0;
    dev_t dev = 0;
};

struct FileCopy
{
    FileCopy(int sourceDir, std::string sourceName, bool follow, int destinationDir, std::string destinationName,
             const Guard &runGuard)
        : srcDir(sourceDir), srcName(std::move(sourceName)), followLink(follow), dstDir(destinationDir),
          dstName(std::move(destinationName)), guard(runGuard)
    {
    }
    int srcDir = -1;
    std::string srcName;
    bool followLink = false; // the source entry is a symbolic link to be copied as its target
    int dstDir = -1;
    std::string dstName;
    const Guard &guard;
    // What the engine knows already, so that no file pays for asking again
    // (each optional):
    SourceStamp listed;
    bool dstDevKnown = false;
    dev_t dstDev = 0;             // the device of dstDir
    bool fresh = false;           // nothing stood under dstName: the copy may be linked into place
    bool noDefaultAcl = false;    // dstDir has no default ACL: creation takes the umask off the mode
};

struct FileCopyResult
{
    CopyFailure failure;
    uint64_t bytes = 0;   // size of the copied file
    uint64_t resumedAt = 0;
    struct stat source{}; // as it was when the copy began
    struct stat copied{}; // as it was when the copy ended: what a move may delete (inode, times)
};

// Copies one regular file (or, with createOnly, makes its zero-length
// twin). The source is checked to be unchanged after the copy, and the
// result put in place last: a new file is written as an unnamed file
// (O_TMPFILE) and linked under its name, where the device can; otherwise,
// and over an existing file, it is written under its temporary name and
// renamed over the final one.
FileCopyResult CopyFile(const FileCopy &job, const DataPathSettings &settings, DeviceCapabilities &caps,
                        const Progress &progress);

// Copies a symbolic link as a link (/SL), under a temporary name renamed
// into place; copied gets the link's own lstat.
CopyFailure CopyLink(const FileCopy &job, const DataPathSettings &settings, struct stat &copied);

// Makes a folder and opens it: with S private (0700) until FinishFolder
// gives it its mode; without, with the source's permissions and the owner's
// as a new folder gets them (umask, default ACL). EEXIST is not a failure
// when a folder stands there already.
CopyFailure MakeFolder(int parentFd, const std::string &name, mode_t sourceMode, const DataPathSettings &settings,
                       Fd &opened);

// Gives a folder the properties of its source, after its content is done:
// the R attribute and the letters (A), times (T), extended attributes with
// names the source no longer has taken away (E), and with the file flags S
// and O its mode, ACLs and owner. created: made by this run (the whole
// mode); an existing folder keeps its mode but for R, unless S.
CopyFailure FinishFolder(int srcFd, const struct stat &srcStat, int dstFd, bool created,
                         const DataPathSettings &settings, DeviceCapabilities &caps);

// Whether an existing folder differs from its source in what FinishFolder
// sets, for a folder the run did not touch otherwise.
bool FolderDiffers(const struct stat &srcStat, const struct stat &dstStat, const DataPathSettings &settings);

// Sets the destination's times to the source's (/TIMFIX on skipped files).
CopyFailure FixTimes(int dstDir, const std::string &name, int64_t atimeNs, int64_t mtimeNs);

// Sets a skipped file's security to its source's (/SECFIX): what S and O carry.
CopyFailure FixSecurity(int srcDir, const std::string &srcName, bool followLink, int dstDir, const std::string &dstName,
                        const DataPathSettings &settings, DeviceCapabilities &caps);

// Flushes a folder's entries to disk (after a rename, before a source is deleted).
CopyFailure SyncFolder(int dirFd);

} // namespace copy
