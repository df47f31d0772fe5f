#pragma once

#include "copy/CopyTypes.h"
#include "copy/Fd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

// DOS attributes (R A S H C N E T O) on Linux. R is the owner's write bit:
// a file without it is read-only. The other letters live in the extended
// attribute "user.DOSATTRIB" in the layout Samba keeps there, so a Samba
// share shows them to Windows clients and Samba's own settings come back to
// us. A file without that attribute, or on a file system that keeps no user
// attributes, has Archive set and nothing else; a folder has nothing set.
namespace copy {

// The letters a copy carries (Attr bits of CopyTypes.h); Directory and
// Normal are bookkeeping of Windows.
constexpr uint32_t kAttributeLetters = Attr::ReadOnly | Attr::Hidden | Attr::System | Attr::Archive
    | Attr::Temporary | Attr::Compressed | Attr::Offline | Attr::NotContentIndexed | Attr::Encrypted;

constexpr const char *kDosAttribName = "user.DOSATTRIB";

// The attribute bits of a "user.DOSATTRIB" value: the old form (a hex text
// such as "0x20") or the binary one (a hex text, a version and a body of
// version 1 to 5). Nothing when the value is neither.
std::optional<uint32_t> DecodeDosAttrib(std::string_view blob);

// A value holding attrib. When previous is a value of a known version its
// other fields (creation time, ...) are kept and only the attributes
// change; otherwise a fresh version-3 value is made, which every Samba
// since 4.0 reads.
std::string EncodeDosAttrib(uint32_t attrib, std::string_view previous = {});

// Where an attribute is read or written: an open descriptor, or a name in a
// folder (reached through /proc/self/fd without opening the file, and
// without following a symbolic link unless asked).
struct XattrPlace
{
    int fd = -1;
    int dirFd = -1;
    const char *name = nullptr;
    bool follow = false; // a symbolic link's target rather than the link
};

// Reads one extended attribute. Result: true and value filled; false with
// err 0 when the attribute is absent; false with err set on failure
// (ENOTSUP / EOPNOTSUPP: the file system keeps no user attributes).
bool GetXattr(const XattrPlace &place, const char *attr, std::string &value, SysError &err);
SysError SetXattr(const XattrPlace &place, const char *attr, std::string_view value);
SysError RemoveXattr(const XattrPlace &place, const char *attr);
bool IsNoXattrSupport(int code);

// The attributes of a file or folder: R from mode, the rest from the value
// of "user.DOSATTRIB" (raw, as read; empty when absent). hasValue tells
// whether there was one.
uint32_t AttributesFrom(mode_t mode, bool isDir, bool hasValue, std::string_view value);

// The mode that carries R: owner's write bit cleared for read-only.
mode_t ModeWithReadOnly(mode_t mode, bool readOnly);

// Reads the attributes of a place. err is set only for a real failure;
// a file system without user attributes gives the defaults.
uint32_t ReadAttributes(const XattrPlace &place, mode_t mode, bool isDir, SysError &err);

// Writes the letters other than R (R is the caller's mode). previous is the
// value the place holds now (empty when none): when the result is the
// default for such an entry and there was no value, nothing is written.
// unsupported tells that the file system keeps no user attributes; then
// nothing is written and no error given (the letters cannot be kept there).
SysError WriteAttributes(const XattrPlace &place, uint32_t attrib, bool isDir, bool hasPrevious,
                         std::string_view previous, bool &unsupported);

// "RASHCNETO" letters of a set of attributes, for messages and tests.
std::string AttributeLetters(uint32_t attrib);

} // namespace copy
