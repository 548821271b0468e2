#pragma once

#include "camera/gst_ptr.h"

#include <QString>
#include <QWidget>

namespace camera {

// The live picture: the frame it is given, scaled to the widget keeping its aspect ratio with
// black bars, or a "Camera lost" notice. It only paints; when to show a frame is decided by
// the camera view.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);

    // Shows `sample` (BGRx) from the next paint on. The sample stays referenced until replaced.
    void showFrame(SamplePtr sample);
    // Forgets the frame (black), e.g. when the pipeline that made it goes away.
    void clearFrame();
    void showLost(const QString& reason);
    void clearLost();
    bool isShowingLost() const { return lost_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintLost();

    SamplePtr sample_;
    bool lost_ = false;
    QString lostReason_;
};

} // namespace camera
