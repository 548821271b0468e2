#pragma once

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QWidget>

namespace camera {

// The narrow interface through which the window uses the camera: the operations of a
// capture window. The window holds one of these and only calls its operations; tests give it a
// double. A lost camera shows itself in the preview and reaches the window as failing grabs; the
// signals below tell anyone else who wants to know. Every operation runs on the GUI thread.
class CameraView : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CameraView() override = default;

    // Creates the view as a child of `parent` at (0, 0) with `size` in pixels, for the GStreamer
    // source description `source` (empty: the first video capture device), and finds the camera.
    // Nothing waits: the answer is created(), from the event loop.
    virtual void create(QWidget* parent, QSize size, const QString& source) = 0;

    // Opens the camera after created() gave a view; the answer is connected(), from the event
    // loop.
    virtual void connectDriver() = 0;

    // Shows the newest frame at most every `milliseconds`; 0 or less shows frames as they come.
    virtual void setPreviewRate(int milliseconds) = 0;
    virtual void setPreview(bool on) = 0;

    // Lets the user choose the capture format (pixel format, size, frame rate) in a modal
    // dialog. The chosen format is the format of the saved pictures. Whatever closes the dialog,
    // the preview goes on. Nothing waits: formatChosen() says when the dialog is closed and the
    // camera runs in the format chosen (or, when that failed, in the one before).
    virtual void videoFormatDialog() = 0;

    // Asks for a frame newer than the moment of the call, without stopping the preview and
    // without waiting for it: the answer comes as grabDone() with the same `ticket`, always,
    // within the grab's time limit, and never inside the call unless the camera has the frame
    // at hand.
    virtual void requestGrab(qint64 ticket) = 0;

    // Stops the preview and releases the camera.
    virtual void disconnectDriver() = 0;

    // Pictures due in the first `seconds` after the camera came back from a loss are taken from
    // frames of that moment's end, so that automatic exposure has settled. 0: at once.
    virtual void setWarmUp(int seconds) { (void)seconds; }

    // The size of the saved pictures (the chosen format's), or an empty size before connecting.
    virtual QSize pictureSize() const { return {}; }

    // The camera and its video format as the user knows them ("HD Webcam C270 (/dev/video0)",
    // "YUY2  640 x 480  30 fps"), for the run's log; empty when not known. No password.
    virtual QString cameraName() const { return {}; }
    virtual QString videoFormatLabel() const { return {}; }
    // Takes up the video format of that label (instead of asking in the dialog), when the
    // camera offers it; false when it does not. Grabs asked for while the camera changes over
    // are taken in the new format.
    // Either way, formatChosen() follows.
    virtual bool useVideoFormat(const QString& label);
    // Why the camera is lost now; empty while it delivers.
    virtual QString lostReason() const { return {}; }
    // Before create(): with no camera there, the view is made anyway and waits for one, as after
    // a loss, instead of create() failing.
    virtual void waitForCamera(bool wait) { (void)wait; }
    // Before create(): the format dialog comes up at once, while the camera is still being
    // found and opened, and lists the formats as soon as the camera tells them; keys typed
    // meanwhile apply to the list once it is filled. videoFormatDialog() then takes the answer.
    virtual void showFormatDialogEarly(bool early) { (void)early; }
    // Before create(): a camera whose pictures stay bit-identical this long is frozen and
    // treated as lost (once per stretch of the same picture); 0: never. Only cameras are
    // watched, not test patterns or network streams.
    virtual void setFrozenAfter(int seconds) { (void)seconds; }
    // Starts the camera afresh, as after a loss for `reason` (many webcams need it after the
    // computer slept).
    virtual void restartCamera(const QString& reason) { (void)reason; }

signals:
    // The answer to create(): the view's widget; or null with `error` empty when there is no
    // camera at all, or null with `error` set when the source cannot be used (an invalid
    // description, say).
    void created(QWidget* view, const QString& error);
    // The answer to connectDriver(): `error` empty when the camera runs (or, told to wait for
    // its camera, waits for it as after a loss), else which camera and why not (busy, no
    // permission...).
    void connected(const QString& error);
    // The format dialog has been answered and the camera runs in the format it keeps.
    void formatChosen();
    // The answer to requestGrab(): the frame and when the camera captured it (UTC), or a null
    // frame and why there is none.
    void grabDone(qint64 ticket, const QImage& frame, const QDateTime& captured,
                  const QString& error);
    // The camera stopped delivering (unplugged, pipeline error, end of stream, silence).
    void cameraLost(const QString& reason);
    // The camera delivers again after a loss.
    void cameraBack();
    // Just before cameraLost(), when the loss is a camera that kept sending the same picture.
    void cameraFrozen(const QString& reason);
    // The camera put in place of a frozen one sends the same picture: the scene stands still.
    // Pictures go on; the camera is not replaced again until the picture changes.
    void sceneStill();
};

} // namespace camera
