#pragma once

#include "copy/Fd.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

// Listing folders on their descriptors: one getdents pass and one fstatat
// per entry, nothing opened. Names are bytes, kept exactly as the file
// system gave them.
namespace copy {

enum class NodeKind : uint8_t { File, Directory, Other, Dangling };

// One entry of a listing, as fstatat saw it, in 40 bytes: a folder of a
// million files is listed in some 50 MB, not in half a gigabyte. The name
// lives in the listing's one block of names.
struct Node
{
    uint32_t nameAt = 0;             // offset of the name (NUL-ended) in the listing's names
    uint16_t nameLength = 0;
    NodeKind kind = NodeKind::Other; // of the target, for a symbolic link
    bool isLink = false;
    bool otherDevice = false;        // on another device than the folder (a mount, a followed link)
    uint8_t linkError = 0;           // Dangling: why the target could not be looked at (ENOENT, ELOOP, ...)
    mode_t mode = 0;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t atimeNs = 0;
};

// A folder's entries, sorted by name bytes. Names are kept exactly as the
// file system gave them.
class Listing
{
public:
    // Lists the folder open on fd (from its start). A symbolic link is
    // stat'ed twice: for its own times (followLinks false) or its target's
    // (true); kind is always its target's, Dangling when there is none.
    // Entries that vanish between listing and stat are left out. Returns
    // the errno of a listing that failed.
    SysError read(int fd, bool followLinks);

    // The same in three steps, so that the stats of a big folder (and of
    // both sides) can be shared among threads: the names (the entries'
    // other fields unset), the stats of a range of entries (disjoint ranges
    // from several threads at once), then finish, which leaves out what
    // vanished and sorts.
    SysError readNames(int fd);
    void statRange(int fd, bool followLinks, size_t begin, size_t end);
    SysError finish();

    size_t size() const { return m_nodes.size(); }
    bool empty() const { return m_nodes.empty(); }
    const Node &operator[](size_t i) const { return m_nodes[i]; }
    Node &operator[](size_t i) { return m_nodes[i]; }
    std::string_view name(size_t i) const { return {m_names.data() + m_nodes[i].nameAt, m_nodes[i].nameLength}; }
    const char *cName(size_t i) const { return m_names.data() + m_nodes[i].nameAt; }
    // The device of the folder itself (entries with otherDevice excepted).
    dev_t device() const { return m_device; }
    // Entries left out because stat failed other than by their vanishing
    // (an I/O error, a network file system's refusal), by name with the
    // errno, sorted: such an entry is there, only unseen.
    const std::vector<std::pair<std::string, int>> &unseen() const { return m_unseen; }
    // Forgets every entry and gives the memory back.
    void release();

private:
    std::vector<Node> m_nodes;
    std::vector<std::pair<std::string, int>> m_unseen;
    std::string m_names;
    dev_t m_device = 0;
    std::atomic<int> m_statFailure{0};
};

// Opens a subfolder without following a symbolic link (unless asked).
Fd OpenFolder(int parentFd, const std::string &name, bool followLink, SysError &err);

// Calls each with every name of the folder open on fd (from its start),
// but "." and "..", with its d_type and inode number. For the few walks that
// need no stats (a purge); a listing reads names itself.
SysError ForEachName(int fd, const std::function<void(const char *name, unsigned char type, ino_t ino)> &each);

} // namespace copy
