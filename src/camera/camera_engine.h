#pragma once

#include "camera/capture_device.h"
#include "camera/frame_slot.h"
#include "camera/mapped_frame.h"
#include "camera/v4l2_controls.h"
#include "camera/window_sink.h"
#include "camera_protocol/video_format.h"
#include "gst/gst_ptr.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace camera {

class CameraPipeline;

// The camera itself, on GStreamer: which camera, the formats it offers, the pipeline that reads
// it, grabs. It runs in the camera process; whether a lost camera is tried again, and when, is
// the window's business, which ends this process to let go of whatever the driver kept.
class CameraEngine : public QObject {
    Q_OBJECT
public:
    enum class Found { Camera, NoCamera, NotPluggedIn, Invalid };

    explicit CameraEngine(QObject* parent = nullptr);
    ~CameraEngine() override;

    // Chooses the camera: the source `description`, else `known` (a camera found before, looked
    // up by what it is and where it is plugged in), else the first capture device.
    Found find(const QString& description, const std::optional<DeviceIdentity>& known,
               QString* error);
    const std::optional<CaptureDevice>& device() const { return device_; }
    QString label() const { return label_; }

    // Starts opening the preview's X11 video sink ahead of the camera (start-up).
    void prepareWindowSink();
    // The X11 window the preview is drawn into; 0: frames are handed out through previewFrame.
    void setWindow(quint64 window);

    // Start-up: opens the camera, which is when a busy or forbidden camera says so, and reads
    // its formats; the default one is chosen.
    bool open(QList<VideoFormat>* formats, int* chosen, QString* error);
    // Sets the opened camera playing in the chosen format and, with `wait`, waits up to
    // `timeout` until it runs or fails.
    bool start(bool wait, std::chrono::milliseconds timeout, QString* error);
    // After a loss: opens the camera and sets it playing in `format` without waiting.
    bool startIn(const std::optional<VideoFormat>& format, QString* error);
    // Switches to `format`, waiting up to `timeout`; back to the one before when the camera
    // refuses it.
    bool changeFormat(const VideoFormat& format, std::chrono::milliseconds timeout, QString* error);
    std::optional<VideoFormat> format() const { return format_; }

    // Frames of a camera that stay the same for `after` (zero: never checked) make it frozen();
    // `frozeOn`: the picture the camera process before this one froze on.
    void watchFrozen(std::chrono::seconds after, std::optional<quint64> frozeOn) {
        frozenAfter_ = after;
        frozeOn_ = frozeOn;
    }

    void setPreview(bool on, int milliseconds);
    void expose();

    // Waits up to `timeout` for a frame that arrived after `asked` (the moment the picture was
    // asked for, on the steady clock every process shares) and hands its pixels (valid only
    // during the call) and the moment it was captured to `use`. False with `error` when none
    // comes.
    using GrabUse = std::function<void(const PixelRows&, const QDateTime&)>;
    bool grab(FrameSlot::Clock::time_point asked, std::chrono::milliseconds timeout,
              const GrabUse& use, QString* error);
    // The newest frame, for a preview painted by the window.
    gst::SamplePtr latestFrame() const;
    // Frames delivered so far by the camera: a count that stands still means a silent camera.
    std::uint64_t framesDelivered() const;
    // When the newest of them arrived, on the steady clock every process shares.
    FrameSlot::Clock::time_point lastFrameArrival() const;

    void stop();

    // The camera's own controls, when it is a V4L2 device; empty for other sources, with
    // noControlsReason() saying why.
    QList<CameraControl> controls() const { return controls_.list(); }
    QString noControlsReason() const { return noControls_; }
    bool setControl(std::uint32_t id, std::int64_t value, QString* error) {
        return controls_.set(id, value, error);
    }

signals:
    void firstFrame();
    // A frame for the preview, when the window paints it.
    void previewFrame();
    // The stream broke (error or end); once a pipeline.
    void failed(const QString& reason);
    // The camera keeps sending the same picture (`fingerprint`), or, after a frozen one was
    // replaced, the picture stays the one it froze on: the scene stands still.
    void frozen(quint64 fingerprint);
    void stillScene();

private:
    void openControls(const QString& node);
    gst::ElementPtr makeSource(QString* error);
    QString openFailure(const QString& reason) const;
    std::unique_ptr<CameraPipeline> newPipeline(gst::ElementPtr source);
    bool completeAndStart(CameraPipeline* pipeline, QString* error);
    bool switchTo(std::chrono::milliseconds timeout, QString* error);

    QString description_;
    std::optional<CaptureDevice> device_;
    QString label_;
    V4l2Controls controls_;
    QString noControls_;
    quint64 window_ = 0;
    WindowSink windowSink_;
    std::unique_ptr<CameraPipeline> opened_; // open() until start()
    std::unique_ptr<CameraPipeline> pipeline_;
    std::optional<VideoFormat> format_;
    bool previewOn_ = false;
    int previewRate_ = 0;
    std::chrono::seconds frozenAfter_{0};
    std::optional<quint64> frozeOn_;
};

} // namespace camera
