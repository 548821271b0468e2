#include "window/app_icon.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

namespace window {

QImage drawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
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
    p.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(16)));
    icon.addPixmap(QPixmap::fromImage(drawAppIcon(32)));
    return icon;
}

} // namespace window
