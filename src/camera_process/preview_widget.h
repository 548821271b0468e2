#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace camera {

// The live picture: the frame it is given, scaled to the widget keeping its aspect ratio with
// black bars, or a "Camera lost" notice. It only paints; when to show a frame is decided by
// the camera view.
//
// Where a video sink can draw into a window of ours, the widget lends it its own native window
// (videoWindow()) instead of being given frames: while the sink shows video Qt paints nothing
// there, and the widget only asks the sink to draw again when the window needs it.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // Shows `frame` from the next paint on. Its pixels (shared memory the camera process
    // writes to once this side has moved on) are used where they are, until replaced.
    void showFrame(QImage frame);
    // Forgets the frame (black), e.g. when the pipeline that made it goes away. A sink drawing
    // into the window stops being shown.
    void clearFrame();
    void showLost(const QString& reason);
    void clearLost();
    bool isShowingLost() const { return lost_; }

    // The native window a video sink may draw into (this widget's alone, not its parent's).
    WId videoWindow();
    // A sink draws the picture into videoWindow() from now on; Qt leaves the window to it except
    // for the lost notice. Ends with clearFrame().
    void showSinkVideo();

    // Qt paints this widget only through its backing store; painting on screen (while a sink
    // draws) needs no engine of the widget's own.
    QPaintEngine* paintEngine() const override { return nullptr; }

signals:
    // The window needs the sink's picture again (it was uncovered or resized).
    void exposed();
    // The native window is about to be destroyed: a sink must stop drawing into it now.
    void videoWindowClosing();
    // Qt made the native window anew (its top-level was made again, say): a sink draws into
    // videoWindow()'s new id from now on.
    void videoWindowChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void paintLost();
    void updatePaintMode();

    QImage frame_;
    bool lost_ = false;
    QString lostReason_;
    bool nativeVideo_ = false;
    WId lent_ = 0; // the native window videoWindow() gave out last
    bool sinkVideo_ = false;
};

} // namespace camera
