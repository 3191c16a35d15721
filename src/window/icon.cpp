#include "window/icon.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPoint>
#include <QPolygon>

namespace {

// Only colours from the classic sixteen-colour palette, so the icon keeps
// the hard-edged look of the icons it sits next to on the old desktops.
const QColor Black(0, 0, 0);
const QColor Navy(0, 0, 128);
const QColor Gray(128, 128, 128);
const QColor Silver(192, 192, 192);
const QColor Blue(0, 0, 255);
const QColor Yellow(255, 255, 0);
const QColor White(255, 255, 255);

// Every shape is drawn aliased with a one-pixel cosmetic pen, so what is
// written here is exactly which pixels light up.
void outlined(QPainter &p, const QColor &fill)
{
    p.setPen(QPen(Black, 0));
    p.setBrush(fill);
}

QPixmap icon32()
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    // The document: a yellow sheet with its top right corner folded down.
    outlined(p, Yellow);
    p.drawPolygon(QPolygon({QPoint(9, 1), QPoint(19, 1), QPoint(24, 6), QPoint(24, 18), QPoint(9, 18)}));
    outlined(p, White);
    p.drawPolygon(QPolygon({QPoint(19, 1), QPoint(19, 6), QPoint(24, 6)}));
    p.setPen(QPen(Navy, 0));
    p.drawLine(12, 5, 17, 5);
    p.drawLine(12, 8, 21, 8);
    p.drawLine(12, 11, 21, 11);
    p.drawLine(12, 14, 19, 14);

    // The tray: a gray board with a lit top edge.
    outlined(p, Gray);
    p.drawRect(3, 19, 26, 3);
    p.setPen(QPen(Silver, 0));
    p.drawLine(4, 20, 28, 20);

    // The hand, seen from the side like a waiter's: the palm flat under the
    // tray with the fingers to the right, the forearm rising from the lower
    // left out of a blue sleeve.
    outlined(p, White);
    p.drawPolygon(QPolygon({QPoint(8, 23), QPoint(26, 23), QPoint(27, 24), QPoint(26, 26), QPoint(15, 26),
                            QPoint(9, 31), QPoint(2, 31), QPoint(2, 29)}));
    p.setPen(QPen(Silver, 0));
    p.drawLine(18, 24, 25, 24);
    p.drawLine(18, 25, 25, 25);
    p.setPen(QPen(Gray, 0));
    p.drawLine(17, 24, 17, 25);
    outlined(p, Blue);
    p.drawPolygon(QPolygon({QPoint(3, 28), QPoint(12, 28), QPoint(9, 31), QPoint(2, 31), QPoint(2, 29)}));

    p.end();
    return QPixmap::fromImage(image);
}

QPixmap icon16()
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    outlined(p, Yellow);
    p.drawPolygon(QPolygon({QPoint(4, 0), QPoint(9, 0), QPoint(12, 3), QPoint(12, 8), QPoint(4, 8)}));
    p.setPen(QPen(Black, 0));
    p.drawLine(9, 1, 9, 3);
    p.drawLine(10, 3, 11, 3);
    p.setPen(QPen(Navy, 0));
    p.drawLine(6, 3, 7, 3);
    p.drawLine(6, 5, 10, 5);

    outlined(p, Gray);
    p.drawRect(1, 9, 13, 2);

    // Too small for outlines drawn as shapes: the hand is set pixel row by
    // pixel row, its top edge being the tray's own bottom line.
    const auto row = [&p](int y, int x0, int x1, const QColor &colour) { p.fillRect(x0, y, x1 - x0 + 1, 1, colour); };
    row(12, 3, 3, Black);
    row(12, 4, 12, White);
    row(12, 13, 13, Black);
    row(13, 2, 2, Black);
    row(13, 3, 11, White);
    row(13, 12, 12, Black);
    row(14, 1, 1, Black);
    row(14, 2, 5, White);
    row(14, 6, 11, Black);
    row(15, 0, 0, Black);
    row(15, 1, 4, Blue);
    row(15, 5, 5, Black);

    p.end();
    return QPixmap::fromImage(image);
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(icon32());
    icon.addPixmap(icon16());
    return icon;
}
