#include "camera_process/preview_widget.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace camera {

namespace {

// The preview's name for screen readers. Given here rather than with setAccessibleName(), which
// would start the connection to the accessibility bus while the camera is being set up.
QAccessibleInterface* accessiblePreview(const QString& className, QObject* object) {
    if (className == QLatin1String(PreviewWidget::staticMetaObject.className()) &&
        object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Client,
                                     PreviewWidget::tr("Camera preview"));
    return nullptr;
}

} // namespace

PreviewWidget::PreviewWidget(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = (QAccessible::installFactory(accessiblePreview), true);
    (void)factoryInstalled;
    setObjectName(QStringLiteral("cameraPreview"));
    // Every paint covers the whole widget, so Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PreviewWidget::~PreviewWidget() {
    // Still before QWidget's destructor takes the native window away.
    if (nativeVideo_) emit videoWindowClosing();
}

void PreviewWidget::showFrame(QImage frame) {
    frame_ = std::move(frame);
    update();
}

void PreviewWidget::clearFrame() {
    frame_ = QImage();
    sinkVideo_ = false;
    updatePaintMode();
}

void PreviewWidget::showLost(const QString& reason) {
    lost_ = true;
    lostReason_ = reason;
    updatePaintMode();
}

void PreviewWidget::clearLost() {
    lost_ = false;
    lostReason_.clear();
    updatePaintMode();
}

WId PreviewWidget::videoWindow() {
    if (!nativeVideo_) {
        nativeVideo_ = true;
        // A window of its own, so that the sink draws over nothing else; the parent need not
        // become native for it. Qt never clears it: every paint covers it or leaves it to the sink.
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    lent_ = winId();
    return lent_;
}

bool PreviewWidget::event(QEvent* event) {
    // Only a window lent before and made anew: the first one is made inside videoWindow().
    if (event->type() == QEvent::WinIdChange && lent_ != 0 && internalWinId() != 0 &&
        internalWinId() != lent_)
        emit videoWindowChanged();
    return QWidget::event(event);
}

void PreviewWidget::showSinkVideo() {
    if (!nativeVideo_ || sinkVideo_) return;
    sinkVideo_ = true;
    updatePaintMode();
}

void PreviewWidget::updatePaintMode() {
    // Painting on screen keeps this window out of Qt's backing store, whose flush would cover
    // the sink's picture. Qt's own paints (black, the lost notice) need the backing store.
    if (nativeVideo_) setAttribute(Qt::WA_PaintOnScreen, sinkVideo_ && !lost_);
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    if (lost_) {
        paintLost();
        return;
    }
    if (sinkVideo_) {
        emit exposed();
        return;
    }
    QPainter painter(this);
    if (frame_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QImage& image = frame_;
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
