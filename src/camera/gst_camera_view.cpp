#include "camera/gst_camera_view.h"

#include "camera/bmp_writer.h"
#include "camera/format_dialog.h"
#include "camera/gst_setup.h"
#include "camera/mapped_frame.h"
#include "camera/preview_widget.h"
#include "camera/source_element.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScopeGuard>
#include <algorithm>
#include <gst/video/videooverlay.h>
#include <memory>
#include <thread>

namespace camera {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

GstClockTime toClockTime(std::chrono::milliseconds duration) {
    return GstClockTime(duration.count()) * GST_MSECOND;
}

// A sink can draw into a window of ours only on X11; Wayland and the offscreen platform get
// frames painted by Qt.
bool sinkCanDrawPreview() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
    GstElementFactory* factory = gst_element_factory_find("ximagesink");
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

// A camera sending JPEG pictures needs them decoded.
bool needsDecoder(const std::optional<VideoFormat>& format) {
    return format && format->isJpeg();
}

// Frames already in the screen's format, which grabs keep too, pass without a converter.
bool needsConverter(const std::optional<VideoFormat>& format) {
    return !format || format->isJpeg() || format->pixelFormat != QLatin1String(nativeRgb32Format());
}

// The sink that will draw the preview, with its own connection to the X server open: that takes
// a few round trips, which can run while the window is being built.
ElementPtr openWindowSink() {
    if (!ensureGStreamer(nullptr)) return {};
    ElementPtr sink = adoptElement(gst_element_factory_make("ximagesink", "frames"));
    if (!sink) return sink;
    // Expose and resize come from Qt (onExposed, which also tells the sink the window's new
    // size); the sink's own event thread would wake up 20 times a second and take input events
    // away from the widget.
    g_object_set(sink.get(), "handle-events", FALSE, "handle-expose", FALSE, "enable-last-sample",
                 FALSE, "sync", TRUE, nullptr);
    // A sink that cannot open the display goes back to NULL; starting the pipeline then
    // reports why, as it would have without this head start.
    if (gst_element_set_state(sink.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        gst_element_set_state(sink.get(), GST_STATE_NULL);
    return sink;
}

} // namespace

GstCameraView::GstCameraView(QObject* parent) : CameraView(parent) {
    previewTimer_.setSingleShot(true);
    connect(&previewTimer_, &QTimer::timeout, this, &GstCameraView::showNewestFrame);
    connect(&watchdog_, &QTimer::timeout, this, &GstCameraView::onWatchdog);
    connect(&retryTimer_, &QTimer::timeout, this, &GstCameraView::onRetry);
    setTiming(timing_);
}

GstCameraView::~GstCameraView() {
    disconnectDriver();
    dropWindowSink();
    if (previewOwned_) delete preview_.data();
}

void GstCameraView::setTiming(const Timing& timing) {
    timing_ = timing;
    // Check often enough that a stall is noticed within a fifth of the allowed silence.
    watchdog_.setInterval(std::clamp(timing_.stallTimeout / 5, std::chrono::milliseconds(20),
                                     std::chrono::milliseconds(1000)));
    retryTimer_.setInterval(timing_.retryInterval);
}

QWidget* GstCameraView::create(QWidget* parent, QSize size, const QString& source, QString* error) {
    if (error) error->clear();
    if (!ensureGStreamer(error)) return nullptr;
    disconnectDriver();
    if (windowSinkHasWindow_) dropWindowSink(); // given the window of an earlier view
    if (previewOwned_) delete preview_.data();
    description_ = source.trimmed();
    parsedSource_.reset();
    device_.reset();
    formats_.clear();
    formatIndex_ = -1;
    format_.reset();

    if (description_.isEmpty()) {
        device_ = findFirstCaptureDevice();
        if (!device_) return nullptr; // no camera at all: not an error of ours to word
        cameraLabel_ = device_->label();
    } else {
        // Parsed now so that a typing error shows at start-up, not at connect time; the first
        // pipeline uses this very source.
        parsedSource_ = makeSourceFromDescription(description_, error);
        if (!parsedSource_) return nullptr;
        cameraLabel_ = QStringLiteral("\"%1\"").arg(description_);
    }

    auto* preview = new PreviewWidget(parent);
    preview->setGeometry(0, 0, size.width(), size.height());
    preview->show();
    preview_ = preview;
    previewOwned_ = parent == nullptr;
    sinkDraws_ = sinkCanDrawPreview();
    if (sinkDraws_) {
        connect(preview, &PreviewWidget::exposed, this, &GstCameraView::onExposed);
        // A sink drawing into a window that is gone would end the program with an X error.
        connect(preview, &PreviewWidget::videoWindowClosing, this, [this] {
            teardownPipeline();
            dropWindowSink();
        });
        // The sink takes its window (more round trips) on a thread of its own, beside the opening
        // of the camera; it opens its X connection there too if that has not begun already.
        windowSink_ = std::async(std::launch::async, [opening = std::move(windowSink_),
                                                      window = preview->videoWindow()]() mutable {
            ElementPtr sink = opening.valid() ? opening.get() : openWindowSink();
            if (sink) gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink.get()), window);
            return sink;
        });
        windowSinkHasWindow_ = true;
    }
    return preview;
}

ElementPtr GstCameraView::makeSource(QString* error) {
    if (parsedSource_) return std::move(parsedSource_);
    if (!description_.isEmpty()) return makeSourceFromDescription(description_, error);
    if (!device_) {
        fail(error, QStringLiteral("There is no camera"));
        return {};
    }
    // After an unplug the old device object is stale, and the camera may come back on another
    // node: look it up again by what it is and where it is plugged in.
    if (lost_) {
        std::optional<CaptureDevice> again = findCaptureDevice(*device_);
        if (!again) {
            fail(error, QStringLiteral("The camera %1 is not plugged in").arg(cameraLabel_));
            return {};
        }
        device_ = std::move(again);
        cameraLabel_ = device_->label();
    }
    return device_->makeSource(error);
}

QString GstCameraView::openFailure(const QString& reason) const {
    return QStringLiteral("The camera %1 cannot be opened: %2").arg(cameraLabel_, reason);
}

bool GstCameraView::readFormats(GstElement* pipeline, GstElement* source, QString* error) {
    // READY opens the device, which is when a busy or forbidden camera says so. The pipeline
    // holds only the source yet; the rest joins it in the chosen format, the device staying open.
    if (gst_element_set_state(pipeline, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        BusPtr bus(gst_element_get_bus(pipeline));
        MessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
        return fail(error, openFailure(message ? describeErrorMessage(message.get())
                                               : QStringLiteral("it does not start")));
    }
    PadPtr pad(gst_element_get_static_pad(source, "src"));
    CapsPtr caps(pad ? gst_pad_query_caps(pad.get(), nullptr) : nullptr);
    formats_ = formatsFromCaps(caps.get());
    formatIndex_ = defaultFormatIndex(formats_);
    format_.reset();
    if (formatIndex_ >= 0) format_ = formats_[formatIndex_];
    return true;
}

bool GstCameraView::buildPipeline(QString* error, Formats formats,
                                  const std::function<void()>& whileStarting) {
    ++epoch_;
    {
        std::lock_guard lock(errorMutex_);
        firstError_.clear();
    }
    slot_.restart();
    pacer_.restart();

    ElementPtr source = makeSource(error);
    if (!source) return false;
    ElementPtr pipeline = adoptElement(gst_pipeline_new("lumivex-camera"));
    // A pipeline that does not make it to playing goes back to NULL before it is let go.
    const auto settle = qScopeGuard([&pipeline] {
        if (pipeline) gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    });
    GstBin* bin = GST_BIN(pipeline.get());
    gst_bin_add(bin, source.get());
    if (formats == Formats::Read && !readFormats(pipeline.get(), source.get(), error)) return false;
    GstElement* capsFilter = gst_element_factory_make("capsfilter", "format");
    const bool jpeg = needsDecoder(format_);
    GstElement* decoder = jpeg ? gst_element_factory_make("jpegdec", "decoder") : nullptr;
    const bool converting = needsConverter(format_);
    GstElement* convert =
        converting ? gst_element_factory_make("videoconvert", "convert") : nullptr;
    GstElement* frames = gst_element_factory_make("capsfilter", "bgrx");
    if (!capsFilter || !frames || (jpeg && !decoder) || (converting && !convert)) {
        for (GstElement* element : {capsFilter, decoder, convert, frames})
            if (element) gst_object_unref(gst_object_ref_sink(element));
        return fail(error, openFailure(QStringLiteral(
                               "a GStreamer plugin is missing (capsfilter, jpegdec or "
                               "videoconvert)")));
    }
    gst_bin_add_many(bin, capsFilter, frames, nullptr);
    if (decoder) gst_bin_add(bin, decoder);
    if (convert) gst_bin_add(bin, convert);

    if (format_) {
        CapsPtr caps(format_->toCaps());
        g_object_set(capsFilter, "caps", caps.get(), nullptr);
    }
    CapsPtr framesCaps(
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, nativeRgb32Format(), nullptr));
    g_object_set(frames, "caps", framesCaps.get(), nullptr);

    // source ! format [! decoder] [! convert] ! bgrx
    GstElement* last = capsFilter;
    bool linked = gst_element_link(source.get(), capsFilter);
    for (GstElement* next : {decoder, convert})
        if (next && linked) {
            linked = gst_element_link(last, next);
            last = next;
        }
    linked = linked && gst_element_link(last, frames);
    if (!linked)
        return fail(error,
                    openFailure(QStringLiteral("its output cannot be turned into pictures")));
    const PreviewSink sink = addPreviewSink(bin, frames, error);
    if (!sink.sink) return false;

    BusPtr bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &GstCameraView::onBusMessage, this, nullptr);
    pipeline_ = std::move(pipeline);
    capsFilter_ = capsFilter;
    hasDecoder_ = decoder != nullptr;
    hasConverter_ = convert != nullptr;
    videoSink_ = sink.drawsPreview ? sink.sink : nullptr;
    return startPlaying(error, whileStarting);
}

GstCameraView::PreviewSink GstCameraView::addPreviewSink(GstBin* bin, GstElement* frames,
                                                         QString* error) {
    const auto missing = [&](const char* elements) {
        fail(
            error,
            openFailure(
                QStringLiteral("a GStreamer plugin is missing (%1)").arg(QLatin1String(elements))));
        return PreviewSink{};
    };
    if (!sinkDraws_ || !preview_) {
        GstElement* sink = gst_element_factory_make("appsink", "frames");
        if (!sink) return missing("appsink");
        gst_bin_add(bin, sink);
        // One frame queued at most, the older one dropped: the preview and grabs want the newest.
        g_object_set(sink, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE, "sync",
                     TRUE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &GstCameraView::onNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        if (!gst_element_link(frames, sink)) return missing("appsink");
        return {sink, false};
    }

    GstElement* scale = gst_element_factory_make("videoconvertscale", "scale");
    ElementPtr windowSink;
    if (windowSink_.valid() && windowSinkHasWindow_) {
        windowSink = windowSink_.get();
        windowSinkHasWindow_ = false;
    } else if ((windowSink = openWindowSink())) {
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(windowSink.get()),
                                            preview_->videoWindow());
    }
    GstElement* sink = windowSink.get();
    if (!scale || !sink) {
        if (scale) gst_object_unref(gst_object_ref_sink(scale));
        return missing("videoconvertscale or ximagesink");
    }
    gst_bin_add_many(bin, scale, sink, nullptr);
    // The sink asks for pictures of its window's size, which the scaler makes keeping the aspect
    // ratio with black bars (add-borders); at that size already it passes frames through
    // untouched. Frames the preview rate leaves out never get here. Nearest neighbour: it is
    // only a preview.
    gst_util_set_object_arg(G_OBJECT(scale), "method", "nearest-neighbour");
    PadPtr pad(gst_element_get_static_pad(frames, "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &GstCameraView::onSinkBuffer, this,
                      nullptr);
    if (!gst_element_link_many(frames, scale, sink, nullptr))
        return missing("videoconvertscale or ximagesink");
    return {sink, true};
}

bool GstCameraView::startPlaying(QString* error, const std::function<void()>& whileStarting) {
    GstStateChangeReturn result = gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    // The camera's first frame takes a moment; what the caller has to do anyway is done now.
    if (whileStarting && result != GST_STATE_CHANGE_FAILURE) whileStarting();
    // A live source may take a while to deliver its first frame; that alone is no failure
    // (the watchdog covers a camera that never delivers).
    if (result != GST_STATE_CHANGE_FAILURE)
        result = gst_element_get_state(pipeline_.get(), nullptr, nullptr,
                                       toClockTime(timing_.startTimeout));
    if (result != GST_STATE_CHANGE_FAILURE) {
        showAsSoonAsArrived();
        return true;
    }
    // The error message may trail the failed state change from a streaming thread.
    QString reason;
    for (int attempt = 0; attempt < 20 && reason.isEmpty(); ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard lock(errorMutex_);
        reason = firstError_;
    }
    return fail(error,
                openFailure(reason.isEmpty() ? QStringLiteral("it does not start") : reason));
}

void GstCameraView::showAsSoonAsArrived() {
    // A live camera delivers at its own pace, so waiting on the clock in the sink only adds a
    // thread wake-up per frame. A source that is not live (a file) still needs the clock, or it
    // would be read as fast as the processor allows.
    GstQuery* query = gst_query_new_latency();
    gboolean live = FALSE;
    if (gst_element_query(pipeline_.get(), query))
        gst_query_parse_latency(query, &live, nullptr, nullptr);
    gst_query_unref(query);
    if (!live) return;
    ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "frames"));
    if (sink) g_object_set(sink.get(), "sync", FALSE, nullptr);
}

void GstCameraView::teardownPipeline() {
    previewTimer_.stop();
    grabbed_.resize(0); // a picture of a stream that has stopped is not saved later
    if (!pipeline_) return;
    // NULL joins the streaming threads, so no callback runs past this point.
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    BusPtr bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    capsFilter_ = nullptr;
    videoSink_ = nullptr;
    pipeline_.reset();
    // The shown and the stored frame may belong to the camera driver's buffers, which keep the
    // device open: give them back, so that a camera unplugged now gets its node back when it
    // returns.
    if (preview_) preview_->clearFrame();
    slot_.dropFrame();
    shownSequence_ = 0;
}

bool GstCameraView::connectDriver(QString* error) {
    if (!preview_) return fail(error, QStringLiteral("The camera view has not been created"));
    disconnectDriver();
    // Start-up shows the format dialog next: it is built while the camera starts.
    if (!buildPipeline(error, Formats::Read, [this] { prepareFormatDialog(); })) {
        delete formatDialog_.data();
        teardownPipeline();
        return false;
    }
    connected_ = true;
    watchdog_.start();
    return true;
}

void GstCameraView::disconnectDriver() {
    delete formatDialog_.data();
    watchdog_.stop();
    retryTimer_.stop();
    stopDeviceWatch();
    teardownPipeline();
    connected_ = false;
    lost_ = false;
    lostReason_.clear();
    slot_.restart();
    if (preview_) preview_->clearLost();
}

void GstCameraView::setPreviewRate(int milliseconds) {
    previewRate_ = milliseconds;
    pacer_.setInterval(std::chrono::milliseconds(milliseconds));
    schedulePreview();
}

void GstCameraView::setPreview(bool on) {
    previewOn_ = on;
    pacer_.setOn(on);
    if (!on) previewTimer_.stop();
    schedulePreview();
}

GstFlowReturn GstCameraView::onNewSample(GstAppSink* sink, gpointer self) {
    auto* view = static_cast<GstCameraView*>(self);
    SamplePtr sample = adoptSample(gst_app_sink_pull_sample(sink));
    if (sample) view->storeFrame(std::move(sample));
    return GST_FLOW_OK;
}

GstPadProbeReturn GstCameraView::onSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
    auto* view = static_cast<GstCameraView*>(self);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    CapsPtr caps(gst_pad_get_current_caps(pad));
    view->storeFrame(adoptSample(gst_sample_new(buffer, caps.get(), nullptr, nullptr)));
    if (view->pacer_.admit(PreviewPacer::Clock::now())) return GST_PAD_PROBE_OK;
    // A gap in its place lets the sink preroll as a frame would, so a start with the preview
    // off does not wait for a frame that never comes.
    if (GST_BUFFER_PTS_IS_VALID(buffer))
        gst_pad_push_event(pad,
                           gst_event_new_gap(GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer)));
    return GST_PAD_PROBE_DROP;
}

void GstCameraView::storeFrame(SamplePtr sample) {
    // Streaming thread: store, and tell the GUI thread once for however many frames arrive
    // before it looks.
    if (slot_.put(std::move(sample)))
        QMetaObject::invokeMethod(this, &GstCameraView::onFrameArrived, Qt::QueuedConnection);
}

void GstCameraView::onFrameArrived() {
    // When the sink draws, only a stream's first frame is news here (it ends a loss and the
    // black); leaving the notice unread spares the GUI thread a wake-up for every later frame.
    if (!videoSink_) slot_.noticeRead();
    if (!pipeline_) return;
    if (lost_) {
        lost_ = false;
        lostReason_.clear();
        retryTimer_.stop();
        stopDeviceWatch();
        if (preview_) preview_->clearLost();
        emit cameraBack();
    }
    schedulePreview();
}

void GstCameraView::schedulePreview() {
    if (!previewOn_ || !preview_ || !pipeline_ || lost_) return;
    if (videoSink_) {
        // The sink shows the frames; the widget stops painting once there is one.
        if (slot_.latest().sequence != 0) preview_->showSinkVideo();
        return;
    }
    if (slot_.latest().sequence == shownSequence_) return; // nothing new to show
    if (previewRate_ <= 0 || !lastShown_.isValid() || lastShown_.elapsed() >= previewRate_) {
        showNewestFrame();
    } else if (!previewTimer_.isActive()) {
        previewTimer_.start(int(previewRate_ - lastShown_.elapsed()));
    }
}

void GstCameraView::dropWindowSink() {
    // Waits for it: a sink may not outlive the window it was given.
    if (windowSink_.valid()) windowSink_.get();
    windowSinkHasWindow_ = false;
}

void GstCameraView::prepareWindowSink() {
    if (windowSink_.valid() || QGuiApplication::platformName() != QLatin1String("xcb")) return;
    windowSink_ = std::async(std::launch::async, &openWindowSink);
}

void GstCameraView::onExposed() {
    if (videoSink_) gst_video_overlay_expose(GST_VIDEO_OVERLAY(videoSink_));
}

void GstCameraView::showNewestFrame() {
    if (!previewOn_ || !preview_ || !pipeline_ || lost_) return;
    FrameSlot::Frame frame = slot_.latest();
    if (!frame.sample || frame.sequence == shownSequence_) return;
    shownSequence_ = frame.sequence;
    lastShown_.start();
    preview_->showFrame(std::move(frame.sample));
}

GstBusSyncReply GstCameraView::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    auto* view = static_cast<GstCameraView*>(self);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        view->noteStreamProblem(describeErrorMessage(message));
        break;
    case GST_MESSAGE_EOS:
        view->noteStreamProblem(QStringLiteral("The camera stopped sending pictures"));
        break;
    default:
        break;
    }
    // Nobody pops this bus; dropping keeps it from filling up.
    return GST_BUS_DROP;
}

void GstCameraView::noteStreamProblem(const QString& reason) {
    const std::uint64_t epoch = epoch_.load();
    {
        std::lock_guard lock(errorMutex_);
        if (firstError_.isEmpty()) firstError_ = reason;
    }
    slot_.fail(reason); // a grab waiting right now gives up at once
    QMetaObject::invokeMethod(
        this, [this, epoch, reason] { onStreamProblem(epoch, reason); }, Qt::QueuedConnection);
}

void GstCameraView::onStreamProblem(std::uint64_t epoch, const QString& reason) {
    if (epoch != epoch_.load() || !pipeline_) return; // about a stream already gone
    if (lost_)
        teardownPipeline(); // a recovery attempt failed; the retry timer goes on
    else
        loseCamera(reason);
}

void GstCameraView::onWatchdog() {
    if (!pipeline_) return;
    const auto silence = FrameSlot::Clock::now() - slot_.lastArrival();
    if (silence < timing_.stallTimeout) return;
    if (lost_) {
        teardownPipeline();
        return;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(silence).count() / 1000.0;
    loseCamera(QStringLiteral("No picture from the camera for %1 seconds").arg(seconds, 0, 'f', 0));
}

void GstCameraView::loseCamera(const QString& reason) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = reason;
    teardownPipeline();
    slot_.fail(reason);
    if (preview_) preview_->showLost(reason);
    retryTimer_.start();
    startDeviceWatch();
    emit cameraLost(reason);
}

void GstCameraView::onRetry() {
    if (!connected_ || !lost_ || pipeline_) return;
    QString error;
    // Back in the format in use when the camera was lost; the first frame ends the loss.
    if (!buildPipeline(&error)) {
        teardownPipeline();
        slot_.fail(lostReason_);
    }
}

bool GstCameraView::grabFrame(QString* error) {
    if (!connected_) return fail(error, QStringLiteral("The camera is not connected"));
    if (lost_) return fail(error, QStringLiteral("Camera lost: %1").arg(lostReason_));
    grabbed_.resize(0); // a failed grab must not leave an older picture to be saved
    const std::uint64_t asked = slot_.sequence();
    FrameSlot::Frame frame;
    QString failure;
    // A plain wait: no other event handler of the program may run in the middle of a grab.
    if (!slot_.waitNewer(asked, timing_.grabTimeout, &frame, &failure)) {
        if (failure.isEmpty())
            failure = QStringLiteral("No new picture from the camera within %1 seconds")
                          .arg(timing_.grabTimeout.count() / 1000.0);
        return fail(error, failure);
    }
    // Encoded as the file at once, straight from the camera's buffer: no copy of the frame is
    // made, and the camera has its buffer back before the grab returns.
    {
        const MappedFrame mapped(std::move(frame.sample));
        if (!mapped.isValid())
            return fail(error, QStringLiteral("The camera's picture cannot be read"));
        encodeBmp(mapped.image(), &grabbed_);
    }
    return true;
}

bool GstCameraView::saveFrame(const QString& path, QString* error) {
    if (grabbed_.isEmpty()) return fail(error, QStringLiteral("No picture has been grabbed"));
    return saveFileAtomically(grabbed_, path, error);
}

QImage GstCameraView::grabbedFrame() const {
    return grabbed_.isEmpty() ? QImage() : QImage::fromData(grabbed_, "BMP");
}

void GstCameraView::prepareFormatDialog() {
    if (!preview_) return;
    delete formatDialog_.data();
    formatDialog_ = new FormatDialog(formats_, formatIndex_, preview_->window());
    // Styles, fonts and sizes too, so that showing it only has to put it on the screen.
    formatDialog_->ensurePolished();
    formatDialog_->layout()->activate();
}

void GstCameraView::videoFormatDialog() {
    if (!preview_) return;
    if (!formatDialog_) prepareFormatDialog();
    const std::unique_ptr<FormatDialog> dialog(formatDialog_.data());
    formatDialog_.clear();
    if (dialog->exec() != QDialog::Accepted) return;
    const int chosen = dialog->selectedIndex();
    if (chosen >= 0 && chosen != formatIndex_) applyFormat(chosen);
}

void GstCameraView::applyFormat(int index) {
    const int previous = formatIndex_;
    formatIndex_ = index;
    format_ = formats_[index];
    if (!pipeline_) return; // not running: the next start uses it
    QString error;
    if (renegotiate(&error)) return;
    // The camera listed the format but refused it: go back to the one that worked.
    formatIndex_ = previous;
    format_.reset();
    if (previous >= 0) format_ = formats_[previous];
    QString ignored;
    if (!renegotiate(&ignored)) loseCamera(error);
}

bool GstCameraView::renegotiate(QString* error) {
    if (!pipeline_ || needsDecoder(format_) != hasDecoder_ ||
        needsConverter(format_) != hasConverter_) {
        teardownPipeline();
        return buildPipeline(error);
    }
    // READY releases the negotiated format, so the source can take the new caps. It also
    // stops the streaming threads, so whatever the old stream reported is behind us. A picture
    // grabbed in the old format is not saved in the new one's place.
    grabbed_.resize(0);
    gst_element_set_state(pipeline_.get(), GST_STATE_READY);
    gst_element_get_state(pipeline_.get(), nullptr, nullptr, GST_CLOCK_TIME_NONE);
    ++epoch_;
    {
        std::lock_guard lock(errorMutex_);
        firstError_.clear();
    }
    CapsPtr caps(format_ ? format_->toCaps() : nullptr);
    g_object_set(capsFilter_, "caps", caps.get(), nullptr);
    slot_.restart();
    pacer_.restart();
    return startPlaying(error);
}

GstBusSyncReply GstCameraView::onDeviceMessage(GstBus*, GstMessage* message, gpointer self) {
    // Device monitor thread: a camera appeared; try at once instead of at the next retry.
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED)
        QMetaObject::invokeMethod(static_cast<GstCameraView*>(self), &GstCameraView::onRetry,
                                  Qt::QueuedConnection);
    return GST_BUS_DROP;
}

void GstCameraView::startDeviceWatch() {
    if (!device_ || deviceMonitor_) return;
    DeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    BusPtr bus(gst_device_monitor_get_bus(monitor.get()));
    gst_bus_set_sync_handler(bus.get(), &GstCameraView::onDeviceMessage, this, nullptr);
    if (!gst_device_monitor_start(monitor.get())) {
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        return; // the retry timer alone will do
    }
    deviceMonitor_ = std::move(monitor);
}

void GstCameraView::stopDeviceWatch() {
    if (!deviceMonitor_) return;
    gst_device_monitor_stop(deviceMonitor_.get());
    BusPtr bus(gst_device_monitor_get_bus(deviceMonitor_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    deviceMonitor_.reset();
}

QSize GstCameraView::pictureSize() const {
    return format_ ? QSize(format_->width, format_->height) : QSize();
}

} // namespace camera
