#include "camera/camera_engine.h"

#include "camera/camera_pipeline.h"
#include "camera/mapped_frame.h"
#include "camera/source_element.h"
#include "gst/gst_setup.h"
#include "secrets/masked_text.h"

namespace camera {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

} // namespace

CameraEngine::CameraEngine(QObject* parent) : QObject(parent) {}

CameraEngine::~CameraEngine() {
    stop();
    windowSink_.drop();
}

CameraEngine::Found CameraEngine::find(const QString& description,
                                       const std::optional<DeviceIdentity>& known, QString* error) {
    if (!gst::ensureGStreamer(error)) return Found::Invalid;
    stop();
    description_ = description.trimmed();
    device_.reset();
    controls_.close();
    if (!description_.isEmpty()) {
        // Parsed now so that a typing error shows at once; the opened pipeline uses it later.
        gst::ElementPtr source = makeSourceFromDescription(description_, error);
        if (!source) return Found::Invalid;
        label_ = QStringLiteral("\"%1\"").arg(secrets::masked(description_));
        openControls(v4l2DeviceOf(source.get()));
        return Found::Camera;
    }
    if (known) {
        // The camera may come back on another node: it is looked up by what it is.
        device_ = findCaptureDevice(*known);
        label_ = (device_ ? *device_ : *known).label();
        if (!device_) {
            fail(error, QStringLiteral("The camera %1 is not plugged in").arg(label_));
            return Found::NotPluggedIn;
        }
        openControls(device_->path);
        return Found::Camera;
    }
    device_ = findFirstCaptureDevice();
    if (!device_) return Found::NoCamera;
    label_ = device_->label();
    openControls(device_->path);
    return Found::Camera;
}

void CameraEngine::openControls(const QString& node) {
    noControls_.clear();
    if (node.isEmpty()) {
        noControls_ = description_.isEmpty()
                          ? QStringLiteral("This camera has no controls of its own.")
                          : QStringLiteral("The Source in Config.ini is not a V4L2 camera: it "
                                           "has no controls of its own.");
        return;
    }
    QString error;
    if (!controls_.open(node, &error)) {
        noControls_ = QStringLiteral("The camera's controls cannot be read: %1").arg(error);
        return;
    }
    if (controls_.list().isEmpty()) noControls_ = QStringLiteral("This camera has no controls.");
}

void CameraEngine::prepareWindowSink() {
    windowSink_.prepare();
}

void CameraEngine::setWindow(quint64 window) {
    window_ = window;
    if (!window_) return;
    // A running sink moves to the new window; else the one being opened is tied to it.
    if (pipeline_ && pipeline_->sinkDraws())
        pipeline_->setWindow(quintptr(window_));
    else
        windowSink_.attach(quintptr(window_));
}

gst::ElementPtr CameraEngine::makeSource(QString* error) {
    if (!description_.isEmpty()) return makeSourceFromDescription(description_, error);
    if (!device_) {
        fail(error, QStringLiteral("There is no camera"));
        return {};
    }
    return device_->makeSource(error);
}

QString CameraEngine::openFailure(const QString& reason) const {
    return QStringLiteral("The camera %1 cannot be opened: %2").arg(label_, reason);
}

std::unique_ptr<CameraPipeline> CameraEngine::newPipeline(gst::ElementPtr source) {
    auto pipeline = std::make_unique<CameraPipeline>(std::move(source));
    pipeline->setPreviewRate(std::chrono::milliseconds(previewRate_));
    pipeline->setPreviewOn(previewOn_);
    connect(pipeline.get(), &CameraPipeline::firstFrame, this, &CameraEngine::firstFrame);
    connect(pipeline.get(), &CameraPipeline::frameArrived, this, &CameraEngine::previewFrame);
    connect(pipeline.get(), &CameraPipeline::failed, this, &CameraEngine::failed);
    connect(pipeline.get(), &CameraPipeline::frozen, this, &CameraEngine::frozen);
    connect(pipeline.get(), &CameraPipeline::stillScene, this, &CameraEngine::stillScene);
    // Only a camera is watched: a test pattern stands still on purpose, and a network camera's
    // stream is its server's business.
    if (device_) pipeline->watchFrozen(FrozenWatch(frozenAfter_, frozeOn_));
    return pipeline;
}

bool CameraEngine::completeAndStart(CameraPipeline* pipeline, QString* error) {
    gst::ElementPtr sink = window_ ? windowSink_.take(quintptr(window_)) : nullptr;
    QString reason;
    if (pipeline->complete(format_, std::move(sink), &reason) && pipeline->start(&reason))
        return true;
    return fail(error, openFailure(reason));
}

bool CameraEngine::open(QList<VideoFormat>* formats, int* chosen, QString* error) {
    stop();
    gst::ElementPtr source = makeSource(error);
    if (!source) return false;
    std::unique_ptr<CameraPipeline> pipeline = newPipeline(std::move(source));
    QString reason;
    if (!pipeline->open(formats, &reason)) return fail(error, openFailure(reason));
    *chosen = defaultFormatIndex(*formats);
    format_.reset();
    if (*chosen >= 0) format_ = formats->at(*chosen);
    opened_ = std::move(pipeline);
    return true;
}

bool CameraEngine::start(bool wait, std::chrono::milliseconds timeout, QString* error) {
    if (!opened_) return fail(error, QStringLiteral("The camera has not been opened"));
    std::unique_ptr<CameraPipeline> pipeline = std::move(opened_);
    if (!completeAndStart(pipeline.get(), error)) return false;
    QString reason;
    if (wait && !pipeline->waitStarted(timeout, &reason)) return fail(error, openFailure(reason));
    pipeline_ = std::move(pipeline);
    return true;
}

bool CameraEngine::startIn(const std::optional<VideoFormat>& format, QString* error) {
    stop();
    format_ = format;
    gst::ElementPtr source = makeSource(error);
    if (!source) return false;
    std::unique_ptr<CameraPipeline> pipeline = newPipeline(std::move(source));
    if (!completeAndStart(pipeline.get(), error)) return false;
    pipeline_ = std::move(pipeline);
    return true;
}

bool CameraEngine::changeFormat(const VideoFormat& format, std::chrono::milliseconds timeout,
                                QString* error) {
    const std::optional<VideoFormat> previous = format_;
    format_ = format;
    if (!pipeline_) return true; // not running: the next start uses it
    if (switchTo(timeout, error)) return true;
    // The camera listed the format but refused it: back to the one that worked.
    format_ = previous;
    QString ignored;
    switchTo(timeout, &ignored);
    return false;
}

bool CameraEngine::switchTo(std::chrono::milliseconds timeout, QString* error) {
    if (pipeline_ && pipeline_->canChangeTo(format_)) {
        QString reason;
        if (pipeline_->changeFormat(format_, timeout, &reason)) return true;
        return fail(error, openFailure(reason));
    }
    // To or from JPEG or the screen's own format: another chain of elements.
    pipeline_.reset();
    gst::ElementPtr source = makeSource(error);
    if (!source) return false;
    std::unique_ptr<CameraPipeline> pipeline = newPipeline(std::move(source));
    if (!completeAndStart(pipeline.get(), error)) return false;
    QString reason;
    if (!pipeline->waitStarted(timeout, &reason)) return fail(error, openFailure(reason));
    pipeline_ = std::move(pipeline);
    return true;
}

void CameraEngine::setPreview(bool on, int milliseconds) {
    previewOn_ = on;
    previewRate_ = milliseconds;
    if (!pipeline_) return;
    pipeline_->setPreviewRate(std::chrono::milliseconds(milliseconds));
    pipeline_->setPreviewOn(on);
    if (on && pipeline_->hasFirstFrame() && !pipeline_->sinkDraws()) emit previewFrame();
}

void CameraEngine::expose() {
    if (pipeline_) pipeline_->expose();
}

bool CameraEngine::grab(FrameSlot::Clock::time_point asked, std::chrono::milliseconds timeout,
                        const GrabUse& use, QString* error) {
    if (!pipeline_) return fail(error, QStringLiteral("The camera is not running"));
    gst::SamplePtr sample;
    QString failure;
    FrameSlot::Clock::time_point arrival;
    if (!pipeline_->waitNewerFrame(asked, timeout, &sample, &failure, &arrival)) {
        if (failure.isEmpty())
            failure = QStringLiteral("No new picture from the camera within %1 seconds")
                          .arg(double(timeout.count()) / 1000.0);
        return fail(error, failure);
    }
    // Straight from the camera's buffer: the camera has it back once this returns.
    const MappedFrame mapped(std::move(sample));
    if (!mapped.isValid())
        return fail(error, QStringLiteral("The camera's picture cannot be read"));
    // The frame arrived a moment ago on the steady clock; the wall clock says when that was.
    const auto age =
        std::chrono::duration_cast<std::chrono::milliseconds>(FrameSlot::Clock::now() - arrival);
    use(mapped.pixels(), QDateTime::currentDateTimeUtc().addMSecs(-age.count()));
    return true;
}

gst::SamplePtr CameraEngine::latestFrame() const {
    return pipeline_ ? pipeline_->latestFrame().sample : gst::SamplePtr();
}

std::uint64_t CameraEngine::framesDelivered() const {
    return pipeline_ ? pipeline_->latestFrame().sequence : 0;
}

FrameSlot::Clock::time_point CameraEngine::lastFrameArrival() const {
    return pipeline_ ? pipeline_->lastArrival() : FrameSlot::Clock::time_point();
}

void CameraEngine::stop() {
    opened_.reset();
    pipeline_.reset();
}

} // namespace camera
