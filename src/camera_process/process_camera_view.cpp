#include "camera_process/process_camera_view.h"

#include "camera_process/frame_receiver.h"
#include "camera_process/preview_widget.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/wire_format.h"
#include "secrets/masked_text.h"

#include <QCborMap>
#include <QLoggingCategory>
#include <algorithm>

// What the link to the camera does, for whoever runs the program with
// QT_LOGGING_RULES="lumivex.camera.debug=true" (the device tests do).
Q_LOGGING_CATEGORY(cameraLog, "lumivex.camera", QtWarningMsg)

namespace camera_process {

using namespace std::chrono_literals;
using view::fail;
using view::ProcessEnded;
using view::ProcessHangs;

ProcessCameraView::ProcessCameraView(QString program, QObject* parent)
    : CameraView(parent), host_(std::move(program)),
      expected_([this] { return host_.talking() ? view::ProcessHangs : view::ProcessEnded; }) {
    connect(&watchdog_, &QTimer::timeout, this, &ProcessCameraView::onWatchdog);
    // A camera process in standby is started a while after the camera runs (not to slow the
    // start-up), so that a fault finds one with GStreamer loaded.
    standbyTimer_.setSingleShot(true);
    standbyTimer_.setInterval(2000);
    connect(&standbyTimer_, &QTimer::timeout, this, &ProcessCameraView::startStandby);
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        // Tries come soon after a loss, most faults being over once the process that met them
        // is gone, then at the retry interval: after 250 ms, 500 ms more, 1 s more, then every
        // 2 s by default.
        ++triesSinceLoss_;
        const std::chrono::milliseconds soon = triesSinceLoss_ == 1 ? 500ms : 1000ms;
        retryTimer_.setInterval(triesSinceLoss_ <= 2 ? std::min(timing_.retryInterval, soon)
                                                     : timing_.retryInterval);
        happen(LinkEvent::RetryDue);
    });
    connect(&grabs_, &GrabRequests::expired, this, &ProcessCameraView::onGrabsExpired);
    setTiming(timing_);
}

ProcessCameraView::~ProcessCameraView() {
    disconnectDriver();
    endProcess();
    if (previewOwned_) delete preview_.data();
}

void ProcessCameraView::setTiming(const Timing& timing) {
    timing_ = timing;
    // The camera process reports its frames every 100 ms (a fiftieth of the allowed silence when
    // that is shorter) and they are checked as often: a stall is noticed at most 0.2 s late.
    watchdog_.setInterval(std::clamp(timing_.stallTimeout / 50, 10ms, 100ms));
    retryTimer_.setInterval(timing_.retryInterval);
}

pid_t ProcessCameraView::cameraProcessId() const {
    return host_.pid();
}

void ProcessCameraView::prepare() {
    host_.prepare();
}

void ProcessCameraView::takeStandby() {
    // The standby has loaded GStreamer long ago: the next try need not wait for that.
    endProcess();
    if (host_.takeStandby())
        listen();
    else
        startProcess(nullptr);
}

void ProcessCameraView::startStandby() {
    if (link_ == Link::Streaming) host_.startStandby();
}

bool ProcessCameraView::startProcess(QString* error) {
    endProcess();
    if (!host_.start(error)) return false;
    listen();
    return true;
}

void ProcessCameraView::listen() {
    connect(&host_.now()->channel(), &Channel::received, this, &ProcessCameraView::onMessage,
            Qt::UniqueConnection);
    connect(&host_.now()->channel(), &Channel::closed, this, &ProcessCameraView::onProcessGone,
            Qt::UniqueConnection);
    alive_.newProcess();
    ++processSerial_;
    // What was sent to the process before is asked again of this one with its first frame.
    controls_.newProcess();
    shownSlot_ = -1;
    frames_.reset();
    processDraws_ = false;
}

void ProcessCameraView::endProcess() {
    expected_.fail(ProcessEnded);
    forgetGrab();
    failPendingGrabs(lostReason_.isEmpty() ? ProcessEnded
                                           : QStringLiteral("Camera lost: %1").arg(lostReason_));
    frames_.reset();
    shownSlot_ = -1;
    if (preview_) preview_->clearFrame();
    if (!host_.now()) return;
    ++processSerial_; // what is still to come about it is stale
    host_.now()->channel().disconnect(this);
    host_.end();
    // A sink may leave its window black as the process goes: the preview paints itself again.
    if (preview_) preview_->update();
}

bool ProcessCameraView::send(const Message& message, int fd) {
    if (host_.now() && host_.now()->channel().send(message, fd)) return true;
    // Too large for the socket: not sent, and the process is none the worse for it.
    if (host_.talking() && host_.now()->channel().tooLarge()) {
        qCWarning(cameraLog) << "not sent, too large:" << message.verb;
        return false;
    }
    // Not taken: the process is gone or does not read.
    later(LinkEvent::NoAnswer, ProcessHangs);
    return false;
}

void ProcessCameraView::later(LinkEvent event, const QString& reason) {
    QMetaObject::invokeMethod(
        this,
        [this, event, reason, about = processSerial_] {
            if (about == processSerial_) happen(event, reason);
        },
        Qt::QueuedConnection);
}

void ProcessCameraView::broken(const QString& reason) {
    qCDebug(cameraLog) << "the camera process broke the protocol:" << reason;
    happen(LinkEvent::Failure, reason);
}

Message ProcessCameraView::openRequest(bool window) const {
    QCborMap fields{{QLatin1String("source"), description_},
                    {QLatin1String("heartbeat"),
                     qint64(std::clamp(timing_.stallTimeout / 50, 10ms, 100ms).count())}};
    if (device_) fields.insert(QLatin1String("camera"), deviceToWire(*device_));
    fields.insert(QLatin1String("frozenAfter"), frozenAfter_);
    if (frozeOn_) fields.insert(QLatin1String("frozeOn"), *frozeOn_);
    if (window && sinkDraws_ && preview_)
        fields.insert(QLatin1String("window"), qint64(preview_->videoWindow()));
    return Message(QStringLiteral("open"), fields);
}

void ProcessCameraView::wireSinkPreview() {
    connect(preview_, &camera::PreviewWidget::exposed, this,
            [this] { send(Message(QStringLiteral("expose"))); });
    // The sink would draw into a window that is gone (an X error, and the process replaced).
    connect(preview_, &camera::PreviewWidget::videoWindowChanged, this, [this] {
        if (host_.now())
            send(Message(QStringLiteral("window"),
                         {{QLatin1String("window"), qint64(preview_->videoWindow())}}));
    });
    // A process drawing into a window that is gone is of no use: it goes first.
    connect(preview_, &camera::PreviewWidget::videoWindowClosing, this, [this] {
        happen(LinkEvent::Disconnect);
        endProcess();
    });
}

void ProcessCameraView::disconnectDriver() {
    expected_.drop(); // a start-up or format change under way goes no further
    // Settings just sent (the automatics given back at the end of a run) are applied before the
    // camera process goes, or the camera would keep the run's manual settings. The window is
    // gone by then (or being replaced): this short wait is seen by nobody.
    if (controls_.applyPending() && link_ == Link::Streaming && host_.talking()) {
        Message answer;
        host_.now()->channel().waitFor(
            [](const Message& message) { return message.is(QLatin1String("controls-applied")); },
            1s, &answer);
    }
    controls_.forget();
    chooser_.dropDialog();
    standbyTimer_.stop();
    host_.dropStandby();
    happen(LinkEvent::Disconnect);
    watchdog_.stop();
    retryTimer_.stop();
    endProcess();
    link_ = Link::Idle;
    lostReason_.clear();
    if (preview_) preview_->clearLost();
    releaseHeldGrabs(); // answered: the camera is not connected
}

void ProcessCameraView::setPreviewRate(int milliseconds) {
    previewRate_ = milliseconds;
    sendPreview();
}

void ProcessCameraView::setPreview(bool on) {
    previewOn_ = on;
    sendPreview();
    // The camera process may have drawn its first frame before the preview was turned on.
    if (on && processDraws_ && preview_ && alive_.firstFrameSeen()) preview_->showSinkVideo();
}

void ProcessCameraView::sendPreview() {
    if (!host_.now()) return;
    // A process that draws into the window shows nothing while the camera is lost.
    const bool on =
        previewOn_ && (!processDraws_ || link_ == Link::Streaming || link_ == Link::Idle);
    send(Message(QStringLiteral("preview"),
                 {{QLatin1String("on"), on}, {QLatin1String("rate"), previewRate_}}));
}

void ProcessCameraView::onProcessGone() {
    // A process that sent what is no message of ours is ended like one that died.
    const QString broke = host_.now() ? host_.now()->channel().brokenBy() : QString();
    // The dead process goes first: what the move brings (the standby taking over) must stay.
    endProcess();
    if (broke.isEmpty())
        happen(LinkEvent::ProcessGone, ProcessEnded);
    else
        broken(broke);
}

void ProcessCameraView::onWatchdog() {
    if (switching_) return; // the format change has a limit of its own
    const std::optional<LinkWatch::Found> found =
        alive_.check(link_, host_.now() != nullptr,
                     {timing_.stallTimeout, timing_.answerTimeout, timing_.startTimeout + 5s});
    if (found) happen(found->event, found->reason);
}

void ProcessCameraView::happen(LinkEvent event, const QString& said) {
    // Whatever the camera process says goes on screen and into the run's log: no password.
    const QString reason = secrets::masked(said);
    const std::optional<LinkMove> move = nextLink(link_, event);
    qCDebug(cameraLog) << "event" << int(event) << "in state" << int(link_)
                       << (move ? "moves to" : "ignored") << (move ? int(move->to) : -1) << "pid"
                       << cameraProcessId() << reason;
    if (!move) return;
    link_ = move->to;
    const unsigned actions = move->actions;
    if (actions & action::EndProcess) endProcess();
    if (actions & action::StopRetries) retryTimer_.stop();
    if (actions & action::StartRetries) {
        triesSinceLoss_ = 0;
        retryTimer_.start(std::min<std::chrono::milliseconds>(timing_.retryInterval, 250ms));
    }
    if (actions & action::SpareProcess) takeStandby();
    if (actions & action::ClearLost) {
        lostReason_.clear();
        if (preview_) preview_->clearLost();
    }
    if (actions & action::ShowLost) {
        lostReason_ = reason;
        if (preview_) preview_->showLost(reason);
        emit cameraLost(reason);
    }
    if (move->to == Link::Streaming) standbyTimer_.start();
    if (actions & action::ShowBack) {
        backSince_.start();
        lostReason_.clear();
        if (preview_) preview_->clearLost();
        emit cameraBack();
        emit controls_.cameraBack();
    }
    if (actions & action::TryAgain) tryAgain();
}

void ProcessCameraView::tryAgain() {
    alive_.restart();
    tryFound_ = false;
    // A process left waiting for the camera to be plugged in is asked again; any other is new.
    if (!host_.talking()) {
        QString error;
        if (!startProcess(&error)) {
            happen(LinkEvent::Failure, error);
            return;
        }
    }
    // A try's process is given the preview's window too, so that once the camera runs again
    // the preview is drawn by it as before the fault (no frames copied, no shared memory held);
    // its preview stays off until its first frame, not to paint over the "Camera lost" notice.
    send(openRequest());
}

QString ProcessCameraView::cameraName() const {
    if (!description_.isEmpty()) return QStringLiteral("\"%1\"").arg(secrets::masked(description_));
    return device_ ? device_->label() : QString();
}

QString ProcessCameraView::videoFormatLabel() const {
    const auto format = chooser_.current();
    return format ? format->label() : QString();
}

void ProcessCameraView::restartCamera(const QString& reason) {
    if (link_ == Link::Streaming) happen(LinkEvent::Failure, reason);
}

QSize ProcessCameraView::pictureSize() const {
    const auto format = chooser_.current();
    return format ? QSize(format->width, format->height) : QSize();
}

QString ProcessCameraView::cameraIdentity() const {
    if (!description_.isEmpty()) return description_;
    if (!device_) return {};
    // The same camera by the rules the reconnect uses: its name and bus position, else its node.
    return device_->busInfo.isEmpty()
               ? QStringLiteral("%1 (%2)").arg(device_->name, device_->path)
               : QStringLiteral("%1 (%2)").arg(device_->name, device_->busInfo);
}

} // namespace camera_process
