#include "main_window/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    const auto folder = [&p](qreal x, qreal y, const QColor &colour) {
        QPainterPath path;
        path.moveTo(x, y + 3);
        path.lineTo(x + 5, y + 3);
        path.lineTo(x + 7, y + 5);
        path.lineTo(x + 14, y + 5);
        path.lineTo(x + 14, y + 15);
        path.lineTo(x, y + 15);
        path.closeSubpath();
        p.setPen(QPen(colour.darker(160), 1.2));
        p.setBrush(colour);
        p.drawPath(path);
    };
    folder(1, 1, QColor(240, 190, 60));
    folder(17, 15, QColor(240, 190, 60));

    // Arrow from the first folder down to the second.
    p.setPen(QPen(QColor(0, 90, 200), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(9, 19), QPointF(9, 25));
    p.drawLine(QPointF(9, 25), QPointF(14, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 90, 200));
    p.drawPolygon(QPolygonF({QPointF(13, 20.5), QPointF(18, 25), QPointF(13, 29.5)}));
    return pixmap;
}
} // namespace

QIcon corvaneIcon()
{
    QIcon icon;
    icon.addPixmap(drawIcon(32));
    icon.addPixmap(drawIcon(16));
    return icon;
}
