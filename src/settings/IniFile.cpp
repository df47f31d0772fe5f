#include "settings/IniFile.h"

#include "settings/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

namespace {

using Encoding = IniDocument::Encoding;

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr QLatin1StringView kEscapeMark("@Escaped(");

std::function<void()> &commitHook()
{
    static std::function<void()> hook;
    return hook;
}

bool isUtf16(Encoding encoding) { return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE; }

// ---- UTF-16 files
//
// A UTF-16 file is held as 8-bit text, so that one parser serves every file:
// UTF-8, with an unpaired surrogate in the three bytes it would take if it
// were a character, so that every line goes back to the file exactly as it came.

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

template <typename UnitAt>
QByteArray eightBitFromUtf16(qsizetype count, UnitAt unitAt)
{
    QByteArray out;
    out.reserve(count + count / 2);
    for (qsizetype i = 0; i < count; ++i) {
        const char16_t u = unitAt(i);
        if (QChar::isHighSurrogate(u) && i + 1 < count && QChar::isLowSurrogate(unitAt(i + 1))) {
            appendUtf8(out, QChar::surrogateToUcs4(u, unitAt(i + 1)));
            ++i;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

QByteArray eightBitFromUtf16(QStringView text)
{
    return eightBitFromUtf16(text.size(), [text](qsizetype i) { return text[i].unicode(); });
}

QString utf16FromEightBit(QByteArrayView bytes)
{
    static constexpr int kLength[16] = {1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 2, 2, 3, 4};
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes[i]);
        const int length = kLength[lead >> 4];
        char32_t c = length == 1 ? lead : char32_t(lead & (0x7F >> length));
        bool ok = length > 0 && i + length <= bytes.size();
        for (int k = 1; ok && k < length; ++k) {
            const uchar next = uchar(bytes[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        ok = ok && c <= 0x10FFFF;
        if (!ok) { // not from our hands; never read past the end
            out += QChar::ReplacementCharacter;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(char16_t(c));
        }
        i += length;
    }
    return out;
}

QString fromFileText(QByteArrayView bytes, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Ansi: return QString::fromLocal8Bit(bytes);
    case Encoding::Utf8: return QString::fromUtf8(bytes);
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: return utf16FromEightBit(bytes);
    }
    return QString();
}

QByteArray toFileText(const QString &text, Encoding encoding)
{
    switch (encoding) {
    case Encoding::Ansi: return text.toLocal8Bit();
    case Encoding::Utf8: return text.toUtf8();
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: return eightBitFromUtf16(text);
    }
    return QByteArray();
}

// ---- Names

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

char16_t asciiFolded(char c) { return c >= 'A' && c <= 'Z' ? char16_t(c - 'A' + 'a') : char16_t(uchar(c)); }

quint32 hashUnit(quint32 hash, char16_t unit) { return (hash ^ unit) * 16777619u; }

quint32 hashOf(QStringView folded)
{
    quint32 hash = 2166136261u;
    for (QChar c : folded)
        hash = hashUnit(hash, c.unicode());
    return hash;
}

// The hash of a name as it stands in the file, case-folded; ASCII names,
// nearly all of them, without decoding.
quint32 hashOfName(QByteArrayView raw, Encoding encoding)
{
    if (!isAscii(raw))
        return hashOf(fromFileText(raw, encoding).toCaseFolded());
    quint32 hash = 2166136261u;
    for (char c : raw)
        hash = hashUnit(hash, asciiFolded(c));
    return hash;
}

// Settings files are far below 4 GB, so a line's start fits the low half.
quint64 keyLine(quint32 hash, qsizetype lineStart) { return quint64(hash) << 32 | quint32(lineStart); }
quint32 keyHashOf(quint64 keyLine) { return quint32(keyLine >> 32); }
qsizetype lineOf(quint64 keyLine) { return qsizetype(keyLine & 0xFFFFFFFFu); }

bool nameMatches(QByteArrayView raw, const QString &folded, Encoding encoding)
{
    if (!isAscii(raw))
        return fromFileText(raw, encoding).toCaseFolded() == folded;
    if (raw.size() != folded.size())
        return false;
    for (qsizetype i = 0; i < raw.size(); ++i)
        if (asciiFolded(raw[i]) != folded[i].unicode())
            return false;
    return true;
}

// The name of a "[name]" header line; nothing for any other line.
std::optional<QByteArrayView> headerName(QByteArrayView line)
{
    const QByteArrayView t = line.trimmed();
    if (!t.startsWith('['))
        return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return t.sliced(1, (close < 0 ? t.size() : close) - 1).trimmed();
}

// The key of a "key=value" line; empty for any other line.
QByteArrayView keyName(QByteArrayView line)
{
    const QByteArrayView t = line.trimmed();
    if (t.isEmpty() || t.front() == '[' || t.front() == ';')
        return {};
    const qsizetype eq = t.indexOf('=');
    return eq > 0 ? t.first(eq).trimmed() : QByteArrayView();
}

// ---- Values

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Control characters cannot stand on a line as they are: line breaks would
// split it, and the profile read trims the others away at either end.
bool needsEscape(QChar c) { return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f; }

// The profile read removes one pair of either kind of quotes around a value.
bool isQuote(QChar c) { return c == u'"' || c == u'\''; }
bool isQuote(char c) { return c == '"' || c == '\''; }

void appendHex(QString &out, char kind, uint value, int digits)
{
    out += u'\\';
    out += QLatin1Char(kind);
    out += QString::number(value, 16).rightJustified(digits, u'0');
}

QString escapeBody(const QString &value, Encoding encoding, bool allRepresentable)
{
    QString out;
    out.reserve(value.size() + value.size() / 8 + 16);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\') {
            out += QLatin1StringView("\\\\");
        } else if (c == u'\r') {
            out += QLatin1StringView("\\r");
        } else if (c == u'\n') {
            out += QLatin1StringView("\\n");
        } else if (needsEscape(c)) {
            appendHex(out, 'x', c.unicode(), 2);
        } else if (!allRepresentable) {
            // A surrogate pair is tried as one character, a lone surrogate alone.
            const qsizetype n =
                (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) ? 2 : 1;
            const QString piece = value.mid(i, n);
            if (fromFileText(toFileText(piece, encoding), encoding) == piece) {
                out += piece;
            } else {
                for (qsizetype k = 0; k < n; ++k)
                    appendHex(out, 'u', value.at(i + k).unicode(), 4);
            }
            i += n - 1;
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(QStringView digits)
{
    bool ok = false;
    const int v = digits.toInt(&ok, 16);
    return ok ? v : -1;
}

QString unescapeBody(QStringView body)
{
    QString out;
    out.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c != u'\\' || i + 1 >= body.size()) {
            out += c;
            continue;
        }
        const QChar kind = body.at(i + 1);
        if (kind == u'\\') {
            out += u'\\';
            ++i;
        } else if (kind == u'r') {
            out += u'\r';
            ++i;
        } else if (kind == u'n') {
            out += u'\n';
            ++i;
        } else if ((kind == u'x' || kind == u'u') && i + 2 < body.size()) {
            const int digits = kind == u'x' ? 2 : 4;
            const int v = i + 2 + digits <= body.size() ? hexValue(body.mid(i + 2, digits)) : -1;
            if (v < 0) {
                out += c; // not an escape we wrote: keep it as it stands
                continue;
            }
            out += QChar(char16_t(v));
            i += 1 + digits;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

// ---- Values

QByteArray encodeIniValue(const QString &value, Encoding encoding)
{
    bool escape = value.startsWith(kEscapeMark);
    for (qsizetype i = 0; !escape && i < value.size(); ++i)
        escape = needsEscape(value.at(i));

    const QByteArray bytes = toFileText(value, encoding);
    const bool representable = fromFileText(bytes, encoding) == value;
    if (!escape && representable) {
        const bool blankEnd = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
        const bool quoted = value.size() > 1 && isQuote(value.front()) && value.back() == value.front();
        if (!blankEnd && !quoted)
            return bytes;
        // The profile read trims blanks and removes one enclosing pair of
        // quotes; one more pair protects both.
        QByteArray out;
        out.reserve(bytes.size() + 2);
        out += '"';
        out += bytes;
        out += '"';
        return out;
    }
    return toFileText(kEscapeMark + escapeBody(value, encoding, representable) + u')', encoding);
}

QString decodeIniValue(QByteArrayView raw, Encoding encoding)
{
    QByteArrayView v = raw.trimmed();
    if (v.size() > 1 && isQuote(v.front()) && v.back() == v.front())
        v = v.sliced(1, v.size() - 2);
    const QString text = fromFileText(v, encoding);
    if (text.startsWith(kEscapeMark) && text.endsWith(u')'))
        return unescapeBody(QStringView(text).sliced(kEscapeMark.size(), text.size() - kEscapeMark.size() - 1));
    return text;
}

// ---- Document

IniDocument IniDocument::fromBytes(QByteArray bytes)
{
    IniDocument doc;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool little = uchar(bytes[0]) == 0xFF;
        doc.m_encoding = little ? Encoding::Utf16LE : Encoding::Utf16BE;
        if (bytes.size() % 2)
            doc.m_oddByte = bytes.right(1);
        const auto *units = reinterpret_cast<const uchar *>(bytes.constData()) + 2;
        doc.m_text = eightBitFromUtf16((bytes.size() - 2) / 2, [units, little](qsizetype i) {
            const uchar *u = units + 2 * i;
            return char16_t(little ? u[0] | u[1] << 8 : u[0] << 8 | u[1]);
        });
    } else {
        // An editor may add its mark to a file that has one already: the
        // first line starts after every mark, so its header is not missed.
        const QByteArrayView bom(kUtf8Bom);
        while (QByteArrayView(bytes).sliced(doc.m_start).startsWith(bom)) {
            doc.m_encoding = Encoding::Utf8;
            doc.m_start += bom.size();
        }
        doc.m_text = std::move(bytes);
    }
    const qsizetype newline = doc.m_text.indexOf('\n', doc.m_start);
    if (newline >= 0)
        doc.m_lineEnd = newline > doc.m_start && doc.m_text[newline - 1] == '\r' ? "\r\n" : "\n";
    return doc;
}

QByteArray IniDocument::toBytes() const
{
    if (!isUtf16(m_encoding))
        return m_text;
    const QString text = utf16FromEightBit(m_text);
    const bool little = m_encoding == Encoding::Utf16LE;
    QByteArray out;
    out.reserve(2 + 2 * text.size() + m_oddByte.size());
    const auto append = [&out, little](char16_t u) {
        out += char(little ? u & 0xFF : u >> 8);
        out += char(little ? u >> 8 : u & 0xFF);
    };
    append(0xFEFF);
    for (QChar c : text)
        append(c.unicode());
    out += m_oddByte;
    return out;
}

IniDocument::Line IniDocument::lineAt(qsizetype pos) const
{
    const qsizetype newline = m_text.indexOf('\n', pos);
    Line line{pos, newline < 0 ? m_text.size() : newline, newline < 0 ? m_text.size() : newline + 1};
    if (line.end > pos && m_text[line.end - 1] == '\r')
        --line.end;
    return line;
}

QByteArrayView IniDocument::keyOf(qsizetype lineStart) const
{
    const Line line = lineAt(lineStart);
    return keyName(QByteArrayView(m_text).sliced(line.begin, line.end - line.begin));
}

const IniDocument::Index &IniDocument::indexFor(const QString &foldedSection) const
{
    if (m_index.valid && m_index.section == foldedSection)
        return m_index;
    Index index;
    index.valid = true;
    index.section = foldedSection;
    const QByteArrayView text(m_text);
    for (qsizetype pos = m_start; pos < text.size();) {
        const Line line = lineAt(pos);
        const QByteArrayView content = text.sliced(line.begin, line.end - line.begin);
        if (const auto name = headerName(content)) {
            if (index.found) {
                index.end = line.begin;
                break;
            }
            if (nameMatches(*name, foldedSection, m_encoding)) {
                index.found = true;
                index.body = line.next;
                index.end = text.size();
            }
        } else if (index.found) {
            if (const QByteArrayView key = keyName(content); !key.isEmpty())
                index.keys.push_back(keyLine(hashOfName(key, m_encoding), line.begin));
        }
        pos = line.next;
    }
    std::sort(index.keys.begin(), index.keys.end());
    m_index = std::move(index);
    return m_index;
}

qsizetype IniDocument::findKey(const Index &index, const QString &foldedKey, quint32 hash) const
{
    for (auto it = std::lower_bound(index.keys.begin(), index.keys.end(), keyLine(hash, 0));
         it != index.keys.end() && keyHashOf(*it) == hash; ++it) {
        if (nameMatches(keyOf(lineOf(*it)), foldedKey, m_encoding))
            return lineOf(*it);
    }
    return -1;
}

void IniDocument::splice(qsizetype at, qsizetype length, QByteArrayView with)
{
    // Every edit lies inside the indexed section, so only what follows it moves.
    m_text.replace(at, length, with);
    const qsizetype delta = with.size() - length;
    m_index.end += delta;
    // Lines move together, so the order stays.
    for (KeyLine &k : m_index.keys)
        if (lineOf(k) > at)
            k = keyLine(keyHashOf(k), lineOf(k) + delta);
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const Index &index = indexFor(section.toCaseFolded());
    const QString folded = key.toCaseFolded();
    const qsizetype at = index.found ? findKey(index, folded, hashOf(folded)) : -1;
    if (at < 0)
        return std::nullopt;
    const Line line = lineAt(at);
    const QByteArrayView content = QByteArrayView(m_text).sliced(line.begin, line.end - line.begin);
    return decodeIniValue(content.sliced(content.indexOf('=') + 1), m_encoding);
}

bool IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    const QString foldedSection = section.toCaseFolded();
    if (!indexFor(foldedSection).found) {
        if (m_text.size() > m_start && !m_text.endsWith('\n'))
            m_text += m_lineEnd;
        m_text += '[' + toFileText(section, m_encoding) + ']' + m_lineEnd;
        m_index = Index{true, foldedSection, true, m_text.size(), m_text.size(), {}};
    }
    const QByteArray encoded = encodeIniValue(value, m_encoding);
    const QString foldedKey = key.toCaseFolded();
    const quint32 hash = hashOf(foldedKey);

    if (const qsizetype at = findKey(m_index, foldedKey, hash); at >= 0) {
        // Only the value changes: the key keeps its spelling and the blanks around the "=".
        const Line line = lineAt(at);
        qsizetype from = m_text.indexOf('=', line.begin) + 1;
        while (from < line.end && (m_text[from] == ' ' || m_text[from] == '\t'))
            ++from;
        const QByteArrayView old = QByteArrayView(m_text).sliced(from, line.end - from);
        if (old.trimmed() == encoded)
            return false; // as Windows does, an unchanged value leaves the file alone
        splice(from, old.size(), encoded);
        return true;
    }

    // After the last non-blank line, so that blank lines before the next
    // header stay where they are.
    qsizetype at = m_index.end;
    while (at > m_index.body) {
        qsizetype previous = at;
        if (m_text[previous - 1] == '\n')
            --previous;
        while (previous > m_index.body && m_text[previous - 1] != '\n')
            --previous;
        if (!QByteArrayView(m_text).sliced(previous, at - previous).trimmed().isEmpty())
            break;
        at = previous;
    }
    QByteArray line;
    if (at > m_start && m_text[at - 1] != '\n')
        line += m_lineEnd; // the last line of the file had none
    const KeyLine entry = keyLine(hash, at + line.size());
    line += toFileText(key, m_encoding);
    line += '=';
    line += encoded;
    line += m_lineEnd;
    splice(at, 0, line);
    m_index.keys.insert(std::upper_bound(m_index.keys.begin(), m_index.keys.end(), entry), entry);
    return true;
}

bool IniDocument::removeKey(const QString &section, const QString &key)
{
    if (!indexFor(section.toCaseFolded()).found)
        return false;
    const QString folded = key.toCaseFolded();
    const quint32 hash = hashOf(folded);
    std::vector<qsizetype> lines;
    const auto removed = std::remove_if(m_index.keys.begin(), m_index.keys.end(), [&](const KeyLine &k) {
        const bool match = keyHashOf(k) == hash && nameMatches(keyOf(lineOf(k)), folded, m_encoding);
        if (match)
            lines.push_back(lineOf(k));
        return match;
    });
    m_index.keys.erase(removed, m_index.keys.end());
    std::sort(lines.begin(), lines.end(), std::greater<>());
    for (const qsizetype at : lines) {
        const Line line = lineAt(at);
        splice(line.begin, line.next - line.begin, {});
    }
    return !lines.empty();
}

bool IniDocument::removeSection(const QString &section)
{
    const QString folded = section.toCaseFolded();
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    qsizetype open = -1;
    for (qsizetype pos = m_start; pos < m_text.size();) {
        const Line line = lineAt(pos);
        if (const auto name = headerName(QByteArrayView(m_text).sliced(line.begin, line.end - line.begin))) {
            if (open >= 0)
                ranges.emplace_back(open, line.begin);
            open = nameMatches(*name, folded, m_encoding) ? line.begin : -1;
        }
        pos = line.next;
    }
    if (open >= 0)
        ranges.emplace_back(open, m_text.size());
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
        m_text.remove(it->first, it->second - it->first);
    m_index = Index{};
    return !ranges.empty();
}

bool IniDocument::isValidKey(const QString &key)
{
    if (key.isEmpty() || isBlank(key.front()) || isBlank(key.back()) || key.front() == u'[' || key.front() == u';')
        return false;
    for (QChar c : key)
        if (c == u'=' || needsEscape(c))
            return false;
    return QString::fromLocal8Bit(key.toLocal8Bit()) == key;
}

// ---- File

namespace {

// Writes go to the file a symbolic link points to, not over the link.
QString finalTarget(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 32 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

std::filesystem::path nativePath(const QString &path) { return QFileInfo(path).filesystemAbsoluteFilePath(); }

// A new file is written as "Settings.ini.corvane-XXXXXX" beside the one it
// replaces. The mark tells a file that a killed writer left from the user's
// own "Settings.ini.backup".
constexpr QLatin1StringView kTemporaryMark(".corvane-");
constexpr qsizetype kTemporaryRandom = 6;

bool isTemporaryRandom(QStringView text)
{
    return text.size() == kTemporaryRandom && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
           });
}

QString temporaryName(const QString &target)
{
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = target + kTemporaryMark;
    for (qsizetype i = 0; i < kTemporaryRandom; ++i)
        name += QLatin1Char(kChars[QRandomGenerator::global()->bounded(int(sizeof kChars - 1))]);
    return name;
}

void runCommitHook()
{
    if (commitHook())
        commitHook()();
}

} // namespace

IniReadResult readIniFile(const QString &path)
{
    IniReadResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.status = info.isSymLink() ? IniReadStatus::Unreadable : IniReadStatus::Missing;
        return result;
    }
    // Folders, devices and pipes are no settings file (and a pipe would never end).
    if (!info.isFile()) {
        result.status = IniReadStatus::Unreadable;
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = IniReadStatus::Unreadable;
        return result;
    }
    if (file.size() > kMaxIniFileSize) {
        result.status = IniReadStatus::TooLarge;
        result.error = QStringLiteral("The settings file %1 is too large (%2 bytes)").arg(path).arg(file.size());
        return result;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = IniReadStatus::IoError;
        result.error = file.errorString();
        return result;
    }
    result.status = IniReadStatus::Ok;
    result.document = IniDocument::fromBytes(std::move(bytes));
    return result;
}

bool writeIniFile(const QString &path, const IniDocument &document)
{
    const QByteArray bytes = document.toBytes();
    // What we write must read back: a file the reader refuses loses every setting.
    if (bytes.size() > kMaxIniFileSize)
        return false;
    const std::string_view data(bytes.constData(), size_t(bytes.size()));
    const QString target = finalTarget(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        atomicfile::NewFile file;
        switch (file.create(nativePath(temporaryName(target)), nativePath(target))) {
        case atomicfile::Create::Ok:
            if (!file.write(data))
                return false;
            runCommitHook();
            return file.commit(nativePath(target));
        case atomicfile::Create::Exists:
            continue;
        case atomicfile::Create::Denied:
            // The folder takes no new file, but the file itself may be
            // writable (write access granted to that one file).
            if (!QFileInfo(target).isFile())
                return false;
            runCommitHook();
            return atomicfile::overwrite(nativePath(target), data);
        case atomicfile::Create::Failed:
            return false;
        }
    }
    return false;
}

bool canWriteIniFile(const QString &path) { return atomicfile::canWrite(nativePath(finalTarget(path))); }

void removeAbandonedIniFiles(const QString &path)
{
    const QFileInfo target(finalTarget(path));
    const QDir folder = target.absoluteDir();
    const QString prefix = target.fileName() + kTemporaryMark;
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (name.startsWith(prefix) && isTemporaryRandom(QStringView(name).sliced(prefix.size())))
            atomicfile::removeAbandoned(nativePath(folder.filePath(name)));
    }
}

std::function<void()> setIniCommitHook(std::function<void()> hook)
{
    return std::exchange(commitHook(), std::move(hook));
}
