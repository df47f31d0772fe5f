#include "main_window/AppIcon.h"

#include <QBuffer>
#include <QColor>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointF>

namespace {

// Shapes on a 32 by 32 grid, painted in order.
struct Shape
{
    QList<QPointF> points;
    bool closed;
    QColor fill;   // invalid: not filled
    QColor stroke; // invalid: no outline
    qreal strokeWidth;
};

QList<Shape> shapes()
{
    const QColor folderColour(240, 190, 60);
    const QColor arrowColour(0, 90, 200);
    const auto folder = [&](qreal x, qreal y) {
        return Shape{{{x, y + 3}, {x + 5, y + 3}, {x + 7, y + 5}, {x + 14, y + 5}, {x + 14, y + 15}, {x, y + 15}},
                     true, folderColour, folderColour.darker(160), 1.2};
    };
    return {
        folder(1, 1),
        folder(17, 15),
        // The arrow from the first folder down to the second: shaft, then head.
        Shape{{{9, 19}, {9, 25}, {14, 25}}, false, QColor(), arrowColour, 3},
        Shape{{{13, 20.5}, {18, 25}, {13, 29.5}}, true, arrowColour, QColor(), 0},
    };
}

QString svgNumber(qreal v) { return QString::number(v, 'g', 6); }

void appendLittleEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// An icon image as Windows keeps it: a bitmap header, the colour rows from
// the bottom up in blue, green, red, alpha, then the transparency mask.
QByteArray iconBitmap(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    const int maskRow = ((w + 31) / 32) * 4;
    QByteArray out;
    appendLittleEndian(out, 40, 4); // header size
    appendLittleEndian(out, quint32(w), 4);
    appendLittleEndian(out, quint32(2 * h), 4); // colours and mask
    appendLittleEndian(out, 1, 2);              // planes
    appendLittleEndian(out, 32, 2);             // bits per pixel
    appendLittleEndian(out, 0, 4);              // no compression
    appendLittleEndian(out, quint32(h * (w * 4 + maskRow)), 4);
    out.append(16, '\0'); // resolution, palette
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            appendLittleEndian(out, line[x], 4); // 0xAARRGGBB: B, G, R, A
    }
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row(maskRow, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row.at(x / 8) | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

} // namespace

QImage corvaneIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    for (const Shape &s : shapes()) {
        QPainterPath path(s.points.first());
        for (qsizetype i = 1; i < s.points.size(); ++i)
            path.lineTo(s.points.at(i));
        if (s.closed)
            path.closeSubpath();
        p.setPen(s.stroke.isValid() ? QPen(s.stroke, s.strokeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
                                    : QPen(Qt::NoPen));
        p.setBrush(s.fill.isValid() ? QBrush(s.fill) : QBrush(Qt::NoBrush));
        p.drawPath(path);
    }
    return image;
}

QIcon corvaneIcon()
{
    QIcon icon;
    for (int size : kWindowsIconSizes)
        icon.addPixmap(QPixmap::fromImage(corvaneIconImage(size)));
    return icon;
}

QByteArray corvaneIconIco()
{
    QList<QByteArray> images;
    for (int size : kWindowsIconSizes) {
        const QImage image = corvaneIconImage(size).convertToFormat(QImage::Format_ARGB32);
        QByteArray data;
        if (size >= 256) {
            QBuffer buffer(&data);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
        } else {
            data = iconBitmap(image);
        }
        images.append(data);
    }
    const qsizetype count = images.size();
    QByteArray ico;
    appendLittleEndian(ico, 0, 2); // reserved
    appendLittleEndian(ico, 1, 2); // an icon
    appendLittleEndian(ico, quint32(count), 2);
    quint32 offset = quint32(6 + 16 * count);
    for (qsizetype i = 0; i < count; ++i) {
        const int size = kWindowsIconSizes[i];
        appendLittleEndian(ico, quint32(size >= 256 ? 0 : size), 1); // 0 stands for 256
        appendLittleEndian(ico, quint32(size >= 256 ? 0 : size), 1);
        appendLittleEndian(ico, 0, 2); // no palette
        appendLittleEndian(ico, 1, 2); // planes
        appendLittleEndian(ico, 32, 2);
        appendLittleEndian(ico, quint32(images.at(i).size()), 4);
        appendLittleEndian(ico, offset, 4);
        offset += quint32(images.at(i).size());
    }
    for (const QByteArray &data : std::as_const(images))
        ico += data;
    return ico;
}

QString corvaneIconSvg()
{
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n");
    for (const Shape &s : shapes()) {
        QString d;
        for (qsizetype i = 0; i < s.points.size(); ++i)
            d += (i ? QStringLiteral(" L") : QStringLiteral("M")) + svgNumber(s.points.at(i).x()) + u' '
                + svgNumber(s.points.at(i).y());
        if (s.closed)
            d += QStringLiteral(" Z");
        svg += QStringLiteral("  <path d=\"%1\" fill=\"%2\"").arg(d, s.fill.isValid() ? s.fill.name() : QStringLiteral("none"));
        if (s.stroke.isValid())
            svg += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"round\" stroke-linejoin=\"round\"")
                       .arg(s.stroke.name(), svgNumber(s.strokeWidth));
        svg += QStringLiteral("/>\n");
    }
    svg += QStringLiteral("</svg>\n");
    return svg;
}
