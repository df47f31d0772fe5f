#include "copy/DosAttributes.h"

#include <array>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace copy {

namespace {

// Samba's value: a NUL-ended hex text, padding to 2, a 16-bit version, the
// 16-bit level of the union (equal to the version), padding to 4, then the
// body of that version. Little-endian throughout. In the body of versions
// 2 to 5 a 32-bit "valid fields" word comes first and the attributes
// second; version 1 starts with the attributes.
constexpr uint32_t kValidAttrib = 0x1;

uint32_t readU32(std::string_view b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16
        | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t readU16(std::string_view b, size_t at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
void putU32(std::string &b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        b[at + i] = char(uint8_t(v >> (8 * i)));
}
void appendU16(std::string &b, uint16_t v)
{
    b.push_back(char(uint8_t(v)));
    b.push_back(char(uint8_t(v >> 8)));
}
size_t alignUp(size_t n, size_t a) { return (n + a - 1) / a * a; }

std::optional<uint32_t> parseHex(std::string_view text)
{
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
        return std::nullopt;
    uint32_t v = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t d;
        if (c >= '0' && c <= '9')
            d = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f')
            d = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            d = uint32_t(c - 'A' + 10);
        else
            return std::nullopt;
        if (i > 9)
            return std::nullopt; // more than 8 hex digits
        v = v << 4 | d;
    }
    return v;
}

struct Parsed
{
    std::string_view hex;
    uint16_t version = 0;
    size_t bodyAt = 0;
    size_t attribAt = 0; // offset of the attributes within the value
    bool binary = false;
};

std::optional<Parsed> parse(std::string_view blob)
{
    Parsed p;
    const size_t nul = blob.find('\0');
    p.hex = blob.substr(0, nul);
    if (nul == std::string_view::npos || alignUp(nul + 1, 2) + 4 > blob.size()) {
        // The old form: the hex text alone (with or without its NUL).
        if (!parseHex(p.hex))
            return std::nullopt;
        return p;
    }
    const size_t at = alignUp(nul + 1, 2);
    p.version = readU16(blob, at);
    const uint16_t level = readU16(blob, at + 2);
    if (level != p.version || p.version < 1 || p.version > 5)
        return std::nullopt;
    p.bodyAt = alignUp(at + 4, 4);
    p.attribAt = p.bodyAt + (p.version == 1 ? 0 : 4);
    if (p.attribAt + 4 > blob.size())
        return std::nullopt;
    p.binary = true;
    return p;
}

std::string hexText(uint32_t attrib)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", attrib);
    return buffer;
}

std::string procPath(int dirFd, const char *name)
{
    std::string path = "/proc/self/fd/" + std::to_string(dirFd);
    path += '/';
    path += name;
    return path;
}

} // namespace

std::optional<uint32_t> DecodeDosAttrib(std::string_view blob)
{
    const std::optional<Parsed> p = parse(blob);
    if (!p)
        return std::nullopt;
    if (!p->binary)
        return parseHex(p->hex);
    if (p->version >= 2 && !(readU32(blob, p->bodyAt) & kValidAttrib))
        return parseHex(p->hex).value_or(0);
    return readU32(blob, p->attribAt);
}

std::string EncodeDosAttrib(uint32_t attrib, std::string_view previous)
{
    std::string out = hexText(attrib);
    out.push_back('\0');
    out.resize(alignUp(out.size(), 2), '\0');
    const std::optional<Parsed> p = previous.empty() ? std::nullopt : parse(previous);
    if (p && p->binary) {
        appendU16(out, p->version);
        appendU16(out, p->version);
        out.resize(alignUp(out.size(), 4), '\0');
        const size_t bodyAt = out.size();
        out.append(previous.substr(p->bodyAt));
        const size_t attribAt = bodyAt + (p->attribAt - p->bodyAt);
        if (p->version >= 2)
            putU32(out, bodyAt, readU32(out, bodyAt) | kValidAttrib);
        putU32(out, attribAt, attrib);
        return out;
    }
    // Version 3: valid fields, attributes, EA size, size, allocation size,
    // creation time, change time; only the attributes are valid.
    appendU16(out, 3);
    appendU16(out, 3);
    out.resize(alignUp(out.size(), 4), '\0');
    const size_t bodyAt = out.size();
    out.resize(bodyAt + 4 + 4 + 4 + 8 + 8 + 8 + 8, '\0');
    putU32(out, bodyAt, kValidAttrib);
    putU32(out, bodyAt + 4, attrib);
    return out;
}

bool IsNoXattrSupport(int code) { return code == ENOTSUP || code == EOPNOTSUPP; }

bool GetXattr(const XattrPlace &place, const char *attr, std::string &value, SysError &err)
{
    err = {};
    std::string path;
    if (place.fd < 0)
        path = procPath(place.dirFd, place.name);
    // The same read through the descriptor, the path, or the link itself.
    const auto get = [&](void *into, size_t size) {
        return place.fd >= 0 ? ::fgetxattr(place.fd, attr, into, size)
               : place.follow ? ::getxattr(path.c_str(), attr, into, size)
                              : ::lgetxattr(path.c_str(), attr, into, size);
    };
    char buffer[256];
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = get(buffer, sizeof buffer);
        if (n >= 0) {
            value.assign(buffer, size_t(n));
            return true;
        }
        if (errno == ENODATA)
            return false;
        if (errno != ERANGE) {
            err.code = errno;
            return false;
        }
        // Longer than our buffer: ask its size, then read it whole.
        const ssize_t size = get(nullptr, 0);
        if (size < 0) {
            if (errno == ENODATA)
                return false;
            err.code = errno;
            return false;
        }
        value.resize(size_t(size));
        const ssize_t m = get(value.data(), value.size());
        if (m >= 0) {
            value.resize(size_t(m));
            return true;
        }
        if (errno == ENODATA)
            return false;
        if (errno != ERANGE) {
            err.code = errno;
            return false;
        }
    }
    err.code = ERANGE;
    return false;
}

SysError SetXattr(const XattrPlace &place, const char *attr, std::string_view value)
{
    int r;
    if (place.fd >= 0)
        r = ::fsetxattr(place.fd, attr, value.data(), value.size(), 0);
    else
        r = place.follow ? ::setxattr(procPath(place.dirFd, place.name).c_str(), attr, value.data(), value.size(), 0)
                         : ::lsetxattr(procPath(place.dirFd, place.name).c_str(), attr, value.data(), value.size(), 0);
    return SysError{r == 0 ? 0 : errno};
}

SysError RemoveXattr(const XattrPlace &place, const char *attr)
{
    int r;
    if (place.fd >= 0)
        r = ::fremovexattr(place.fd, attr);
    else
        r = ::lremovexattr(procPath(place.dirFd, place.name).c_str(), attr);
    if (r != 0 && errno == ENODATA)
        return {};
    return SysError{r == 0 ? 0 : errno};
}

uint32_t AttributesFrom(mode_t mode, bool isDir, bool hasValue, std::string_view value)
{
    uint32_t a = isDir ? 0 : Attr::Archive;
    if (hasValue) {
        if (const std::optional<uint32_t> decoded = DecodeDosAttrib(value))
            a = *decoded;
    }
    a &= kAttributeLetters & ~uint32_t(Attr::ReadOnly);
    if (!(mode & S_IWUSR))
        a |= Attr::ReadOnly;
    return a;
}

mode_t ModeWithReadOnly(mode_t mode, bool readOnly)
{
    return readOnly ? mode_t(mode & ~mode_t(S_IWUSR)) : mode_t(mode | S_IWUSR);
}

uint32_t ReadAttributes(const XattrPlace &place, mode_t mode, bool isDir, SysError &err)
{
    std::string value;
    const bool has = GetXattr(place, kDosAttribName, value, err);
    if (err && IsNoXattrSupport(err.code))
        err = {};
    return AttributesFrom(mode, isDir, has, value);
}

SysError WriteAttributes(const XattrPlace &place, uint32_t attrib, bool isDir, bool hasPrevious,
                         std::string_view previous, bool &unsupported)
{
    unsupported = false;
    const uint32_t letters = attrib & kAttributeLetters & ~uint32_t(Attr::ReadOnly);
    const uint32_t defaults = isDir ? 0 : Attr::Archive;
    if (!hasPrevious && letters == defaults)
        return {};
    if (hasPrevious) {
        const std::optional<uint32_t> old = DecodeDosAttrib(previous);
        if (old && (*old & kAttributeLetters & ~uint32_t(Attr::ReadOnly)) == letters)
            return {};
    }
    // Samba keeps the directory bit in a folder's value.
    const uint32_t stored = letters | (isDir ? Attr::Directory : 0);
    const SysError e = SetXattr(place, kDosAttribName, EncodeDosAttrib(stored, hasPrevious ? previous : ""));
    if (e && IsNoXattrSupport(e.code)) {
        unsupported = true;
        return {};
    }
    return e;
}

std::string AttributeLetters(uint32_t attrib)
{
    static constexpr std::array<std::pair<char, uint32_t>, 9> letters{{
        {'R', Attr::ReadOnly},
        {'A', Attr::Archive},
        {'S', Attr::System},
        {'H', Attr::Hidden},
        {'C', Attr::Compressed},
        {'N', Attr::NotContentIndexed},
        {'E', Attr::Encrypted},
        {'T', Attr::Temporary},
        {'O', Attr::Offline},
    }};
    std::string out;
    for (const auto &[c, bit] : letters)
        if (attrib & bit)
            out += c;
    return out;
}

} // namespace copy
