#include "camera/gst_camera_view.h"

#include "camera/bmp_writer.h"
#include "camera/camera_pipeline.h"
#include "camera/format_dialog.h"
#include "camera/gst_setup.h"
#include "camera/mapped_frame.h"
#include "camera/preview_widget.h"
#include "camera/source_element.h"
#include "camera/vanished_devices.h"

#include <QLayout>
#include <algorithm>

namespace camera {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

} // namespace

GstCameraView::GstCameraView(QObject* parent) : CameraView(parent) {
    connect(&watchdog_, &QTimer::timeout, this, &GstCameraView::onWatchdog);
    connect(&retryTimer_, &QTimer::timeout, this, &GstCameraView::onRetry);
    // Queued: the watch is stopped by what the retry brings about.
    connect(&deviceWatch_, &DeviceWatch::added, this, &GstCameraView::onRetry,
            Qt::QueuedConnection);
    setTiming(timing_);
}

GstCameraView::~GstCameraView() {
    disconnectDriver();
    windowSink_.drop();
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
    sinkDraws_ = WindowSink::available();
    if (sinkDraws_) {
        connect(preview, &PreviewWidget::exposed, this, [this] {
            if (pipeline_) pipeline_->expose();
        });
        // A sink drawing into a window that is gone would end the program with an X error.
        connect(preview, &PreviewWidget::videoWindowClosing, this, [this] {
            dropPipeline();
            awaitStoppedPipelines();
            windowSink_.drop();
        });
        // The sink takes its window (more round trips) on a thread of its own, beside the
        // opening of the camera.
        windowSink_.attach(preview->videoWindow());
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

std::unique_ptr<CameraPipeline> GstCameraView::newPipeline(ElementPtr source) {
    auto pipeline = std::make_unique<CameraPipeline>(std::move(source));
    pipeline->setPreviewRate(std::chrono::milliseconds(previewRate_));
    pipeline->setPreviewOn(previewOn_);
    connect(pipeline.get(), &CameraPipeline::frameArrived, this, &GstCameraView::onFrameArrived);
    connect(pipeline.get(), &CameraPipeline::failed, this, &GstCameraView::onPipelineFailed);
    return pipeline;
}

bool GstCameraView::completeAndStart(CameraPipeline* pipeline, QString* error) {
    ElementPtr sink = sinkDraws_ && preview_ ? windowSink_.take(preview_->videoWindow()) : nullptr;
    QString reason;
    if (pipeline->complete(format_, std::move(sink), &reason) && pipeline->start(&reason))
        return true;
    return fail(error, openFailure(reason));
}

bool GstCameraView::startPipeline(QString* error) {
    ElementPtr source = makeSource(error);
    if (!source) return false;
    std::unique_ptr<CameraPipeline> pipeline = newPipeline(std::move(source));
    if (!completeAndStart(pipeline.get(), error)) return false;
    pipeline_ = std::move(pipeline);
    return true;
}

void GstCameraView::dropPipeline() {
    grabbed_.resize(0); // a picture of a stream that has stopped is not saved later
    if (preview_) preview_->clearFrame();
    if (!pipeline_) return;
    pipeline_->disconnect(this); // nothing it still says reaches this view
    CameraPipeline* stopping = pipeline_.get();
    auto stop = [this, stopping] {
        stopping->stop();
        QMetaObject::invokeMethod(
            this, [this, stopping] { forgetStoppedPipeline(stopping); }, Qt::QueuedConnection);
    };
    retired_.push_back({std::move(pipeline_), std::async(std::launch::async, std::move(stop))});
}

void GstCameraView::awaitStoppedPipelines() {
    retired_.clear();
}

void GstCameraView::forgetStoppedPipeline(CameraPipeline* stopped) {
    // Its thread is returning: the wait for it is over at once. Deleting the pipeline gives its
    // last buffers back, and with them the camera's device.
    std::erase_if(retired_,
                  [stopped](const Retired& retired) { return retired.pipeline.get() == stopped; });
    // What GStreamer could not let go of itself when the camera vanished.
    if (lost_ && device_) releaseVanishedDevices();
    // A sink may leave its window black as it stops: the preview paints itself again.
    if (preview_) preview_->update();
}

bool GstCameraView::connectDriver(QString* error) {
    if (!preview_) return fail(error, QStringLiteral("The camera view has not been created"));
    disconnectDriver();
    ElementPtr source = makeSource(error);
    if (!source) return false;
    std::unique_ptr<CameraPipeline> pipeline = newPipeline(std::move(source));
    // The camera opens once: its formats are read in the pipeline it then plays in.
    QString reason;
    if (!pipeline->open(&formats_, &reason)) return fail(error, openFailure(reason));
    formatIndex_ = defaultFormatIndex(formats_);
    format_.reset();
    if (formatIndex_ >= 0) format_ = formats_[formatIndex_];
    if (!completeAndStart(pipeline.get(), error)) return false;
    // Start-up shows the format dialog next: it is built while the camera starts. Until the
    // window shows, waiting here is fine, and a camera that fails now fails the start-up.
    prepareFormatDialog();
    if (!pipeline->waitStarted(timing_.startTimeout, &reason)) {
        delete formatDialog_.data();
        return fail(error, openFailure(reason));
    }
    pipeline_ = std::move(pipeline);
    connected_ = true;
    watchdog_.start();
    return true;
}

void GstCameraView::disconnectDriver() {
    delete formatDialog_.data();
    watchdog_.stop();
    retryTimer_.stop();
    deviceWatch_.stop();
    dropPipeline();
    awaitStoppedPipelines();
    connected_ = false;
    lost_ = false;
    lostReason_.clear();
    if (preview_) preview_->clearLost();
}

void GstCameraView::setPreviewRate(int milliseconds) {
    previewRate_ = milliseconds;
    if (pipeline_) pipeline_->setPreviewRate(std::chrono::milliseconds(milliseconds));
}

void GstCameraView::setPreview(bool on) {
    previewOn_ = on;
    if (!pipeline_) return;
    pipeline_->setPreviewOn(on);
    if (on) showLatest();
}

void GstCameraView::showLatest() {
    if (!previewOn_ || !preview_ || !pipeline_ || lost_) return;
    SamplePtr frame = pipeline_->latestFrame().sample;
    if (!frame) return;
    // When the sink draws, the widget stops painting once there is a frame.
    if (pipeline_->sinkDraws())
        preview_->showSinkVideo();
    else
        preview_->showFrame(std::move(frame));
}

void GstCameraView::onFrameArrived() {
    if (lost_) {
        lost_ = false;
        lostReason_.clear();
        retryTimer_.stop();
        deviceWatch_.stop();
        if (preview_) preview_->clearLost();
        emit cameraBack();
    }
    showLatest();
}

void GstCameraView::onPipelineFailed(const QString& reason) {
    if (lost_)
        dropPipeline(); // a recovery attempt failed; the retry timer goes on
    else
        loseCamera(reason);
}

void GstCameraView::onWatchdog() {
    if (!pipeline_) return;
    const auto silence = FrameSlot::Clock::now() - pipeline_->lastArrival();
    if (silence < timing_.stallTimeout) return;
    if (lost_) {
        dropPipeline();
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
    dropPipeline();
    if (preview_) preview_->showLost(reason);
    retryTimer_.start();
    if (device_) deviceWatch_.start();
    emit cameraLost(reason);
}

void GstCameraView::onRetry() {
    if (!connected_ || !lost_ || pipeline_) return;
    // Back in the format in use when the camera was lost; its first frame ends the loss.
    QString ignored;
    startPipeline(&ignored);
}

bool GstCameraView::grabFrame(QString* error) {
    if (!connected_) return fail(error, QStringLiteral("The camera is not connected"));
    if (lost_ || !pipeline_) return fail(error, QStringLiteral("Camera lost: %1").arg(lostReason_));
    grabbed_.resize(0); // a failed grab must not leave an older picture to be saved
    SamplePtr sample;
    QString failure;
    // A plain wait: no other event handler of the program may run in the middle of a grab.
    if (!pipeline_->waitNewerFrame(timing_.grabTimeout, &sample, &failure)) {
        if (failure.isEmpty())
            failure = QStringLiteral("No new picture from the camera within %1 seconds")
                          .arg(timing_.grabTimeout.count() / 1000.0);
        return fail(error, failure);
    }
    // Encoded as the file at once, straight from the camera's buffer: no copy of the frame is
    // made, and the camera has its buffer back before the grab returns.
    const MappedFrame mapped(std::move(sample));
    if (!mapped.isValid())
        return fail(error, QStringLiteral("The camera's picture cannot be read"));
    encodeBmp(mapped.image(), &grabbed_);
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
    if (switchFormat(&error)) return;
    // The camera listed the format but refused it: go back to the one that worked.
    formatIndex_ = previous;
    format_.reset();
    if (previous >= 0) format_ = formats_[previous];
    QString ignored;
    if (!switchFormat(&ignored)) loseCamera(error);
}

bool GstCameraView::switchFormat(QString* error) {
    // A picture grabbed in the old format is not saved in the new one's place.
    grabbed_.resize(0);
    if (pipeline_ && pipeline_->canChangeTo(format_)) {
        QString reason;
        if (pipeline_->changeFormat(format_, timing_.startTimeout, &reason)) return true;
        return fail(error, openFailure(reason));
    }
    // To or from JPEG or the screen's own format: another chain of elements.
    dropPipeline();
    if (!startPipeline(error)) return false;
    QString reason;
    if (pipeline_->waitStarted(timing_.startTimeout, &reason)) return true;
    return fail(error, openFailure(reason));
}

QSize GstCameraView::pictureSize() const {
    return format_ ? QSize(format_->width, format_->height) : QSize();
}

} // namespace camera
