#include "video_process/video_encoder.h"

#include "gst/bus_watch.h"
#include "gst/gst_setup.h"
#include "video_process/picture_reader.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gst/app/gstappsrc.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace video_process {

// Hands the pictures to appsrc one at a time, decoding each when the pipeline asks for it, so
// memory holds one picture whatever the length of the run. Runs on the streaming thread; the
// counts are read by the GUI thread.
class Feeder {
public:
    Feeder(QString dir, QStringList files, int fps, QPointer<VideoEncoder> owner)
        : dir_(std::move(dir)), files_(std::move(files)), fps_(fps), owner_(std::move(owner)) {}

    void skip(const QString& name) {
        std::lock_guard lock(mutex_);
        if (skipped_++ == 0) firstSkipped_ = name;
    }
    int frames() const { return frames_; }
    std::pair<int, QString> skipped() const {
        std::lock_guard lock(mutex_);
        return {skipped_, firstSkipped_};
    }

    void pushNext(GstAppSrc* src) {
        while (next_ < files_.size()) {
            const QString& name = files_[next_++];
            if (GstBuffer* frame = reader_.read(dir_ + QLatin1Char('/') + name)) {
                push(src, frame);
                return;
            }
            skip(name);
        }
        gst_app_src_end_of_stream(src);
    }

private:
    void push(GstAppSrc* src, GstBuffer* buffer) {
        if (frames_ == 0) {
            const QSize size = reader_.size();
            gst::CapsPtr caps(gst_caps_new_simple(
                "video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT, size.width(),
                "height", G_TYPE_INT, size.height(), "framerate", GST_TYPE_FRACTION, fps_, 1,
                "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
            gst_app_src_set_caps(src, caps.get());
        }
        const int index = frames_;
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(guint64(index), GST_SECOND, guint64(fps_));
        GST_BUFFER_DURATION(buffer) =
            gst_util_uint64_scale(guint64(index + 1), GST_SECOND, guint64(fps_)) -
            GST_BUFFER_PTS(buffer);
        frames_ = index + 1;
        gst_app_src_push_buffer(src, buffer);
        const int done = int(next_);
        const int total = int(files_.size());
        QMetaObject::invokeMethod(
            owner_.data(),
            [owner = owner_, done, total] {
                if (owner) emit owner->progress(done, total);
            },
            Qt::QueuedConnection);
    }

    const QString dir_;
    const QStringList files_;
    const int fps_;
    const QPointer<VideoEncoder> owner_;
    qsizetype next_ = 0;   // the streaming thread's alone
    PictureReader reader_; // the streaming thread's alone
    std::atomic<int> frames_{0};
    mutable std::mutex mutex_;
    int skipped_ = 0;
    QString firstSkipped_;
};

namespace {

// Names the package that brings a missing element, so the user knows what to install.
QString packageOf(const QString& factory) {
    if (factory == QLatin1String("x264enc")) return QStringLiteral("gstreamer1.0-plugins-ugly");
    if (factory == QLatin1String("mp4mux") || factory == QLatin1String("filesink"))
        return QStringLiteral("gstreamer1.0-plugins-good");
    return QStringLiteral("gstreamer1.0-plugins-base");
}

bool isDiskFull(GstMessage* message, const QString& text) {
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    gst::ErrorPtr error(raw);
    return (error && error->domain == GST_RESOURCE_ERROR &&
            error->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT) ||
           text.contains(QLatin1String("No space left"));
}

// x264enc tags its stream with its bitrate setting as the maximum bitrate (2048 kbit/s unless
// set), whatever constant quality really gives, and the muxer would write that figure into the
// file. Its tags pass on without bitrate figures, so the file declares no bitrate it does not
// have.
void dropBitrateClaims(GstElement* encoder) {
    const gst::PadPtr pad(gst_element_get_static_pad(encoder, "src"));
    if (!pad) return;
    gst_pad_add_probe(
        pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) != GST_EVENT_TAG) return GST_PAD_PROBE_OK;
            GstTagList* tags = nullptr;
            gst_event_parse_tag(event, &tags);
            GstTagList* kept = gst_tag_list_copy(tags);
            for (const char* claim : {GST_TAG_BITRATE, GST_TAG_NOMINAL_BITRATE,
                                      GST_TAG_MINIMUM_BITRATE, GST_TAG_MAXIMUM_BITRATE})
                gst_tag_list_remove_tag(kept, claim);
            GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_tag(kept);
            gst_event_unref(event);
            return GST_PAD_PROBE_OK;
        },
        nullptr, nullptr);
}

// Makes the written bytes durable before the rename makes them the video.
bool syncFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ::fsync(file.handle()) == 0;
}

} // namespace

VideoEncoder::VideoEncoder(QObject* parent) : QObject(parent) {}

VideoEncoder::~VideoEncoder() {
    cancel();
}

bool VideoEncoder::start(const VideoJob& job, QString* error) {
    if (busy()) {
        *error = QStringLiteral("A video is being made already.");
        return false;
    }
    // Whatever stops the start, nothing of the video is left.
    temporaryPath_ = job.temporaryPath;
    if (!gst::ensureGStreamer(error)) {
        removeTemporaryFiles();
        return false;
    }
    const QString runName = QFileInfo(job.runDir).fileName();
    if (job.pictures.isEmpty()) {
        *error = QStringLiteral("There are no readable pictures in \"%1\".").arg(runName);
        removeTemporaryFiles();
        return false;
    }
    const EncoderSettings& settings = job.settings;

    gst::ElementPtr pipeline = gst::adoptElement(gst_pipeline_new("video"));
    const auto make = [&](const QString& factory) -> GstElement* {
        GstElement* element = gst_element_factory_make(factory.toUtf8().constData(), nullptr);
        if (element) gst_bin_add(GST_BIN(pipeline.get()), element);
        return element;
    };
    GstElement* src = make(QStringLiteral("appsrc"));
    GstElement* convert = make(QStringLiteral("videoconvert"));
    GstElement* filter = make(QStringLiteral("capsfilter"));
    GstElement* encoder = make(settings.encoder);
    GstElement* muxer = make(settings.muxer);
    GstElement* sink = make(QStringLiteral("filesink"));
    const std::pair<GstElement*, QString> needed[] = {{src, QStringLiteral("appsrc")},
                                                      {convert, QStringLiteral("videoconvert")},
                                                      {filter, QStringLiteral("capsfilter")},
                                                      {encoder, settings.encoder},
                                                      {muxer, settings.muxer},
                                                      {sink, QStringLiteral("filesink")}};
    for (const auto& [element, factory] : needed) {
        if (element) continue;
        *error = QStringLiteral("The GStreamer element \"%1\" is missing: install the package "
                                "%2.")
                     .arg(factory, packageOf(factory));
        removeTemporaryFiles();
        return false;
    }

    // 4:2:0 in limited range, the form common players take.
    gst::CapsPtr i420(gst_caps_from_string("video/x-raw,format=I420"));
    g_object_set(filter, "caps", i420.get(), nullptr);
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset",
                            settings.speedPreset.toUtf8().constData());
    gst_util_set_object_arg(G_OBJECT(encoder), "pass", "qual");
    g_object_set(encoder, "quantizer", guint(settings.quality), nullptr);
    // Constant quality alone: no bitrate cap (x264enc would cap it at its default bitrate).
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(encoder), "vbv-buf-capacity"))
        g_object_set(encoder, "vbv-buf-capacity", 0u, nullptr);
    dropBitrateClaims(encoder);
    // The index goes in front of the media data, so players can start before the end arrives.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(muxer), "faststart"))
        g_object_set(muxer, "faststart", TRUE, "faststart-file",
                     muxerDataPath(temporaryPath_).toUtf8().constData(), nullptr);
    g_object_set(sink, "location", temporaryPath_.toUtf8().constData(), nullptr);
    g_object_set(src, "format", GST_FORMAT_TIME, "stream-type", GST_APP_STREAM_TYPE_STREAM,
                 nullptr);
    if (!gst_element_link_many(src, convert, filter, encoder, muxer, sink, nullptr)) {
        *error = QStringLiteral("The video pipeline cannot be linked.");
        removeTemporaryFiles();
        return false;
    }

    auto feeder =
        std::make_shared<Feeder>(job.runDir, job.pictures, job.fps, QPointer<VideoEncoder>(this));
    for (const QString& name : job.foreign)
        feeder->skip(name);
    // The pipeline keeps the feeder alive for as long as its threads may call it: the user data
    // is a shared pointer of its own.
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = [](GstAppSrc* s, guint, gpointer p) {
        (*static_cast<std::shared_ptr<Feeder>*>(p))->pushNext(s);
    };
    gst_app_src_set_callbacks(GST_APP_SRC(src), &callbacks, new std::shared_ptr<Feeder>(feeder),
                              [](gpointer p) { delete static_cast<std::shared_ptr<Feeder>*>(p); });

    // The end and errors reach this thread through the bus watch; nothing else is kept.
    gst::BusPtr bus(gst_element_get_bus(pipeline.get()));
    bus_ = std::make_unique<gst::BusWatch>(
        bus.get(),
        [](GstMessage* message) {
            return GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS ||
                   GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
        },
        [this](GstMessage* message) { handleBusMessage(message); });
    pipeline_ = std::move(pipeline);
    feeder_ = std::move(feeder);
    videoPath_ = job.videoPath;
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        stopPipeline();
        removeTemporaryFiles();
        *error = QStringLiteral("The video pipeline cannot start.");
        return false;
    }
    return true;
}

void VideoEncoder::handleBusMessage(GstMessage* message) {
    if (!busy()) return;
    VideoResult result;
    result.frames = feeder_->frames();
    std::tie(result.skipped, result.firstSkipped) = feeder_->skipped();
    const QString runName = QFileInfo(videoPath_).completeBaseName();
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        const QString text = gst::describeErrorMessage(message);
        result.error = isDiskFull(message, text)
                           ? QStringLiteral("The disk is full: the video could not be written.")
                           : QStringLiteral("The video could not be made: %1").arg(text);
        if (result.frames == 0 && feeder_->skipped().first > 0)
            result.error = QStringLiteral("There are no readable pictures in \"%1\".").arg(runName);
        finish(std::move(result));
        return;
    }
    stopPipeline(); // closes the file
    if (result.frames == 0) {
        result.error = QStringLiteral("There are no readable pictures in \"%1\".").arg(runName);
    } else if (!syncFile(temporaryPath_)) {
        result.error = QStringLiteral("The disk is full: the video could not be written.");
    } else if (::rename(QFile::encodeName(temporaryPath_).constData(),
                        QFile::encodeName(videoPath_).constData()) != 0) {
        result.error = QStringLiteral("The video could not be saved: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
    } else {
        result.ok = true;
        result.videoPath = videoPath_;
    }
    finish(std::move(result));
}

void VideoEncoder::finish(VideoResult result) {
    stopPipeline();
    removeTemporaryFiles();
    feeder_.reset();
    emit finished(result);
}

void VideoEncoder::cancel() {
    if (!busy()) return;
    stopPipeline();
    removeTemporaryFiles();
    feeder_.reset();
}

// Stopping waits for the streaming threads, which are at most one picture away from a pause.
void VideoEncoder::stopPipeline() {
    if (!pipeline_) return;
    bus_.reset(); // what the stopping pipeline still says is nobody's news
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    pipeline_.reset();
}

void VideoEncoder::removeTemporaryFiles() {
    removeTemporaryVideo(temporaryPath_);
    temporaryPath_.clear();
}

} // namespace video_process
