#pragma once

#include "camera/camera_view.h"
#include "camera/capture_device.h"
#include "camera/frame_slot.h"
#include "camera/gst_ptr.h"
#include "camera/preview_pacer.h"
#include "camera/video_format.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <gst/app/gstappsink.h>
#include <mutex>
#include <optional>

namespace camera {

class FormatDialog;
class PreviewWidget;

// The camera view on a GStreamer pipeline:
//   source ! capsfilter ! [jpegdec] ! [videoconvert] ! BGRx ! appsink
// The appsink's streaming thread only stores the newest frame; everything else (preview,
// grabs, loss and recovery) happens on the GUI thread, which paints the preview.
//
// On X11 the preview is drawn by the video sink straight into the preview's window instead,
// which spares the GUI thread a copy and a paint of every frame:
//   source ! capsfilter ! [jpegdec] ! [videoconvert] ! BGRx ! videoconvertscale ! ximagesink
// A probe after the BGRx filter stores every frame for grabs and drops the frames the preview
// rate leaves out before they are scaled.
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
        // How long starting the pipeline may take before it is left to come up on its own.
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
    void prepareWindowSink();

    // What the camera offers and what it delivers now (as listed in the format dialog).
    const QList<VideoFormat>& formats() const { return formats_; }
    std::optional<VideoFormat> currentFormat() const { return format_; }
    // The picture the last successful grab took, as it is saved; null when there is none (the
    // grab failed, or the stream stopped or changed format since).
    QImage grabbedFrame() const;
    bool isCameraLost() const { return lost_; }

private:
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static GstPadProbeReturn onSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);
    static GstBusSyncReply onDeviceMessage(GstBus* bus, GstMessage* message, gpointer self);

    ElementPtr makeSource(QString* error);
    // Opens the camera (READY) in `pipeline`, which holds only `source`, and reads the formats
    // it offers; the default one becomes the format in use.
    bool readFormats(GstElement* pipeline, GstElement* source, QString* error);
    // Whether a new pipeline first reads the camera's formats, or uses the one chosen before.
    enum class Formats { Read, Keep };
    struct PreviewSink {
        GstElement* sink = nullptr; // null when it could not be added
        bool drawsPreview = false;
    };
    // Builds the pipeline and starts it; `whileStarting` runs while the camera comes up.
    bool buildPipeline(QString* error, Formats formats = Formats::Keep,
                       const std::function<void()>& whileStarting = {});
    PreviewSink addPreviewSink(GstBin* bin, GstElement* frames, QString* error);
    bool startPlaying(QString* error, const std::function<void()>& whileStarting = {});
    bool renegotiate(QString* error);
    void showAsSoonAsArrived();
    void teardownPipeline();
    QString openFailure(const QString& reason) const;

    // Any thread: the pipeline reported an error or its end.
    void noteStreamProblem(const QString& reason);
    void onStreamProblem(std::uint64_t epoch, const QString& reason);
    void storeFrame(SamplePtr sample);
    void onFrameArrived();
    void onExposed();
    void dropWindowSink();
    void onWatchdog();
    void onRetry();
    void loseCamera(const QString& reason);
    void schedulePreview();
    void showNewestFrame();
    void applyFormat(int index);
    void prepareFormatDialog();
    void startDeviceWatch();
    void stopDeviceWatch();

    Timing timing_;
    QPointer<PreviewWidget> preview_;
    bool previewOwned_ = false;

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

    // Whether the preview goes through a video sink drawing into the preview's own window.
    bool sinkDraws_ = false;
    // A sink opened ahead of the pipeline; given the preview's window once the preview exists.
    std::future<ElementPtr> windowSink_;
    bool windowSinkHasWindow_ = false;

    ElementPtr pipeline_;
    GstElement* capsFilter_ = nullptr; // owned by the pipeline
    GstElement* videoSink_ = nullptr;  // owned by the pipeline; only when the sink draws
    bool hasDecoder_ = false;
    bool hasConverter_ = false;
    // Counts pipeline starts, so that a problem reported by a stream that has since been
    // replaced or restarted is recognised as old news.
    std::atomic<std::uint64_t> epoch_{0};
    std::mutex errorMutex_;
    QString firstError_; // the first error of the current pipeline, for connect's message

    FrameSlot slot_;
    bool connected_ = false;
    bool lost_ = false;
    QString lostReason_;
    QByteArray grabbed_; // the last grab's picture, as the BMP file it is saved as

    bool previewOn_ = false;
    int previewRate_ = 0;
    PreviewPacer pacer_; // which frames the video sink shows
    QElapsedTimer lastShown_;
    std::uint64_t shownSequence_ = 0;
    QTimer previewTimer_;
    QTimer watchdog_;
    QTimer retryTimer_;
    DeviceMonitorPtr deviceMonitor_;
};

} // namespace camera
