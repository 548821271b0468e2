#include "window/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace window {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // Body and viewfinder bump.
    p.setPen(QPen(QColor(20, 30, 60), 1.5));
    p.setBrush(QColor(60, 90, 160));
    p.drawRoundedRect(QRectF(2, 9, 28, 19), 3, 3);
    p.drawRect(QRectF(9, 5, 9, 4));
    // Lens as a clock face.
    p.setBrush(QColor(250, 250, 240));
    p.drawEllipse(QPointF(16, 18.5), 7.5, 7.5);
    p.setPen(QPen(QColor(200, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 18.5), QPointF(16, 13));
    p.drawLine(QPointF(16, 18.5), QPointF(20, 18.5));
    // Recording light.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 60, 60));
    p.drawEllipse(QPointF(26, 12.5), 1.8, 1.8);
    return pixmap;
}

} // namespace

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(drawIcon(16));
    icon.addPixmap(drawIcon(32));
    return icon;
}

} // namespace window
