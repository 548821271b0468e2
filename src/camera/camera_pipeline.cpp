#include "camera/camera_pipeline.h"

#include "camera/format_caps.h"
#include "camera/mapped_frame.h"
#include "camera/window_sink.h"
#include "gst/gst_setup.h"

namespace camera {

namespace {

GstClockTime toClockTime(std::chrono::milliseconds duration) {
    return GstClockTime(duration.count()) * GST_MSECOND;
}

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

QString missingPlugin(const char* elements) {
    return QStringLiteral("a GStreamer plugin is missing (%1)").arg(QLatin1String(elements));
}

// A camera sending JPEG pictures needs them decoded.
bool needsDecoder(const std::optional<VideoFormat>& format) {
    return format && format->isJpeg();
}

// Frames already in the screen's format, which grabs keep too, pass without a converter.
bool needsConverter(const std::optional<VideoFormat>& format) {
    return !format || format->isJpeg() || format->pixelFormat != QLatin1String(nativeRgb32Format());
}

gst::ElementPtr newPipeline() {
    return gst::adoptElement(gst_pipeline_new("lumivex-camera"));
}

gst::BusPtr busOf(const gst::ElementPtr& pipeline) {
    return gst::BusPtr(gst_element_get_bus(pipeline.get()));
}

} // namespace

CameraPipeline::CameraPipeline(gst::ElementPtr source, QObject* parent)
    : QObject(parent), pipeline_(newPipeline()),
      bus_(
          busOf(pipeline_).get(), [this](GstMessage* message) { return keepMessage(message); },
          [this](GstMessage* message) { handleMessage(message); }) {
    source_ = source.get();
    // The bin adds a reference of its own (ours is not floating); ours goes with `source`.
    gst_bin_add(GST_BIN(pipeline_.get()), source.get());
}

CameraPipeline::~CameraPipeline() {
    stop();
}

void CameraPipeline::stop() {
    // NULL joins the streaming threads and closes the device: no callback runs past this point.
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    // The stored frame may be one of the driver's buffers, which keep the device open.
    slot_.dropFrame();
}

bool CameraPipeline::open(QList<VideoFormat>* offered, QString* error) {
    if (gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return fail(error, failureOnBus(QStringLiteral("it does not start")));
    gst::PadPtr pad(gst_element_get_static_pad(source_, "src"));
    gst::CapsPtr caps(pad ? gst_pad_query_caps(pad.get(), nullptr) : nullptr);
    *offered = formatsFromCaps(caps.get());
    return true;
}

bool CameraPipeline::complete(const std::optional<VideoFormat>& format, gst::ElementPtr windowSink,
                              QString* error) {
    GstBin* bin = GST_BIN(pipeline_.get());
    GstElement* capsFilter = gst_element_factory_make("capsfilter", "format");
    const bool jpeg = needsDecoder(format);
    GstElement* decoder = jpeg ? gst_element_factory_make("jpegdec", "decoder") : nullptr;
    const bool converting = needsConverter(format);
    GstElement* convert =
        converting ? gst_element_factory_make("videoconvert", "convert") : nullptr;
    GstElement* frames = gst_element_factory_make("capsfilter", "bgrx");
    if (!capsFilter || !frames || (jpeg && !decoder) || (converting && !convert)) {
        for (GstElement* element : {capsFilter, decoder, convert, frames})
            if (element) gst_object_unref(gst_object_ref_sink(element));
        return fail(error, missingPlugin("capsfilter, jpegdec or videoconvert"));
    }
    gst_bin_add_many(bin, capsFilter, frames, nullptr);
    if (decoder) gst_bin_add(bin, decoder);
    if (convert) gst_bin_add(bin, convert);
    if (format) {
        gst::CapsPtr caps(formatCaps(*format));
        g_object_set(capsFilter, "caps", caps.get(), nullptr);
    }
    gst::CapsPtr framesCaps(
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, nativeRgb32Format(), nullptr));
    g_object_set(frames, "caps", framesCaps.get(), nullptr);

    // source ! format [! decoder] [! convert] ! bgrx
    GstElement* last = capsFilter;
    bool linked = gst_element_link(source_, capsFilter);
    for (GstElement* next : {decoder, convert})
        if (next && linked) {
            linked = gst_element_link(last, next);
            last = next;
        }
    if (!linked || !gst_element_link(last, frames))
        return fail(error, QStringLiteral("its output cannot be turned into pictures"));
    capsFilter_ = capsFilter;
    hasDecoder_ = decoder != nullptr;
    hasConverter_ = convert != nullptr;
    return addSink(frames, std::move(windowSink), error);
}

bool CameraPipeline::addSink(GstElement* frames, gst::ElementPtr windowSink, QString* error) {
    GstBin* bin = GST_BIN(pipeline_.get());
    if (!windowSink) {
        GstElement* sink = gst_element_factory_make("appsink", "frames");
        if (!sink) return fail(error, missingPlugin("appsink"));
        gst_bin_add(bin, sink);
        // One frame queued at most, the older one dropped: the preview and grabs want the newest.
        g_object_set(sink, "max-buffers", 1u, "drop", TRUE, "enable-last-sample", FALSE, "sync",
                     TRUE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &CameraPipeline::onNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        if (!gst_element_link(frames, sink)) return fail(error, missingPlugin("appsink"));
        return true;
    }
    GstElement* scale = gst_element_factory_make("videoconvertscale", "scale");
    if (!scale) return fail(error, missingPlugin("videoconvertscale or ximagesink"));
    GstElement* sink = windowSink.get(); // the bin adds a reference; ours goes with windowSink
    gst_bin_add_many(bin, scale, sink, nullptr);
    // The sink asks for pictures of its window's size, which the scaler makes keeping the aspect
    // ratio with black bars (add-borders); at that size already it passes frames through
    // untouched. Frames the preview rate leaves out never get here. Nearest neighbour: it is
    // only a preview.
    gst_util_set_object_arg(G_OBJECT(scale), "method", "nearest-neighbour");
    gst::PadPtr pad(gst_element_get_static_pad(frames, "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &CameraPipeline::onSinkBuffer, this,
                      nullptr);
    if (!gst_element_link_many(frames, scale, sink, nullptr))
        return fail(error, missingPlugin("videoconvertscale or ximagesink"));
    videoSink_ = sink;
    return true;
}

bool CameraPipeline::start(QString* error) {
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE)
        return true;
    return fail(error, failureOnBus(QStringLiteral("it does not start")));
}

bool CameraPipeline::waitStarted(std::chrono::milliseconds timeout, QString* error) {
    // A live source may take a while to deliver its first frame; that alone is no failure
    // (the watchdog covers a camera that never delivers).
    if (gst_element_get_state(pipeline_.get(), nullptr, nullptr, toClockTime(timeout)) !=
        GST_STATE_CHANGE_FAILURE)
        return true;
    return fail(error, failureOnBus(QStringLiteral("it does not start")));
}

QString CameraPipeline::failureOnBus(const QString& fallback) {
    // The error message may trail the failed state change from a streaming thread.
    gst::MessagePtr message =
        bus_.pop(GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS), 200 * GST_MSECOND);
    if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
        return gst::describeErrorMessage(message.get());
    return fallback;
}

bool CameraPipeline::canChangeTo(const std::optional<VideoFormat>& format) const {
    return needsDecoder(format) == hasDecoder_ && needsConverter(format) == hasConverter_;
}

bool CameraPipeline::changeFormat(const std::optional<VideoFormat>& format,
                                  std::chrono::milliseconds timeout, QString* error) {
    // READY releases the negotiated format, so the source can take the new caps. It also stops
    // the streaming threads, so the frames and failures of the old format are behind us.
    gst_element_set_state(pipeline_.get(), GST_STATE_READY);
    if (gst_element_get_state(pipeline_.get(), nullptr, nullptr, toClockTime(timeout)) ==
        GST_STATE_CHANGE_FAILURE)
        return fail(error, failureOnBus(QStringLiteral("it does not stop")));
    gst::BusPtr bus(gst_element_get_bus(pipeline_.get()));
    gst_bus_set_flushing(bus.get(), TRUE); // what the old stream said is old news
    gst_bus_set_flushing(bus.get(), FALSE);
    gst::CapsPtr caps(format ? formatCaps(*format) : nullptr);
    g_object_set(capsFilter_, "caps", caps.get(), nullptr);
    slot_.restart();
    pacer_.restart();
    failed_ = false;
    firstFrameSeen_.store(false);
    return start(error) && waitStarted(timeout, error);
}

void CameraPipeline::setWindow(quintptr window) {
    WindowSink::moveTo(videoSink_, window);
}

void CameraPipeline::expose() {
    WindowSink::expose(videoSink_);
}

bool CameraPipeline::waitNewerFrame(FrameSlot::Clock::time_point since,
                                    std::chrono::milliseconds timeout, gst::SamplePtr* sample,
                                    QString* failure, FrameSlot::Clock::time_point* arrival) {
    FrameSlot::Frame frame;
    if (!slot_.waitNewer(since, timeout, &frame, failure)) return false;
    *sample = std::move(frame.sample);
    if (arrival) *arrival = frame.arrival;
    return true;
}

bool CameraPipeline::keepMessage(GstMessage* message) {
    // Any thread. A grab waiting right now gives up at once; the GUI thread hears of it later.
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        slot_.fail(gst::describeErrorMessage(message));
        return true;
    case GST_MESSAGE_EOS:
        slot_.fail(QStringLiteral("The camera stopped sending pictures"));
        return true;
    default:
        return false;
    }
}

void CameraPipeline::handleMessage(GstMessage* message) {
    if (failed_) return;
    failed_ = true;
    emit failed(GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR
                    ? gst::describeErrorMessage(message)
                    : QStringLiteral("The camera stopped sending pictures"));
}

GstFlowReturn CameraPipeline::onNewSample(GstAppSink* sink, gpointer self) {
    auto* pipeline = static_cast<CameraPipeline*>(self);
    gst::SamplePtr sample = gst::adoptSample(gst_app_sink_pull_sample(sink));
    if (sample)
        pipeline->storeFrame(std::move(sample), pipeline->pacer_.admit(PreviewPacer::Clock::now()));
    return GST_FLOW_OK;
}

GstPadProbeReturn CameraPipeline::onSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
    auto* pipeline = static_cast<CameraPipeline*>(self);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    gst::CapsPtr caps(gst_pad_get_current_caps(pad));
    const bool shown = pipeline->pacer_.admit(PreviewPacer::Clock::now());
    pipeline->storeFrame(gst::adoptSample(gst_sample_new(buffer, caps.get(), nullptr, nullptr)),
                         shown);
    if (shown) return GST_PAD_PROBE_OK;
    // A gap in its place lets the sink preroll as a frame would, so a start with the preview
    // off does not wait for a frame that never comes.
    if (GST_BUFFER_PTS_IS_VALID(buffer))
        gst_pad_push_event(pad,
                           gst_event_new_gap(GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer)));
    return GST_PAD_PROBE_DROP;
}

void CameraPipeline::storeFrame(gst::SamplePtr sample, bool shown) {
    lookForFreeze(sample);
    slot_.put(std::move(sample));
    // The GUI thread hears of the first frame (it ends a loss and the black) and, when it paints
    // the preview, of the frames to show; once for however many arrive before it looks. When
    // the sink draws, the GUI thread is not woken for every frame.
    const bool first = !firstFrameSeen_.exchange(true);
    if ((first || (shown && !videoSink_)) && !noticePending_.exchange(true))
        QMetaObject::invokeMethod(this, &CameraPipeline::onFrameNotice, Qt::QueuedConnection);
}

void CameraPipeline::lookForFreeze(const gst::SamplePtr& sample) {
    const auto now = FrozenWatch::Clock::now();
    if (!sample || !frozen_.wants(now)) return;
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
    // BGRx rows: four bytes a pixel, no padding at these widths.
    int width = 0;
    if (GstCaps* caps = gst_sample_get_caps(sample.get()); caps && gst_caps_get_size(caps) > 0)
        gst_structure_get_int(gst_caps_get_structure(caps, 0), "width", &width);
    const std::uint64_t print = frameFingerprint(map.data, map.size, std::size_t(width) * 4);
    gst_buffer_unmap(buffer, &map);
    switch (frozen_.see(print, now)) {
    case FrozenWatch::Verdict::Fine:
        return;
    case FrozenWatch::Verdict::Frozen:
        QMetaObject::invokeMethod(
            this, [this, print] { emit frozen(print); }, Qt::QueuedConnection);
        return;
    case FrozenWatch::Verdict::StillScene:
        QMetaObject::invokeMethod(this, &CameraPipeline::stillScene, Qt::QueuedConnection);
        return;
    }
}

void CameraPipeline::onFrameNotice() {
    noticePending_.store(false);
    if (!firstFrameHandled_) {
        firstFrameHandled_ = true;
        showAsSoonAsArrived();
        emit firstFrame();
    }
    if (!videoSink_) emit frameArrived();
}

void CameraPipeline::showAsSoonAsArrived() {
    // A live camera delivers at its own pace, so waiting on the clock in the sink only adds a
    // thread wake-up per frame. A source that is not live (a file) still needs the clock, or it
    // would be read as fast as the processor allows.
    GstQuery* query = gst_query_new_latency();
    gboolean live = FALSE;
    if (gst_element_query(pipeline_.get(), query))
        gst_query_parse_latency(query, &live, nullptr, nullptr);
    gst_query_unref(query);
    if (!live) return;
    gst::ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "frames"));
    if (sink) g_object_set(sink.get(), "sync", FALSE, nullptr);
}

} // namespace camera
