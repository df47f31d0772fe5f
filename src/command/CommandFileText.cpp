#include "command/CommandFileText.h"

#include <QList>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace {

bool endsLine(QChar c) { return c == u'\r' || c == u'\n'; }
// cmd.exe's digits and letters are ASCII ones.
bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// What cmd.exe takes for a variable between two percent signs, as the
// escaping keeps it.
bool isVariableName(QStringView name)
{
    if (name.isEmpty() || isAsciiDigit(name.front()) || name.front() == u'*' || name.front() == u'~')
        return false;
    for (QChar c : name)
        if (c == u' ' || c == u'\t' || c == u'"' || endsLine(c))
            return false;
    const QStringView own = name.left(name.indexOf(u':')); // all of it when there is no ':'
    return !own.isEmpty() && !own.contains(u'\\');
}

// The next percent sign on the same line, or -1.
qsizetype closingPercent(QStringView text, qsizetype from)
{
    for (qsizetype i = from; i < text.size() && !endsLine(text.at(i)); ++i)
        if (text.at(i) == u'%')
            return i;
    return -1;
}

// A batch file's argument "%~" with modifiers: its length, or 0.
qsizetype argumentLength(QStringView text, qsizetype at)
{
    qsizetype i = at + 2;
    while (i < text.size() && (isAsciiLetter(text.at(i)) || text.at(i) == u'$' || text.at(i) == u':'))
        ++i;
    return i < text.size() && isAsciiDigit(text.at(i)) ? i + 1 - at : 0;
}

const QByteArray kChcpUtf8 = QByteArrayLiteral("@chcp 65001 >nul\r\n");
const QByteArray kUtf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");

QByteArray utf8(const QString &text)
{
    if (std::optional<QByteArray> bytes = EncodeCodePage(text, kUtf8CodePage))
        return *bytes;
    return text.toUtf8(); // only a broken surrogate pair gets here
}

// The bytes in the code page, when they read back as the text; also as
// UTF-8, which the reader tries first.
std::optional<QByteArray> unambiguous(const QString &text, quint32 codePage)
{
    std::optional<QByteArray> bytes = EncodeCodePage(text, codePage);
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> asUtf8 = DecodeCodePage(*bytes, kUtf8CodePage);
    if (asUtf8 && *asUtf8 != text)
        return std::nullopt;
    return bytes;
}

std::optional<QString> decodeUnicode(QStringConverter::Encoding encoding, QByteArrayView data)
{
    // Half a UTF-16 character at the end is no error to a stateless decoder.
    if (encoding != QStringConverter::Utf8 && data.size() % 2)
        return std::nullopt;
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// One stretch of an 8-bit file: in the code page a "chcp" line named, else
// as UTF-8 where it is that, else in the file's own code page.
QString decodeStretch(QByteArrayView bytes, std::optional<quint32> named, quint32 fallback)
{
    if (named)
        if (std::optional<QString> text = DecodeCodePage(bytes, *named))
            return *text;
    if (std::optional<QString> text = DecodeCodePage(bytes, kUtf8CodePage))
        return *text;
    if (std::optional<QString> text = DecodeCodePageLeniently(bytes, fallback))
        return *text;
    return *DecodeCodePageLeniently(bytes, kUtf8CodePage);
}

QString decodeEightBit(QByteArrayView bytes, quint32 fallback)
{
    QString text;
    std::optional<quint32> named;
    qsizetype start = 0; // of the stretch not yet decoded
    qsizetype line = 0;
    while (line < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', line);
        end = end < 0 ? bytes.size() : end + 1;
        // The line is told by its ASCII letters; whatever else it holds makes it no chcp line.
        if (const std::optional<quint32> page = ChcpLine(QString::fromLatin1(bytes.sliced(line, end - line)))) {
            text += decodeStretch(bytes.sliced(start, line - start), named, fallback);
            named = page;
            start = end;
        }
        line = end;
    }
    return text + decodeStretch(bytes.sliced(start), named, fallback);
}

} // namespace

CommandFileKind CommandFileKindOf(const QString &path)
{
    for (const QString &ext : {u".cmd"_s, u".bat"_s})
        if (path.endsWith(ext, Qt::CaseInsensitive))
            return CommandFileKind::Batch;
    return CommandFileKind::Text;
}

QString EscapeBatchPercents(const QString &command)
{
    QString out;
    out.reserve(command.size() + 8);
    qsizetype i = 0;
    while (i < command.size()) {
        const QChar c = command.at(i);
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        const qsizetype close = closingPercent(command, i + 1);
        if (close > i && isVariableName(QStringView(command).sliced(i + 1, close - i - 1))) {
            out += QStringView(command).sliced(i, close + 1 - i);
            i = close + 1;
        } else {
            out += u"%%"_s;
            ++i; // the next percent sign may still open a variable
        }
    }
    return out;
}

QString UnescapeBatchPercents(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != u'%' || i + 1 == text.size()) {
            out += c;
            ++i;
            continue;
        }
        const QChar next = text.at(i + 1);
        qsizetype length = 1; // a lone percent sign stays as it is
        if (next == u'%') {
            out += u'%';
            i += 2;
            continue;
        }
        if (isAsciiDigit(next) || next == u'*')
            length = 2;
        else if (const qsizetype argument = next == u'~' ? argumentLength(text, i) : 0; argument > 0)
            length = argument;
        else if (const qsizetype close = closingPercent(text, i + 1); close > i)
            length = close + 1 - i;
        out += QStringView(text).sliced(i, length);
        i += length;
    }
    return out;
}

std::optional<quint32> ChcpLine(QStringView line)
{
    QStringView rest = line.trimmed();
    if (rest.startsWith(u'@'))
        rest = rest.sliced(1).trimmed();
    if (rest.startsWith(u"chcp.com", Qt::CaseInsensitive))
        rest = rest.sliced(8);
    else if (rest.startsWith(u"chcp", Qt::CaseInsensitive))
        rest = rest.sliced(4);
    else
        return std::nullopt;
    if (rest.isEmpty() || (rest.front() != u' ' && rest.front() != u'\t'))
        return std::nullopt;
    rest = rest.trimmed();
    qsizetype digits = 0;
    while (digits < rest.size() && isAsciiDigit(rest.at(digits)))
        ++digits;
    if (digits == 0 || digits > 5)
        return std::nullopt;
    const quint32 page = rest.first(digits).toUInt();
    // At most its output goes to nul: "> nul", "1>nul", "2>nul".
    rest = rest.sliced(digits).trimmed();
    while (!rest.isEmpty()) {
        if (rest.front() == u'1' || rest.front() == u'2')
            rest = rest.sliced(1);
        if (!rest.startsWith(u'>'))
            return std::nullopt;
        rest = rest.sliced(1).trimmed();
        if (!rest.startsWith(u"nul", Qt::CaseInsensitive))
            return std::nullopt;
        rest = rest.sliced(3).trimmed();
    }
    if (page == 0)
        return std::nullopt;
    return page;
}

QByteArray CommandFileBytes(const QString &commandLine, CommandFileKind kind, const CodePages &pages)
{
    if (kind == CommandFileKind::Batch) {
        const QString line = EscapeBatchPercents(commandLine) + u"\r\n"_s;
        if (std::optional<QByteArray> bytes = unambiguous(line, pages.oem))
            return *bytes;
        return kChcpUtf8 + utf8(line);
    }
    const QString line = commandLine + u"\r\n"_s;
    if (std::optional<QByteArray> bytes = unambiguous(line, pages.ansi))
        return *bytes;
    return kUtf8Mark + utf8(line);
}

std::optional<QString> CommandFileText(const QByteArray &bytes, CommandFileKind kind, const CodePages &pages)
{
    std::optional<QString> text;
    if (bytes.startsWith(kUtf8Mark))
        text = decodeUnicode(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    else if (bytes.startsWith("\xFF\xFE"))
        text = decodeUnicode(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = decodeUnicode(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));
    else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.at(0) != 0 && bytes.at(1) == 0)
        text = decodeUnicode(QStringConverter::Utf16LE, bytes);
    else
        text = decodeEightBit(bytes, kind == CommandFileKind::Batch ? pages.oem : pages.ansi);
    if (!text)
        return std::nullopt;
    // An old end-of-file mark ends the text.
    if (const qsizetype eof = text->indexOf(QChar(0x1A)); eof >= 0)
        text->truncate(eof);
    for (QChar c : std::as_const(*text))
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != u'\v')
            return std::nullopt;
    return kind == CommandFileKind::Batch ? UnescapeBatchPercents(*text) : *text;
}
