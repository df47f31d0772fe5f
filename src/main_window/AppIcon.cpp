#include "main_window/AppIcon.h"

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
    for (int size : {32, 16})
        icon.addPixmap(QPixmap::fromImage(corvaneIconImage(size)));
    return icon;
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
