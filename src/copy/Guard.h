#pragma once

#include "copy/Fd.h"

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

// The one gate for everything that destroys. Every unlink, rmdir and rename
// over a name that corvane-copy makes goes through here and nowhere else (a
// test looks for such calls in the other files of src/copy), so that a new
// way to delete cannot forget a check the others make.
//
// The guard knows what must never be destroyed by device and inode: the
// source root and every source folder the walk enters (never deleted, never
// written into), the folders above the source root and above the log files
// (never deleted), the log files (never deleted or replaced); and the device
// of the destination root, where a purge stays. It refuses to cross into
// another mounted file system, and it never follows a symbolic link: every
// call works on a name in a folder held open. A refusal comes back as one of
// the codes below, which the engine reports as an error line, counted FAILED.
namespace copy {

// Refusals and doubts, not errnos; FailureMessage() words them.
constexpr int kInUse = -2;       // ERROR 32: open elsewhere, changed since it was copied, or the run's own log
constexpr int kHoldsSource = -3; // the source, a folder of it, or a folder that holds it
constexpr int kOtherMount = -4;  // another file system is mounted here

// A folder as statx saw it.
struct FolderId
{
    FileId id;
    mode_t mode = 0;
    uid_t uid = 0;
    bool mountRoot = false; // a mount point: another file system, or a bind mount
};
SysError IdentifyFolder(int fd, FolderId &folder);

// What a tree removal says about what it could not delete (the path below the
// tree's folder, ending in '/' for a folder), and which folders it keeps
// (given their path below it, ending in '/'; the folders above one stay too).
using RemoveFailure = std::function<void(const std::string &relPath, bool isDir, int code)>;
using RemoveKeep = std::function<bool(const std::string &relPath)>;

class Guard
{
public:
    // What a run protects, set before it starts (not thread-safe). A guard
    // with nothing set protects nothing but refuses links and mount points.
    void setDestinationDevice(dev_t device);
    // The source root: it is never written into nor deleted, and the folders
    // above it are never deleted.
    void protectSource(int rootFd);
    // A log file: never deleted or replaced, nor a folder above it.
    void protectFile(int fd);

    // A source folder the walk enters (any thread).
    void protectSourceFolder(const FileId &id);
    // Whether the walk may work in a destination folder below the root: 0,
    // kHoldsSource for a source folder, kOtherMount for a mount point or
    // another device.
    int checkDestinationFolder(const FolderId &folder) const;

    // The destroying calls. Each returns 0, an errno or a refusal.

    // An extra file (or link, or anything not a folder) of the destination.
    int removeExtraFile(int dirFd, const char *name) const;
    // An extra folder and everything in it, iteratively (any depth). A
    // refused entry stays, with the folders above it, and is reported.
    // Returns true when the folder is gone.
    bool removeTree(int parentFd, const std::string &name, const RemoveFailure &onFailure,
                    const RemoveKeep &keep = {}) const;
    // A finished copy renamed over the final name.
    int replace(int dirFd, const char *from, const char *to) const;
    // A temporary file of an earlier run: deleted only when its mark proves
    // it is ours (IsOurTemporary). Returns 0 when gone, ENOENT when missing,
    // EEXIST when the name holds something that is not ours.
    int removeTemporary(int dirFd, const char *name) const;
    // What this run made under a name (known by its identity): a copy's
    // file after a failure, the device probe's files. A name that holds
    // anything else by now is left alone.
    int discard(int dirFd, const char *name, const FileId &made) const;
    // A source file that /MOV or /MOVE copied: only while the name still
    // points to the very file copied (same inode, size, modification and
    // change times) and nobody else has it open (a write lease, held across
    // the check and the unlink). The name is first moved aside under a name
    // of ours, checked there, and put back on any doubt (kInUse).
    // followLink: the name is a link whose target was copied; asLink: the
    // link itself was copied (copied is then its own lstat).
    int removeSourceFile(int dirFd, const char *name, const struct stat &copied, bool followLink, bool asLink) const;
    // An emptied source folder of /MOVE (a folder that still holds something stays).
    int removeSourceFolder(int parentFd, const char *name) const;
    int removeSourceRoot(const char *path) const;

    // Writes a file whole or not at all: a temporary name beside it, then a
    // rename over it (the /SAVE: job file).
    static int WriteWholeFile(const std::string &path, std::string_view text);

private:
    struct IdHash
    {
        size_t operator()(const FileId &id) const { return std::hash<uint64_t>()(uint64_t(id.ino) * 31 + uint64_t(id.dev)); }
    };
    bool isSourceFolder(const FileId &id) const;
    bool holdsSomething(const FileId &id) const;
    bool isProtectedFile(const FileId &id) const;
    int checkRemovableFolder(const FolderId &folder) const;
    bool foreignDevice(dev_t dev) const { return m_deviceKnown && dev != m_device; }

    dev_t m_device = 0;
    bool m_deviceKnown = false;
    std::vector<FileId> m_files;   // the log files
    std::vector<FileId> m_holders; // folders above the source root and the log files
    mutable std::mutex m_mutex;
    std::unordered_set<FileId, IdHash> m_sourceFolders;
};

// Temporary files are proved ours by a mark written when they are made: the
// extended attribute kTemporaryMark holding the file's own inode number and
// name. A copy of such a file elsewhere (another inode) or under another name
// is not ours; nor is anything on a file system without user extended
// attributes, where temporary files cannot be marked.
constexpr const char *kTemporaryMark = "user.corvane.temporary";
// The prefix of every extended attribute of ours: never copied as a stream.
constexpr std::string_view kOwnXattrPrefix = "user.corvane.";
SysError MarkTemporary(int fd, ino_t ino, std::string_view name);
SysError UnmarkTemporary(int fd);
bool IsOurTemporary(int dirFd, const char *name);

} // namespace copy
