#include "camera/preview_widget.h"

#include "camera/mapped_frame.h"

#include <QPainter>

namespace camera {

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cameraPreview"));
    // Every paint covers the whole widget, so Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Camera preview"));
}

void PreviewWidget::showFrame(SamplePtr sample) {
    sample_ = std::move(sample);
    update();
}

void PreviewWidget::clearFrame() {
    sample_.reset();
    update();
}

void PreviewWidget::showLost(const QString& reason) {
    lost_ = true;
    lostReason_ = reason;
    update();
}

void PreviewWidget::clearLost() {
    lost_ = false;
    lostReason_.clear();
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    if (lost_) {
        paintLost();
        return;
    }
    QPainter painter(this);
    const MappedFrame frame(sample_);
    if (!frame.isValid()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QImage& image = frame.image();
    if (image.size() == size()) {
        painter.drawImage(QPoint(0, 0), image);
        return;
    }
    const QSize scaled = image.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - scaled.width()) / 2, (height() - scaled.height()) / 2),
                       scaled);
    // Only the bars are filled: the picture covers the rest.
    const QRegion bars = QRegion(rect()) - QRegion(target);
    for (const QRect& bar : bars)
        painter.fillRect(bar, Qt::black);
    // Nearest-neighbour scaling keeps the preview cheap; it is a preview, not the picture saved.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, image);
}

void PreviewWidget::paintLost() {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(48, 48, 48));
    painter.setPen(QColor(230, 230, 230));
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    const QRect area = rect().adjusted(8, 8, -8, -8);
    const QString text = lostReason_.isEmpty()
                             ? tr("Camera lost")
                             : tr("Camera lost") + QLatin1Char('\n') + lostReason_;
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text);
}

} // namespace camera
