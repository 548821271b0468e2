// The camera view's pictures: grabs sent to the camera process, answered from the event loop
// (or, for tools and tests, waited for), and the picture a waited-for grab took.
#include "camera_process/process_camera_view.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/reply.h"
#include "pictures/bmp_writer.h"

#include <QCborArray>
#include <algorithm>

namespace camera_process {

using namespace std::chrono_literals;
using view::fail;
using view::ProcessEnded;
using view::ProcessHangs;

void ProcessCameraView::forgetGrab() {
    grabbed_ = QImage(); // a picture of a stream that has stopped is not saved later
    grabbedAt_ = QDateTime();
}

bool ProcessCameraView::sendGrab(qint64* id, std::chrono::milliseconds* limit, QString* error) {
    if (link_ == Link::Idle) return fail(error, QStringLiteral("The camera is not connected"));
    if (link_ != Link::Streaming)
        return fail(error, QStringLiteral("Camera lost: %1").arg(lostReason_));
    *id = grabs_.nextId();
    const auto asked = std::chrono::steady_clock::now();
    // Just after the camera came back, the picture is taken from a frame of the warm-up's end.
    const qint64 settle =
        backSince_.isValid() ? std::max<qint64>(0, warmUp_.count() - backSince_.elapsed()) : 0;
    // A camera already silent for a while is not waited for past the watchdog's limit: the
    // loss is noticed on time even while pictures fall due.
    const std::chrono::milliseconds wait =
        std::clamp(timing_.stallTimeout - alive_.silence(), std::chrono::milliseconds(100),
                   timing_.grabTimeout);
    // The camera process's own wait, and time to hand over a large picture.
    *limit = wait + std::chrono::milliseconds(settle) + 1s;
    // The blocks of earlier pictures nobody holds any more: the camera process may reuse them.
    const QCborArray free = frames_.takeFreedBlocks();
    if (send(Message(QStringLiteral("grab"),
                     {{QLatin1String("id"), *id},
                      {QLatin1String("asked"),
                       qint64(std::chrono::nanoseconds(asked.time_since_epoch()).count())},
                      {QLatin1String("after"), settle},
                      {QLatin1String("free"), free},
                      {QLatin1String("timeout"), qint64(wait.count())}})))
        return true;
    noGrabAnswer();
    return fail(error, host_.talking() ? ProcessHangs : ProcessEnded);
}

// The loss is handled from the event loop, after the picture is counted.
void ProcessCameraView::noGrabAnswer() {
    const bool ended = !host_.talking();
    later(ended ? LinkEvent::ProcessGone : LinkEvent::NoAnswer,
          ended ? ProcessEnded : ProcessHangs);
}

bool ProcessCameraView::grabFrame(QString* error) {
    forgetGrab(); // a failed grab must not leave an older picture to be saved
    qint64 id = 0;
    std::chrono::milliseconds limit{};
    if (!sendGrab(&id, &limit, error)) return false;
    Message answer;
    if (!host_.now()->channel().waitFor(
            [id](const Message& message) {
                return (message.is(QLatin1String("grabbed")) ||
                        message.is(QLatin1String("grab-failed"))) &&
                       message.fields.value(QLatin1String("id")).toInteger() == id;
            },
            limit, &answer)) {
        const bool ended = !host_.talking();
        noGrabAnswer();
        return fail(error, ended ? ProcessEnded : ProcessHangs);
    }
    alive_.heard();
    // Decoded as any message; the grab is said to have failed, and the process that sent a
    // damaged answer is ended from the event loop.
    QString why;
    const std::optional<Reply> said = decodeReply(answer, &why);
    bool damaged = !said;
    if (damaged || !takeGrab(*said, answer.fd, &grabbed_, &grabbedAt_, &why, &damaged)) {
        if (damaged) later(LinkEvent::Failure, why);
        return fail(error, why);
    }
    return true;
}

bool ProcessCameraView::takeGrab(const Reply& answer, const UniqueFd& fd, QImage* frame,
                                 QDateTime* captured, QString* error, bool* damaged) {
    *frame = QImage();
    *captured = QDateTime();
    *damaged = false;
    if (const auto* failed = std::get_if<reply::GrabFailed>(&answer))
        return fail(error, failed->error);
    const auto* grabbed = std::get_if<reply::Grabbed>(&answer);
    // From here on a failure is the camera process's fault, not the camera's.
    *damaged = true;
    if (!grabbed) return fail(error, QStringLiteral("The camera process sent a damaged picture"));
    if (!frames_.takeGrab(*grabbed, fd, frame, error)) return false;
    *captured = grabbed->captured;
    *damaged = false;
    return true;
}

void ProcessCameraView::requestGrab(qint64 ticket) {
    if (switching_) {
        heldGrabs_ << ticket; // taken in the new format, once the camera runs in it
        return;
    }
    qint64 id = 0;
    std::chrono::milliseconds limit{};
    QString error;
    if (!sendGrab(&id, &limit, &error)) {
        // Never answered inside the call.
        QMetaObject::invokeMethod(
            this, [this, ticket, error] { emit grabDone(ticket, {}, {}, error); },
            Qt::QueuedConnection);
        return;
    }
    grabs_.wait(id, ticket, GrabRequests::Clock::now() + limit);
}

void ProcessCameraView::onGrabAnswer(const Reply& answer, const UniqueFd& fd) {
    const std::optional<qint64> ticket = grabs_.answered(grabAnswered(answer));
    // Given up on: its process is being ended as one that does not answer, and its blocks go
    // with it.
    if (!ticket) return;
    QImage frame;
    QDateTime captured;
    QString error;
    bool damaged = false;
    takeGrab(answer, fd, &frame, &captured, &error, &damaged);
    // The picture is counted first, then the process that sent a damaged one is ended.
    const quint64 about = processSerial_;
    emit grabDone(*ticket, frame, captured, error);
    if (damaged && about == processSerial_) broken(error);
}

void ProcessCameraView::onGrabsExpired(const QList<qint64>& tickets) {
    const QString reason = host_.talking() ? ProcessHangs : ProcessEnded;
    for (const qint64 ticket : tickets)
        emit grabDone(ticket, {}, {}, reason);
    noGrabAnswer();
}

// The grabs still waited for when the camera process goes: answered, from the event loop.
void ProcessCameraView::failPendingGrabs(const QString& reason) {
    const QList<qint64> tickets = grabs_.giveUpAll();
    if (tickets.isEmpty()) return;
    QMetaObject::invokeMethod(
        this,
        [this, tickets, reason] {
            for (const qint64 ticket : tickets)
                emit grabDone(ticket, {}, {}, reason);
        },
        Qt::QueuedConnection);
}

bool ProcessCameraView::saveFrame(const QString& path, QString* error) {
    if (grabbed_.isNull()) return fail(error, QStringLiteral("No picture has been grabbed"));
    return camera::writeBmp(grabbed_, path, error);
}

} // namespace camera_process
