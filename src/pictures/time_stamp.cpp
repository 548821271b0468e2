#include "pictures/time_stamp.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace pictures {

QString stampText(const QDateTime& captured, const QString& format) {
    return captured.toLocalTime().toString(format);
}

QImage stamped(const QImage& frame, const QString& text) {
    // A deep copy: the frame may be the camera's shared memory, and the preview's.
    QImage copy = frame.convertToFormat(QImage::Format_RGB32);
    if (copy.constBits() == frame.constBits()) copy = frame.copy();
    if (copy.isNull() || text.isEmpty()) return copy;

    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(12, copy.height() / 24));
    const QFontMetrics metrics(font);
    const int pad = std::max(2, metrics.height() / 6);
    const QSize box(metrics.horizontalAdvance(text) + 2 * pad, metrics.height() + pad);
    const QRect area(copy.width() - box.width() - pad, copy.height() - box.height() - pad,
                     box.width(), box.height());

    QPainter painter(&copy);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(area, QColor(0, 0, 0, 176));
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(area, Qt::AlignCenter, text);
    return copy;
}

} // namespace pictures
