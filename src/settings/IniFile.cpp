#include "settings/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr QLatin1StringView kEscapeMark("@Escaped(");

std::function<void()> &commitHook()
{
    static std::function<void()> hook;
    return hook;
}

QString fromFileText(QByteArrayView bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : QString::fromLocal8Bit(bytes);
}

QByteArray toFileText(const QString &text, bool utf8) { return utf8 ? text.toUtf8() : text.toLocal8Bit(); }

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Control characters cannot stand on a line as they are: line breaks would
// split it, and the profile read trims the others away at either end.
bool needsEscape(QChar c) { return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f; }

void appendHex(QString &out, char kind, uint value, int digits)
{
    out += u'\\';
    out += QLatin1Char(kind);
    out += QString::number(value, 16).rightJustified(digits, u'0');
}

QString escapeBody(const QString &value, bool utf8, bool allRepresentable)
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
            if (fromFileText(toFileText(piece, utf8), utf8) == piece) {
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

QByteArray encodeIniValue(const QString &value, bool utf8)
{
    bool escape = value.startsWith(kEscapeMark);
    for (qsizetype i = 0; !escape && i < value.size(); ++i)
        escape = needsEscape(value.at(i));

    const QByteArray bytes = toFileText(value, utf8);
    const bool representable = fromFileText(bytes, utf8) == value;
    if (!escape && representable) {
        const bool blankEnd = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
        const bool quoted = value.size() > 1 && value.front() == u'"' && value.back() == u'"';
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
    return toFileText(kEscapeMark + escapeBody(value, utf8, representable) + u')', utf8);
}

QString decodeIniValue(QByteArrayView raw, bool utf8)
{
    QByteArrayView v = raw.trimmed();
    if (v.size() > 1 && v.front() == '"' && v.back() == '"')
        v = v.sliced(1, v.size() - 2);
    const QString text = fromFileText(v, utf8);
    if (text.startsWith(kEscapeMark) && text.endsWith(u')'))
        return unescapeBody(QStringView(text).sliced(kEscapeMark.size(), text.size() - kEscapeMark.size() - 1));
    return text;
}

// ---- Document

IniDocument::IniDocument() { m_sections.append(Section()); }

void IniDocument::Section::reindex()
{
    firstKey.clear();
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!lines[i].key.isEmpty() && !firstKey.contains(lines[i].key))
            firstKey.insert(lines[i].key, i);
}

IniDocument IniDocument::fromBytes(const QByteArray &bytes)
{
    IniDocument doc;
    QByteArrayView all(bytes);
    if (all.startsWith(QByteArrayView(kBom))) {
        doc.m_utf8 = true;
        all = all.sliced(3);
    }
    qsizetype pos = 0;
    while (pos < all.size()) {
        const qsizetype nl = all.indexOf('\n', pos);
        const qsizetype end = nl < 0 ? all.size() : nl;
        QByteArrayView line = all.sliced(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);

        const QByteArrayView t = line.trimmed();
        if (t.startsWith('[')) {
            const qsizetype close = t.indexOf(']');
            const QByteArrayView name = t.sliced(1, (close < 0 ? t.size() : close) - 1).trimmed();
            Section section;
            section.name = fromFileText(name, doc.m_utf8).toCaseFolded();
            section.hasHeader = true;
            section.lines.append(Line{line.toByteArray(), QString()});
            doc.m_sections.append(std::move(section));
            continue;
        }
        Line l{line.toByteArray(), QString()};
        if (!t.startsWith(';')) {
            const qsizetype eq = t.indexOf('=');
            if (eq > 0) {
                const QByteArrayView key = t.first(eq).trimmed();
                if (!key.isEmpty())
                    l.key = fromFileText(key, doc.m_utf8).toCaseFolded();
            }
        }
        doc.m_sections.last().lines.append(std::move(l));
    }
    for (Section &s : doc.m_sections)
        s.reindex();
    return doc;
}

QByteArray IniDocument::toBytes() const
{
    qsizetype size = m_utf8 ? 3 : 0;
    for (const Section &s : m_sections)
        for (const Line &l : s.lines)
            size += l.text.size() + 2;
    QByteArray out;
    out.reserve(size);
    if (m_utf8)
        out += kBom;
    for (const Section &s : m_sections) {
        for (const Line &l : s.lines) {
            out += l.text;
            out += "\r\n";
        }
    }
    return out;
}

IniDocument::Section *IniDocument::findSection(const QString &section)
{
    const QString folded = section.toCaseFolded();
    for (qsizetype i = 1; i < m_sections.size(); ++i)
        if (m_sections[i].name == folded)
            return &m_sections[i];
    return nullptr;
}

const IniDocument::Section *IniDocument::findSection(const QString &section) const
{
    return const_cast<IniDocument *>(this)->findSection(section);
}

std::optional<QString> IniDocument::value(const QString &section, const QString &key) const
{
    const Section *s = findSection(section);
    if (!s)
        return std::nullopt;
    const qsizetype index = s->firstKey.value(key.toCaseFolded(), -1);
    if (index < 0)
        return std::nullopt;
    const QByteArray &text = s->lines[index].text;
    return decodeIniValue(QByteArrayView(text).sliced(text.indexOf('=') + 1), m_utf8);
}

IniDocument::Line IniDocument::makeKeyLine(const QString &key, const QString &value) const
{
    QByteArray text = toFileText(key, m_utf8);
    text += '=';
    text += encodeIniValue(value, m_utf8);
    return Line{std::move(text), key.toCaseFolded()};
}

bool IniDocument::setValue(const QString &section, const QString &key, const QString &value)
{
    Section *s = findSection(section);
    if (!s) {
        Section fresh;
        fresh.name = section.toCaseFolded();
        fresh.hasHeader = true;
        fresh.lines.append(Line{'[' + toFileText(section, m_utf8) + ']', QString()});
        m_sections.append(std::move(fresh));
        s = &m_sections.last();
    }
    Line line = makeKeyLine(key, value);
    const qsizetype index = s->firstKey.value(line.key, -1);
    if (index >= 0) {
        if (s->lines[index].text == line.text)
            return false;
        s->lines[index] = std::move(line);
        return true;
    }
    // After the last non-blank line, so that blank lines before the next
    // header stay where they are. Only blank lines move, so no key's index changes.
    qsizetype at = s->lines.size();
    while (at > 0 && s->lines[at - 1].text.trimmed().isEmpty())
        --at;
    s->firstKey.insert(line.key, at);
    s->lines.insert(at, std::move(line));
    return true;
}

bool IniDocument::removeKey(const QString &section, const QString &key)
{
    Section *s = findSection(section);
    if (!s)
        return false;
    const QString folded = key.toCaseFolded();
    const qsizetype removed = s->lines.removeIf([&](const Line &l) { return l.key == folded; });
    if (removed)
        s->reindex();
    return removed > 0;
}

bool IniDocument::removeSection(const QString &section)
{
    const QString folded = section.toCaseFolded();
    qsizetype removed = 0;
    for (qsizetype i = m_sections.size() - 1; i >= 1; --i) {
        if (m_sections[i].name == folded) {
            m_sections.removeAt(i);
            ++removed;
        }
    }
    return removed > 0;
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
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = IniReadStatus::IoError;
        result.error = file.errorString();
        return result;
    }
    result.status = IniReadStatus::Ok;
    result.document = IniDocument::fromBytes(bytes);
    return result;
}

bool writeIniFile(const QString &path, const IniDocument &document)
{
    // A file the next start would refuse to read would lose every setting.
    const QByteArray bytes = document.toBytes();
    if (bytes.size() > kMaxIniFileSize)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (commitHook())
        commitHook()();
    return file.commit();
}

void setIniCommitHook(std::function<void()> hook) { commitHook() = std::move(hook); }
