#pragma once

#include "copy/Fd.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

// Listing folders on their descriptors: one getdents pass and one fstatat
// per entry, nothing opened. Names are bytes, kept exactly as the file
// system gave them.
namespace copy {

enum class NodeKind : uint8_t { File, Directory, Other, Dangling };

struct Node
{
    std::string name;
    NodeKind kind = NodeKind::Other; // of the target, for a symbolic link
    bool isLink = false;
    bool mountRoot = false;          // a folder where another file system (or a bind mount) begins
    mode_t mode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t atimeNs = 0;
    int64_t ctimeNs = 0;
    dev_t dev = 0;
    ino_t ino = 0;
};

// Lists the folder open on fd (from its start), sorted by name bytes. A
// symbolic link is stat'ed twice: for its own times (followLinks false) or
// its target's (true); kind is always its target's, Dangling when there is
// none. Entries that vanish between listing and stat are left out.
// Returns the errno of a listing that failed.
SysError ListFolder(int fd, bool followLinks, std::vector<Node> &out);

// Opens a subfolder without following a symbolic link (unless asked).
Fd OpenFolder(int parentFd, const std::string &name, bool followLink, SysError &err);

// Deletes a folder and everything in it, working on descriptors only: a
// symbolic link inside is removed, never followed; a mount point (another
// file system or a bind mount) is never entered. Each failure is reported
// with the path below the folder and the step, and the rest goes on.
// Returns true when the folder itself is gone.
using RemoveFailure = std::function<void(const std::string &relPath, bool isDir, int code)>;
bool RemoveTree(int parentFd, const std::string &name, const RemoveFailure &onFailure);

// The (device, inode) of a descriptor's file.
struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId &) const = default;
};
SysError IdOf(int fd, FileId &id);

} // namespace copy
