#pragma once

#include "camera/frame_slot.h"
#include "camera/frozen_watch.h"
#include "camera/preview_pacer.h"
#include "camera_protocol/video_format.h"
#include "gst/bus_watch.h"
#include "gst/gst_ptr.h"

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <gst/app/gstappsink.h>
#include <optional>

namespace camera {

// One built pipeline from the camera's source to the program:
//   source ! capsfilter ! [jpegdec] ! [videoconvert] ! BGRx ! appsink
// or, where a video sink draws the preview into the preview's window,
//   source ! capsfilter ! [jpegdec] ! [videoconvert] ! BGRx ! videoconvertscale ! ximagesink
// with a probe after the BGRx filter that stores every frame for grabs and drops the frames the
// preview rate leaves out before they are scaled.
//
// The streaming threads only store the newest frame; the GUI thread hears of frames and
// failures through queued calls and the bus watch, which die with this object: destroying it
// stops the stream (the device is released) and nothing it started reaches anyone afterwards.
class CameraPipeline : public QObject {
    Q_OBJECT
public:
    // A pipeline that holds only `source` yet.
    explicit CameraPipeline(gst::ElementPtr source, QObject* parent = nullptr);
    ~CameraPipeline() override;

    // Stops the stream and closes the device; the object itself may go later. Any thread, once
    // the pipeline's signals reach no one.
    void stop();

    // Opens the camera (READY), which is when a busy or forbidden camera says so, and reads the
    // formats it offers. The device stays open for complete().
    bool open(QList<VideoFormat>* offered, QString* error);
    // Adds the rest in `format` (none: whatever the source gives). `windowSink` draws the
    // preview; without one, frames are painted by Qt from latestFrame().
    bool complete(const std::optional<VideoFormat>& format, gst::ElementPtr windowSink,
                  QString* error);

    // Sets it playing without waiting: the first frame, a failure or the caller's watchdog
    // decides how that went. False only when it refuses at once.
    bool start(QString* error);
    // The one synchronous wait, for start-up: until the stream runs or fails, up to `timeout`.
    bool waitStarted(std::chrono::milliseconds timeout, QString* error);
    // Whether `format` can be taken by this pipeline as it is built (else it must be rebuilt).
    bool canChangeTo(const std::optional<VideoFormat>& format) const;
    // Stops the stream, fixes the source to `format` and waits for it to run again, up to
    // `timeout`.
    bool changeFormat(const std::optional<VideoFormat>& format, std::chrono::milliseconds timeout,
                      QString* error);

    void setPreviewRate(std::chrono::milliseconds interval) { pacer_.setInterval(interval); }
    void setPreviewOn(bool on) { pacer_.setOn(on); }
    bool sinkDraws() const { return videoSink_ != nullptr; }
    // The sink draws into `window` from now on.
    void setWindow(quintptr window);
    void expose();

    FrameSlot::Frame latestFrame() const { return slot_.latest(); }
    FrameSlot::Clock::time_point lastArrival() const { return slot_.lastArrival(); }
    // A grab: waits up to `timeout` after `since` for a frame that arrived after `since`.
    // `arrival`, when given, is when the frame arrived.
    bool waitNewerFrame(FrameSlot::Clock::time_point since, std::chrono::milliseconds timeout,
                        gst::SamplePtr* sample, QString* failure,
                        FrameSlot::Clock::time_point* arrival = nullptr);

    bool hasFirstFrame() const { return firstFrameHandled_; }
    // Before start(): watches the frames for a camera that keeps sending the same picture.
    void watchFrozen(const FrozenWatch& watch) { frozen_ = watch; }

signals:
    void firstFrame();
    // When no sink draws the preview: each frame the preview rate lets through.
    void frameArrived();
    // The stream broke (error or end); reported once.
    void failed(const QString& reason);
    // The same picture for the watch's time: a frozen camera (reported once), or, for the
    // picture the camera process before froze on, a scene that stands still.
    void frozen(quint64 fingerprint);
    void stillScene();

private:
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    static GstPadProbeReturn onSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self);

    bool addSink(GstElement* frames, gst::ElementPtr windowSink, QString* error);
    bool keepMessage(GstMessage* message);
    void handleMessage(GstMessage* message);
    QString failureOnBus(const QString& fallback);
    // Streaming thread: stores the frame; `shown` says whether the preview wants it.
    void storeFrame(gst::SamplePtr sample, bool shown);
    void onFrameNotice();
    void lookForFreeze(const gst::SamplePtr& sample);
    void showAsSoonAsArrived();

    gst::ElementPtr pipeline_;
    GstElement* source_ = nullptr;     // owned by the pipeline
    GstElement* capsFilter_ = nullptr; // owned by the pipeline
    GstElement* videoSink_ = nullptr;  // owned by the pipeline; only when the sink draws
    bool hasDecoder_ = false;
    bool hasConverter_ = false;
    gst::BusWatch bus_;
    FrameSlot slot_;
    PreviewPacer pacer_;
    std::atomic<bool> firstFrameSeen_{false};
    std::atomic<bool> noticePending_{false};
    bool firstFrameHandled_ = false;
    bool failed_ = false;
    FrozenWatch frozen_; // streaming thread only, once started
};

} // namespace camera
