#pragma once

// Real folders for the engine's tests: files written and read as bytes,
// whole trees described (names, kinds, sizes, content hashes, modes, times)
// so that two trees or two moments can be compared, random trees, and a
// small tmpfs for a full disk.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <random>
#include <string>

namespace trees {

// Writes bytes to a path (made with its folders), with an optional mode and
// modification time (seconds since the epoch; 0 leaves it).
bool write(const std::string &path, const QByteArray &bytes, int mode = 0644, int64_t mtime = 0);
QByteArray read(const std::string &path);
bool exists(const std::string &path);

// One entry of a described tree: "f <size> <hash> <mode> <mtime>",
// "d <mode>", "l <target>".
using Description = std::map<std::string, std::string>;

struct DescribeOptions
{
    bool modes = true;
    bool times = true;
    bool folderTimes = false;
};
// Every entry below root, by path relative to it (bytes as they are).
Description describe(const std::string &root, DescribeOptions options = {});
// Lines that differ between two descriptions, for a readable failure.
QString difference(const Description &a, const Description &b);

// A random tree: folders up to depth, files of random sizes (some empty,
// some over a MiB), random modes and times, names with blanks, non-UTF-8
// bytes and names differing only in letter case.
void makeRandom(const std::string &root, std::mt19937 &random, int files, int depth);

// Changes a tree at random: new, grown, rewritten and deleted files, new
// and removed folders.
void changeRandom(const std::string &root, std::mt19937 &random, int changes);

// Every temporary file of the engine left below root.
std::vector<std::string> temporaries(const std::string &root);

// A tmpfs of the given size, mounted for the object's life; needs root.
class SmallDisk
{
public:
    explicit SmallDisk(const std::string &path, const char *size);
    ~SmallDisk();
    bool mounted() const { return m_mounted; }
    const std::string &why() const { return m_why; }

private:
    std::string m_path;
    bool m_mounted = false;
    std::string m_why;
};

} // namespace trees
