#include "Trees.h"

#include "copy/DataPath.h"

#include <QCryptographicHash>
#include <QStringList>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace trees {

bool write(const std::string &path, const QByteArray &bytes, int mode, int64_t mtime)
{
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    if (mtime) {
        const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
        ok = ok && ::futimens(fd, times) == 0;
    }
    ok = ok && ::fchmod(fd, mode_t(mode)) == 0;
    return ::close(fd) == 0 && ok;
}

QByteArray read(const std::string &path)
{
    QByteArray out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(fd);
    return out;
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

namespace {

void describeInto(const std::string &root, const std::string &rel, const DescribeOptions &o, Description &out)
{
    std::error_code ec;
    for (const fs::directory_entry &e : fs::directory_iterator(root + rel, ec)) {
        const std::string name = e.path().filename().string();
        const std::string path = rel + name;
        struct stat st;
        if (::lstat(e.path().c_str(), &st) < 0)
            continue;
        char line[256];
        if (S_ISLNK(st.st_mode)) {
            out[path] = "l " + fs::read_symlink(e.path(), ec).string();
        } else if (S_ISDIR(st.st_mode)) {
            std::snprintf(line, sizeof line, "d %o %lld", o.modes ? unsigned(st.st_mode & 07777) : 0u,
                          o.folderTimes ? static_cast<long long>(st.st_mtim.tv_sec) : 0LL);
            out[path + '/'] = line;
            describeInto(root, path + '/', o, out);
        } else {
            const QByteArray hash = QCryptographicHash::hash(read(e.path()), QCryptographicHash::Sha1).toHex();
            std::snprintf(line, sizeof line, "f %lld %s %o %lld.%09ld", static_cast<long long>(st.st_size),
                          hash.constData(), o.modes ? unsigned(st.st_mode & 07777) : 0u,
                          o.times ? static_cast<long long>(st.st_mtim.tv_sec) : 0LL,
                          o.times ? st.st_mtim.tv_nsec : 0L);
            out[path] = line;
        }
    }
}

QString readable(const std::string &bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

} // namespace

Description describe(const std::string &root, DescribeOptions options)
{
    Description out;
    describeInto(root.back() == '/' ? root : root + '/', std::string(), options, out);
    return out;
}

QString difference(const Description &a, const Description &b)
{
    QStringList lines;
    for (const auto &[k, v] : a) {
        const auto it = b.find(k);
        if (it == b.end())
            lines << QStringLiteral("only first: %1 %2").arg(readable(k), readable(v));
        else if (it->second != v)
            lines << QStringLiteral("differs: %1: %2 | %3").arg(readable(k), readable(v), readable(it->second));
    }
    for (const auto &[k, v] : b)
        if (!a.count(k))
            lines << QStringLiteral("only second: %1 %2").arg(readable(k), readable(v));
    if (lines.size() > 20)
        lines = lines.mid(0, 20) << QStringLiteral("...");
    return lines.join(u'\n');
}

namespace {

const char *const kNames[] = {"a", "b.txt", "Case", "case", "with blank", "\xff\xfe-not-utf8", "ü-umlaut",
                              "x.cpp", "y.CPP", ".hidden", "z", "long-0123456789012345678901234567890123456789"};

std::string randomName(std::mt19937 &r)
{
    std::uniform_int_distribution<size_t> pick(0, std::size(kNames) - 1);
    std::string name = kNames[pick(r)];
    if (std::uniform_int_distribution<int>(0, 2)(r) == 0)
        name += std::to_string(std::uniform_int_distribution<int>(0, 99)(r));
    return name;
}

QByteArray randomBytes(std::mt19937 &r, size_t n)
{
    QByteArray b(qsizetype(n), '\0');
    for (qsizetype i = 0; i < b.size(); ++i)
        b[i] = char(r());
    return b;
}

size_t randomSize(std::mt19937 &r)
{
    const int kind = std::uniform_int_distribution<int>(0, 19)(r);
    if (kind == 0)
        return 0;
    if (kind == 1)
        return (1u << 20) + std::uniform_int_distribution<size_t>(0, 70000)(r);
    return std::uniform_int_distribution<size_t>(1, 5000)(r);
}

void makeIn(const std::string &dir, std::mt19937 &r, int &files, int depth)
{
    fs::create_directories(dir);
    const int here = std::uniform_int_distribution<int>(1, 6)(r);
    for (int i = 0; i < here && files > 0; ++i, --files) {
        const std::string path = dir + '/' + randomName(r);
        if (exists(path))
            continue;
        static const int modes[] = {0644, 0600, 0755, 0444, 0640};
        write(path, randomBytes(r, randomSize(r)), modes[std::uniform_int_distribution<int>(0, 4)(r)],
              1500000000 + std::uniform_int_distribution<int64_t>(0, 100000000)(r));
    }
    if (depth <= 0)
        return;
    const int subs = std::uniform_int_distribution<int>(0, 3)(r);
    for (int i = 0; i < subs && files > 0; ++i) {
        const std::string sub = dir + '/' + randomName(r) + "-dir";
        if (exists(sub) && !fs::is_directory(sub))
            continue;
        makeIn(sub, r, files, depth - 1);
    }
}

std::vector<std::string> allPaths(const std::string &root, bool folders)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec)
            break;
        if (it->is_symlink())
            continue;
        if (it->is_directory() == folders)
            out.push_back(it->path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

void makeRandom(const std::string &root, std::mt19937 &random, int files, int depth)
{
    while (files > 0)
        makeIn(root, random, files, depth);
    // One empty folder at least, for /S against /E.
    fs::create_directories(root + "/empty-dir");
}

void changeRandom(const std::string &root, std::mt19937 &r, int changes)
{
    for (int i = 0; i < changes; ++i) {
        const std::vector<std::string> files = allPaths(root, false);
        const std::vector<std::string> folders = allPaths(root, true);
        const int what = std::uniform_int_distribution<int>(0, 5)(r);
        auto pickOf = [&](const std::vector<std::string> &v) {
            return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(r)];
        };
        if (what == 0 || files.empty() || folders.empty()) {
            const std::string dir = folders.empty() ? root : pickOf(folders);
            write(dir + '/' + randomName(r) + "-new", randomBytes(r, randomSize(r)));
        } else if (what == 1) {
            const std::string f = pickOf(files);
            QByteArray b = read(f);
            b += randomBytes(r, 100);
            write(f, b, 0644, 1700000000 + std::uniform_int_distribution<int64_t>(0, 1000)(r));
        } else if (what == 2) {
            const std::string f = pickOf(files);
            write(f, randomBytes(r, randomSize(r)), 0640);
        } else if (what == 3) {
            ::unlink(pickOf(files).c_str());
        } else if (what == 4) {
            const std::string dir = pickOf(folders) + '/' + randomName(r) + "-newdir";
            if (!exists(dir)) {
                fs::create_directories(dir);
                write(dir + "/inside", randomBytes(r, 300));
            }
        } else {
            const std::string dir = pickOf(folders);
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
}

std::vector<std::string> temporaries(const std::string &root)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (ec)
            break;
        if (copy::IsTempName(it->path().filename().string()))
            out.push_back(it->path().string());
    }
    return out;
}

SmallDisk::SmallDisk(const std::string &path, const char *size) : m_path(path)
{
    if (::geteuid() != 0) {
        m_why = "mounting a tmpfs needs root";
        return;
    }
    fs::create_directories(path);
    const std::string options = std::string("size=") + size;
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        m_why = std::string("mount: ") + copy::SystemMessage(errno);
        return;
    }
    m_mounted = true;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        ::umount2(m_path.c_str(), MNT_DETACH);
}

} // namespace trees
