// The camera view's start-up: the camera process asked for the camera, the camera opened and
// started, the format dialog shown early kept painted meanwhile. Start-up waits for the camera
// process's answers; from then on nothing but a grab for a tool does.
#include "camera_process/format_dialog.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/wire_format.h"
#include "secrets/masked_text.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>

namespace camera_process {

using namespace std::chrono_literals;
using view::fail;
using view::ProcessEnded;
using view::ProcessHangs;

// Paints and redraws what is on the screen during start-up's waits. The user's keys and clicks
// wait for the dialog to list the formats; the channel's messages for the wait to end.
void ProcessCameraView::keepDialogPainted() {
    QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers |
                                    QEventLoop::ExcludeUserInputEvents);
}

bool ProcessCameraView::await(std::initializer_list<const char*> verbs,
                              std::chrono::milliseconds timeout, Reply* answer, QString* error) {
    if (!host_.now()) return fail(error, ProcessEnded);
    // The format dialog shown while the camera opens stays painted.
    std::function<void()> meanwhile;
    if (chooser_.dialogShown()) meanwhile = keepDialogPainted;
    Message message;
    const bool answered = host_.now()->channel().waitFor(
        [&verbs](const Message& message) {
            return std::any_of(verbs.begin(), verbs.end(), [&message](const char* verb) {
                return message.is(QLatin1String(verb));
            });
        },
        timeout, &message, meanwhile);
    // The keys and clicks put aside meanwhile are handed out only when the X connection is next
    // read, which on the GLib loop waits for a wake-up: with none (no further X event) a Return
    // pressed while the camera opened went unseen.
    if (meanwhile) QCoreApplication::eventDispatcher()->wakeUp();
    if (answered) {
        lastAnswer_.start();
        // Read, as any message, only through the decoder: a damaged answer fails the request.
        std::optional<Reply> said = decodeReply(message, error);
        if (!said) return false;
        *answer = std::move(*said);
        return true;
    }
    return fail(error, host_.now()->channel().isOpen() ? ProcessHangs : ProcessEnded);
}

bool ProcessCameraView::request(const Message& message, std::initializer_list<const char*> verbs,
                                std::chrono::milliseconds timeout, Reply* answer, QString* error) {
    if (!send(message)) return fail(error, ProcessEnded);
    return await(verbs, timeout, answer, error);
}

QWidget* ProcessCameraView::create(QWidget* parent, QSize size, const QString& source,
                                   QString* error) {
    QWidget* view = createView(parent, size, source, error);
    // Start-up ends with the failure's message: the dialog shown early goes first.
    if (!view) chooser_.dropDialog();
    return view;
}

void ProcessCameraView::showEarlyFormatDialog(QWidget* parent) {
    chooser_.showEarly(parent);
    // On the screen now; the waits for the camera keep it painted from here on.
    keepDialogPainted();
}

QWidget* ProcessCameraView::createView(QWidget* parent, QSize size, const QString& source,
                                       QString* error) {
    if (error) error->clear();
    // The camera process prepared at start-up is kept for this camera view.
    if (link_ != Link::Idle) disconnectDriver();
    if (previewOwned_) delete preview_.data();
    description_ = source.trimmed();
    device_.reset();
    chooser_.forget();

    auto preview = std::make_unique<camera::PreviewWidget>(parent);
    preview->setGeometry(0, 0, size.width(), size.height());
    preview_ = preview.get();
    // A camera can take seconds to open: the dialog need not wait for it.
    if (earlyDialog_) showEarlyFormatDialog(preview->window());
    // Where the window system lets another process draw into our window, the camera process
    // draws the preview itself.
    sinkDraws_ = QGuiApplication::platformName() == QLatin1String("xcb");

    Reply answer;
    if (!openCamera(&answer, error)) return nullptr;
    absentAtStart_ = false;
    const auto* failure = std::get_if<reply::Failure>(&answer);
    const bool noCamera = failure && failure->what == reply::Fault::NoCamera;
    if (waitForCamera_ && failure && (noCamera || failure->what == reply::Fault::NotPluggedIn)) {
        // Waited for like a lost camera, from connectDriver() on.
        absentAtStart_ = true;
        // The camera process of the try that finds it draws the preview.
        if (sinkDraws_) wireSinkPreview();
        lostReason_ =
            noCamera ? QStringLiteral("There is no camera") : secrets::masked(failure->error);
        // No formats to wait for: a dialog shown early offers the camera's own.
        if (chooser_.hasDialog()) prepareFormatDialog();
        preview->show();
        previewOwned_ = parent == nullptr;
        return preview.release();
    }
    if (noCamera) return nullptr; // not an error of ours to word
    const auto* found = std::get_if<reply::Found>(&answer);
    if (!found) {
        if (error && failure) *error = failure->error;
        return nullptr;
    }
    qCDebug(cameraLog) << "start-up: found" << found->label;
    device_ = found->camera;
    sinkDraws_ = found->draws;
    processDraws_ = sinkDraws_;
    controls_.found(found->noControls, cameraIdentity());
    if (sinkDraws_) wireSinkPreview();
    preview->show();
    previewOwned_ = parent == nullptr;
    return preview.release();
}

bool ProcessCameraView::askForCamera(bool fresh, Reply* answer, QString* error) {
    if (!send(openRequest())) return fail(error, ProcessEnded);
    // A process just started reads nothing before GStreamer is loaded: that has a limit of its
    // own, and the camera's answer the usual one from then on.
    if (fresh) {
        if (!await({"ready", "found", "no-camera", "not-plugged-in", "invalid"},
                   timing_.loadTimeout, answer, error))
            return false;
        const auto* event = std::get_if<reply::Event>(answer);
        if (!event || event->what != reply::Said::Ready) return true;
        qCDebug(cameraLog) << "start-up: the camera process is ready";
    }
    return await({"found", "no-camera", "not-plugged-in", "invalid"}, timing_.startTimeout + 5s,
                 answer, error);
}

bool ProcessCameraView::openCamera(Reply* answer, QString* error) {
    for (int attempt = 0;; ++attempt) {
        const bool fresh = !host_.talking();
        if (!fresh)
            listen(); // the process prepare() started
        else if (!startProcess(error))
            return false;
        qCDebug(cameraLog) << "start-up: asking the camera process for the camera";
        if (askForCamera(fresh, answer, error)) return true;
        // A process that died meanwhile (a plugin's crash while loading, say) is replaced once;
        // one that hangs has taken its time already.
        if (attempt > 0 || (host_.talking())) return false;
        qCDebug(cameraLog) << "start-up: the camera process ended; starting another";
        endProcess();
    }
}

bool ProcessCameraView::connectDriver(QString* error) {
    if (!preview_) return fail(error, QStringLiteral("The camera view has not been created"));
    if (link_ != Link::Idle) disconnectDriver();
    if (std::exchange(absentAtStart_, false)) {
        happen(LinkEvent::Absent, lostReason_);
        watchdog_.start();
        return true;
    }
    // A camera process that dies while it starts the camera is replaced once before start-up
    // gives up.
    for (int attempt = 0;; ++attempt) {
        QString failure;
        const Started started = startCamera(&failure);
        if (started == Started::Runs) break;
        if (started == Started::Died && attempt == 0) {
            qCDebug(cameraLog) << "start-up: the camera process ended; starting another";
            continue;
        }
        if (waitForCamera_) {
            // A run being taken up waits for a camera that cannot be opened yet (a network
            // camera still off after a power cut, a webcam another program holds), as for one
            // not plugged in.
            qCDebug(cameraLog) << "start-up: waiting for the camera:" << failure;
            lostReason_ = secrets::masked(failure);
            happen(LinkEvent::Absent, lostReason_);
            watchdog_.start();
            return true;
        }
        chooser_.dropDialog();
        return fail(error, failure);
    }
    qCDebug(cameraLog) << "start-up: the camera runs";
    framesSeen_ = -1;
    lastProgress_ = std::chrono::steady_clock::now();
    happen(LinkEvent::Connected);
    watchdog_.start();
    return true;
}

ProcessCameraView::Started ProcessCameraView::startCamera(QString* error) {
    const auto died = [this] { return !host_.talking(); };
    const auto failed = [&] {
        const Started how = died() ? Started::Died : Started::Failed;
        endProcess();
        return how;
    };
    if (died()) {
        // Connected again after a disconnect, or after a process that died: a fresh process
        // finds the camera again.
        Reply answer;
        if (!startProcess(error)) return Started::Failed;
        if (!askForCamera(true, &answer, error)) return failed();
        const auto* found = std::get_if<reply::Found>(&answer);
        if (!found) {
            const auto* failure = std::get_if<reply::Failure>(&answer);
            fail(error, !failure || failure->what == reply::Fault::NoCamera
                            ? QStringLiteral("There is no camera")
                            : failure->error);
            return Started::Failed;
        }
        processDraws_ = sinkDraws_ && found->draws;
    }
    sendPreview();
    Reply answer;
    if (!request(Message(QStringLiteral("connect"),
                         {{QLatin1String("timeout"), qint64(timing_.startTimeout.count())},
                          {QLatin1String("controls"), valuesToWire(controls_.startControls())}}),
                 {"formats", "connect-failed"}, timing_.startTimeout + 5s, &answer, error))
        return failed();
    if (const auto* formats = std::get_if<reply::Formats>(&answer)) {
        takeFormats(*formats);
        // Start-up shows the format dialog next: it is built while the camera starts.
        prepareFormatDialog();
        if (!await({"connected", "connect-failed"}, timing_.startTimeout + 5s, &answer, error))
            return failed();
    }
    if (const auto* failure = std::get_if<reply::Failure>(&answer)) {
        endProcess();
        fail(error, failure->error);
        return Started::Failed;
    }
    return Started::Runs;
}

void ProcessCameraView::takeFormats(const reply::Formats& formats) {
    chooser_.take(formats);
    qCDebug(cameraLog) << chooser_.formats().size() << "formats";
}

} // namespace camera_process
