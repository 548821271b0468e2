#pragma once

#include "camera/camera_view.h"
#include "camera/capture_device.h"
#include "camera/gst_ptr.h"
#include "camera/video_format.h"
#include "camera/window_sink.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace camera {

class CameraPipeline;
class FormatDialog;
class PreviewWidget;

// The camera view on GStreamer: which camera, the format it delivers, what happens when it is
// lost; the pipeline itself is a CameraPipeline, rebuilt whenever the camera is opened again.
//
// After start-up nothing here waits on the camera but a grab (for one frame): a lost camera is
// tried again by setting a new pipeline playing, and its first frame, a failure or the watchdog
// tells how that went.
class GstCameraView : public CameraView {
    Q_OBJECT
public:
    struct Timing {
        // No frame for this long while connected counts as a lost camera.
        std::chrono::milliseconds stallTimeout{5000};
        // How often a lost camera is tried again.
        std::chrono::milliseconds retryInterval{2000};
        // How long a grab waits for a frame newer than the moment it was asked for.
        std::chrono::milliseconds grabTimeout{2000};
        // How long starting the camera at start-up (or in a new format) may take before it is
        // left to come up on its own.
        std::chrono::milliseconds startTimeout{3000};
    };

    explicit GstCameraView(QObject* parent = nullptr);
    ~GstCameraView() override;

    QWidget* create(QWidget* parent, QSize size, const QString& source, QString* error) override;
    bool connectDriver(QString* error) override;
    void setPreviewRate(int milliseconds) override;
    void setPreview(bool on) override;
    void videoFormatDialog() override;
    bool grabFrame(QString* error) override;
    bool saveFrame(const QString& path, QString* error) override;
    void disconnectDriver() override;
    QSize pictureSize() const override;

    void setTiming(const Timing& timing);

    // On X11, starts opening the preview's video sink on a thread of its own, so that it is
    // ready when the camera connects. Meant for start-up, before the window is built; create()
    // opens it otherwise.
    void prepareWindowSink() { windowSink_.prepare(); }

    // What the camera offers and what it delivers now (as listed in the format dialog).
    const QList<VideoFormat>& formats() const { return formats_; }
    std::optional<VideoFormat> currentFormat() const { return format_; }
    // The picture the last successful grab took, as it is saved; null when there is none (the
    // grab failed, or the stream stopped or changed format since).
    QImage grabbedFrame() const;
    bool isCameraLost() const { return lost_; }

private:
    ElementPtr makeSource(QString* error);
    QString openFailure(const QString& reason) const;
    // A pipeline for the camera, following the preview's settings, reporting to this view.
    std::unique_ptr<CameraPipeline> newPipeline(ElementPtr source);
    // Builds the rest of `pipeline` in the format in use and sets it playing, without waiting.
    bool completeAndStart(CameraPipeline* pipeline, QString* error);
    // A new pipeline for the camera, playing; false when it refuses at once.
    bool startPipeline(QString* error);
    // Lets go of the pipeline at once; it stops (and releases the camera) on a thread of its own.
    void dropPipeline();
    // Waits for every pipeline let go to have stopped, e.g. before its window goes.
    void awaitStoppedPipelines();
    void forgetStoppedPipeline(CameraPipeline* stopped);
    void showLatest();

    void onFrameArrived();
    void onPipelineFailed(const QString& reason);
    void onWatchdog();
    void onRetry();
    void loseCamera(const QString& reason);
    void applyFormat(int index);
    bool switchFormat(QString* error);
    void prepareFormatDialog();

    Timing timing_;
    QPointer<PreviewWidget> preview_;
    bool previewOwned_ = false;
    bool sinkDraws_ = false; // the preview is drawn by a video sink into the preview's window
    WindowSink windowSink_;

    // The camera: a source description, or else a capture device.
    QString description_;
    ElementPtr parsedSource_; // the description's source as create() parsed it, until first used
    std::optional<CaptureDevice> device_;
    QString cameraLabel_;

    QList<VideoFormat> formats_;
    int formatIndex_ = -1;
    std::optional<VideoFormat> format_;
    // The format dialog, built ahead while the camera starts and shown by videoFormatDialog().
    QPointer<FormatDialog> formatDialog_; // a child of the window, which may go first

    std::unique_ptr<CameraPipeline> pipeline_;
    // Pipelines being stopped on threads of their own: a network source may take a while to say
    // goodbye. Deleted once stopped; clearing the list waits for that.
    struct Retired {
        std::unique_ptr<CameraPipeline> pipeline;
        std::future<void> stopped; // declared last: waited for before the pipeline goes
    };
    std::vector<Retired> retired_;
    bool connected_ = false;
    bool lost_ = false;
    QString lostReason_;
    QByteArray grabbed_; // the last grab's picture, as the BMP file it is saved as

    bool previewOn_ = false;
    int previewRate_ = 0;
    QTimer watchdog_;
    QTimer retryTimer_;
    DeviceWatch deviceWatch_;
};

} // namespace camera
