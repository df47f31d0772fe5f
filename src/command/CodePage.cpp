#include "command/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <string>

#ifdef Q_OS_WIN
#include "command/CodePage_win.h"
#else
#include <cerrno>
#include <iconv.h>
#endif

namespace {

std::optional<QString> decodeUtf8(QByteArrayView bytes, bool lenient)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() && !lenient)
        return std::nullopt;
    return text;
}

#ifdef Q_OS_WIN

std::optional<QString> decode(QByteArrayView bytes, quint32 codePage, bool lenient)
{
    std::wstring text;
    if (!win32::DecodeCodePage(std::string(bytes.data(), size_t(bytes.size())), codePage, lenient, text))
        return std::nullopt;
    return QString::fromStdWString(text);
}

std::optional<QByteArray> encode(QStringView text, quint32 codePage)
{
    std::string bytes;
    if (!win32::EncodeCodePage(text.toString().toStdWString(), codePage, bytes))
        return std::nullopt;
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

#else

// iconv's name of a Windows code page.
QByteArray iconvName(quint32 codePage)
{
    if (codePage == 20127)
        return QByteArrayLiteral("ASCII");
    if (codePage >= 28591 && codePage <= 28606)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    if (codePage == 54936)
        return QByteArrayLiteral("GB18030");
    return "CP" + QByteArray::number(codePage);
}

class Converter
{
public:
    Converter(const QByteArray &to, const QByteArray &from) : m_cd(iconv_open(to.constData(), from.constData())) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // All of input converted; replacement, when given, stands for each byte
    // that does not convert, otherwise such a byte fails the whole.
    std::optional<QByteArray> convert(QByteArrayView input, const QByteArray *replacement)
    {
        QByteArray out;
        char buffer[4096];
        char *in = const_cast<char *>(input.data());
        size_t inLeft = size_t(input.size());
        for (;;) {
            char *to = buffer;
            size_t toLeft = sizeof buffer;
            // A null input at the end writes what a stateful encoding still owes.
            const size_t r = iconv(m_cd, inLeft ? &in : nullptr, &inLeft, &to, &toLeft);
            out.append(buffer, qsizetype(sizeof buffer - toLeft));
            if (r != size_t(-1)) {
                if (inLeft == 0 && in != nullptr) {
                    in = nullptr; // one more pass to close the shift state
                    continue;
                }
                return out;
            }
            if (errno == E2BIG)
                continue;
            if ((errno != EILSEQ && errno != EINVAL) || !replacement || inLeft == 0)
                return std::nullopt;
            out += *replacement;
            ++in;
            --inLeft;
        }
    }

private:
    iconv_t m_cd;
};

std::optional<QString> decode(QByteArrayView bytes, quint32 codePage, bool lenient)
{
    Converter converter("UTF-8", iconvName(codePage));
    if (!converter.valid())
        return std::nullopt;
    const QByteArray replacement("\xEF\xBF\xBD");
    const std::optional<QByteArray> utf8 = converter.convert(bytes, lenient ? &replacement : nullptr);
    if (!utf8)
        return std::nullopt;
    return decodeUtf8(*utf8, lenient);
}

std::optional<QByteArray> encode(QStringView text, quint32 codePage)
{
    QStringEncoder toUtf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QByteArray utf8 = toUtf8.encode(text);
    if (toUtf8.hasError())
        return std::nullopt;
    Converter converter(iconvName(codePage), "UTF-8");
    if (!converter.valid())
        return std::nullopt;
    return converter.convert(utf8, nullptr);
}

#endif

} // namespace

CodePages SystemCodePages()
{
#ifdef Q_OS_WIN
    return {win32::OemCodePage(), win32::AnsiCodePage()};
#else
    return {kUtf8CodePage, kUtf8CodePage};
#endif
}

std::optional<QByteArray> EncodeCodePage(QStringView text, quint32 codePage)
{
    std::optional<QByteArray> bytes;
    if (codePage == kUtf8CodePage) {
        QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        bytes = QByteArray(encoder.encode(text));
        if (encoder.hasError())
            return std::nullopt;
    } else {
        bytes = encode(text, codePage);
    }
    // Only what reads back as the very same text fits: no conversion may
    // slip a look-alike in.
    if (!bytes || DecodeCodePage(*bytes, codePage) != text.toString())
        return std::nullopt;
    return bytes;
}

std::optional<QString> DecodeCodePage(QByteArrayView bytes, quint32 codePage)
{
    return codePage == kUtf8CodePage ? decodeUtf8(bytes, false) : decode(bytes, codePage, false);
}

std::optional<QString> DecodeCodePageLeniently(QByteArrayView bytes, quint32 codePage)
{
    return codePage == kUtf8CodePage ? decodeUtf8(bytes, true) : decode(bytes, codePage, true);
}
