#include "command/CommandFileText.h"

#include <QStringDecoder>

std::optional<QString> CommandFileText(const QByteArray &bytes)
{
    auto decode = [](QStringConverter::Encoding encoding, QByteArrayView data) -> std::optional<QString> {
        // Half a UTF-16 character at the end is no error to a stateless decoder.
        if (encoding != QStringConverter::Utf8 && data.size() % 2)
            return std::nullopt;
        QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(data);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    };
    std::optional<QString> text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = decode(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    else if (bytes.startsWith("\xFF\xFE"))
        text = decode(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    else if (bytes.startsWith("\xFE\xFF"))
        text = decode(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));
    else if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.at(0) != 0 && bytes.at(1) == 0)
        text = decode(QStringConverter::Utf16LE, bytes);
    else
        text = QString::fromLocal8Bit(bytes);
    if (!text)
        return std::nullopt;
    // An old end-of-file mark ends the text.
    if (const qsizetype eof = text->indexOf(QChar(0x1A)); eof >= 0)
        text->truncate(eof);
    for (QChar c : std::as_const(*text))
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f' && c != u'\v')
            return std::nullopt;
    return text;
}
