#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// A profile file in the form that Windows programs read: "[Section]" header
// lines, "key=value" lines, CR LF line ends, text in the system's 8-bit code
// page. Section and key names match without regard to letter case, and the
// first of several equal names wins, as with the Windows profile functions.
// Lines that are not touched keep their bytes; only the line ends become CR LF.
class IniDocument
{
public:
    IniDocument();
    static IniDocument fromBytes(const QByteArray &bytes);
    QByteArray toBytes() const;

    // The file began with a UTF-8 byte-order mark: its text is UTF-8, not
    // the system's code page, and the mark is kept when it is written back.
    bool isUtf8() const { return m_utf8; }

    // The value as the profile read yields it: blanks around it trimmed, one
    // pair of double quotes around it removed, then decoded (encodeIniValue).
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Replaces the first line of the key in place, or adds the key after the
    // last non-blank line of the section; adds the section at the end when
    // missing. False when the file's text stays as it was.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // Removes every line of the key from the section; false when there was none.
    bool removeKey(const QString &section, const QString &key);
    // Removes the section with its header and all its lines; false when missing.
    bool removeSection(const QString &section);

    // A name that a "key=value" line can carry and give back unchanged.
    static bool isValidKey(const QString &key);

private:
    struct Line
    {
        QByteArray text;
        QString key; // case-folded key name; empty for any line that is not "key=value"
    };
    struct Section
    {
        QString name;   // case-folded; empty for the lines before the first header
        bool hasHeader = false;
        QList<Line> lines; // lines[0] is the header line when hasHeader
        QHash<QString, qsizetype> firstKey; // folded key -> index of its first line
        void reindex();
    };

    Section *findSection(const QString &section);
    const Section *findSection(const QString &section) const;
    Line makeKeyLine(const QString &key, const QString &value) const;

    QList<Section> m_sections; // m_sections[0] holds the lines before the first header
    bool m_utf8 = false;
};

// The text of a value on its line. Every value reads back exactly as given:
// - a plain single-line value is written as it is, the classic key=value;
// - a value with blanks at an end, or enclosed in double quotes, is written
//   inside one more pair of double quotes, which every profile reader removes;
// - a value with line breaks or other control characters, with characters the
//   code page lacks, or that begins with the escape mark is written as
//   @Escaped(...) with backslash escapes (\\ \r \n \xHH \uHHHH) inside.
QByteArray encodeIniValue(const QString &value, bool utf8);
// Decodes the text after the "=" of a line.
QString decodeIniValue(QByteArrayView raw, bool utf8);

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
// Writes a new file beside the old one and renames it over the old one, so
// that a failure or crash at any point leaves either the old or the new file
// whole. False when the file cannot be written.
bool writeIniFile(const QString &path, const IniDocument &document);

// Called after the new file is written and before it replaces the old one.
// Tests count writes with it and simulate a crash at the worst moment.
void setIniCommitHook(std::function<void()> hook);
