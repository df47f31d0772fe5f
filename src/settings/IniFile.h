#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// A profile file in the form that Windows programs read: "[Section]" header
// lines and "key=value" lines. Section and key names match without regard to
// letter case, and the first of several equal names wins, as with the Windows
// profile functions. Bytes that are not touched stay as they were, line ends
// included; new lines take the line end the file already uses (CR LF in a new
// file).
//
// The text is held whole, as one block; only the key lines of the section
// last asked for are indexed, so a file of many short lines costs little
// more memory than its size.
class IniDocument
{
public:
    // The text of the file: the system's 8-bit code page unless a byte-order
    // mark says otherwise. A UTF-16 file is read and written as UTF-16, as
    // Windows does; UTF-8 marks (one or more) are kept as they are.
    enum class Encoding { Ansi, Utf8, Utf16LE, Utf16BE };

    IniDocument() = default;
    static IniDocument fromBytes(QByteArray bytes);
    QByteArray toBytes() const;

    Encoding encoding() const { return m_encoding; }

    // The value as the profile read yields it: blanks around it trimmed, one
    // enclosing pair of double or single quotes removed, then decoded (encodeIniValue).
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Replaces the value of the key's first line in place, keeping the key as
    // the line spells it; or adds the key after the last non-blank line of the
    // section; adds the section at the end when missing. False when the value
    // as stored stays as it was.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // Removes every line of the key from the section; false when there was none.
    bool removeKey(const QString &section, const QString &key);
    // Removes each section of that name with its header and all its lines; false when missing.
    bool removeSection(const QString &section);

    // A name that a "key=value" line can carry and give back unchanged.
    static bool isValidKey(const QString &key);

private:
    struct Line
    {
        qsizetype begin;
        qsizetype end;  // end of the text, before CR LF or LF
        qsizetype next; // start of the next line
    };
    // A key line: the hash of its case-folded key in the high half, where
    // the line starts in the low half, so that plain order groups equal keys
    // in file order.
    using KeyLine = quint64;
    // Where the first section of a name lies, and its key lines by hash.
    struct Index
    {
        bool valid = false;
        QString section; // case-folded
        bool found = false;
        qsizetype body = 0; // just after the header line
        qsizetype end = 0;  // start of the next header line, or the end of the text
        std::vector<KeyLine> keys; // in order
    };

    Line lineAt(qsizetype pos) const;
    const Index &indexFor(const QString &foldedSection) const;
    qsizetype findKey(const Index &index, const QString &foldedKey, quint32 hash) const;
    QByteArrayView keyOf(qsizetype lineStart) const;
    void splice(qsizetype at, qsizetype length, QByteArrayView with);

    QByteArray m_text;     // the file's text; a UTF-16 file's is converted to 8 bits
    qsizetype m_start = 0; // where the lines begin, after any UTF-8 byte-order marks
    Encoding m_encoding = Encoding::Ansi;
    QByteArray m_lineEnd = "\r\n";
    QByteArray m_oddByte; // a UTF-16 file's odd last byte, kept as it was
    mutable Index m_index;
};

// The text of a value on its line. Every value reads back exactly as given:
// - a plain single-line value is written as it is, the classic key=value;
// - a value with blanks at an end, or enclosed in a pair of double or single
//   quotes, is written inside one more pair of double quotes, which every
//   profile reader removes;
// - a value with line breaks or other control characters, with characters the
//   file's encoding lacks, or that begins with the escape mark is written as
//   @Escaped(...) with backslash escapes (\\ \r \n \xHH \uHHHH) inside.
QByteArray encodeIniValue(const QString &value, IniDocument::Encoding encoding);
// Decodes the text after the "=" of a line.
QString decodeIniValue(QByteArrayView raw, IniDocument::Encoding encoding);

// Reading and writing the file itself.
enum class IniReadStatus {
    Ok,         // read (an empty file included)
    Missing,    // no file yet: an empty document
    Unreadable, // exists but cannot be opened (a folder, no rights): reads give defaults, writes are refused
    TooLarge,   // larger than any settings file can sensibly be: not read
    IoError,    // opened but reading failed
};

struct IniReadResult
{
    IniReadStatus status = IniReadStatus::Missing;
    IniDocument document;
    QString error; // description for TooLarge and IoError
};

// Far beyond what the window's fields hold in use, and small enough that
// reading it stays quick.
inline constexpr qint64 kMaxIniFileSize = 16 * 1024 * 1024;

IniReadResult readIniFile(const QString &path);
// Writes a new file beside the old one, flushed to the disk, and renames it
// over the old one, so that a failure or crash at any point leaves either the
// old or the new file whole. Where no new file may be made in the folder but
// the file itself may be written, it is written in place, and its old bytes
// are put back if that fails. False when the file was not written, and for a
// file the reader would refuse.
bool writeIniFile(const QString &path, const IniDocument &document);
// The file may be written: for a write that would change nothing.
bool canWriteIniFile(const QString &path);
// Removes what writers that were killed left beside the file.
void removeAbandonedIniFiles(const QString &path);

// Called after the new file is written and before it replaces the old one.
// Tests count writes with it and simulate a crash at the worst moment.
// Returns the hook it replaces.
std::function<void()> setIniCommitHook(std::function<void()> hook);
