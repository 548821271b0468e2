// The camera view's start-up: the camera process asked for the camera, the camera opened and
// started. Each step goes on when the camera process answers the one before, from the event
// loop; a format dialog shown early stays live meanwhile.
#include "camera_process/format_dialog.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/wire_format.h"
#include "secrets/masked_text.h"

#include <QGuiApplication>
#include <algorithm>

namespace camera_process {

using namespace std::chrono_literals;
using view::ProcessEnded;
using view::ProcessHangs;

void ProcessCameraView::expect(std::initializer_list<const char*> verbs,
                               std::chrono::milliseconds timeout, Then then) {
    expected_.expect(verbs, processSerial_, timeout, std::move(then));
}

void ProcessCameraView::ask(const Message& message, std::initializer_list<const char*> verbs,
                            std::chrono::milliseconds timeout, Then then) {
    expect(verbs, timeout, std::move(then));
    if (!send(message)) expected_.fail(host_.talking() ? ProcessHangs : ProcessEnded);
}

void ProcessCameraView::createFailed(const QString& error) {
    // Start-up ends with the failure's message: the dialog shown early goes first.
    chooser_.dropDialog();
    delete preview_.data();
    previewOwned_ = false;
    QMetaObject::invokeMethod(
        this, [this, error] { emit created(nullptr, error); }, Qt::QueuedConnection);
}

void ProcessCameraView::connectAnswered(const QString& error) {
    QMetaObject::invokeMethod(
        this, [this, error] { emit connected(error); }, Qt::QueuedConnection);
}

void ProcessCameraView::create(QWidget* parent, QSize size, const QString& source) {
    expected_.drop();
    // The camera process prepared at start-up is kept for this camera view.
    if (link_ != Link::Idle) disconnectDriver();
    if (previewOwned_) delete preview_.data();
    description_ = source.trimmed();
    device_.reset();
    chooser_.forget();

    auto* preview = new camera::PreviewWidget(parent);
    preview->setGeometry(0, 0, size.width(), size.height());
    preview_ = preview;
    previewOwned_ = parent == nullptr;
    // A camera can take seconds to open: the dialog need not wait for it.
    if (earlyDialog_) chooser_.showEarly(preview->window());
    // Where the window system lets another process draw into our window, the camera process
    // draws the preview itself.
    sinkDraws_ = QGuiApplication::platformName() == QLatin1String("xcb");
    openCamera(0);
}

void ProcessCameraView::openCamera(int attempt) {
    const bool fresh = !host_.talking();
    if (!fresh) {
        listen(); // the process prepare() started
    } else if (QString error; !startProcess(&error)) {
        createFailed(error);
        return;
    }
    qCDebug(cameraLog) << "start-up: asking the camera process for the camera";
    askForCamera(fresh, [this, attempt](const Reply* answer, const QString& error) {
        if (answer) {
            onOpened(*answer);
            return;
        }
        // A process that died meanwhile (a plugin's crash while loading, say) is replaced
        // once; one that hangs has taken its time already.
        if (attempt > 0 || host_.talking()) {
            createFailed(error);
            return;
        }
        qCDebug(cameraLog) << "start-up: the camera process ended; starting another";
        endProcess();
        openCamera(attempt + 1);
    });
}

void ProcessCameraView::askForCamera(bool fresh, Then then) {
    if (!fresh) {
        ask(openRequest(), {"found", "no-camera", "not-plugged-in", "invalid"},
            timing_.startTimeout + 5s, std::move(then));
        return;
    }
    // A process just started reads nothing before GStreamer is loaded: that has a limit of its
    // own, and the camera's answer the usual one from then on.
    ask(openRequest(), {"ready", "found", "no-camera", "not-plugged-in", "invalid"},
        timing_.loadTimeout, [this, then](const Reply* answer, const QString& error) {
            const auto* event = answer ? std::get_if<reply::Event>(answer) : nullptr;
            if (!event || event->what != reply::Said::Ready) {
                then(answer, error);
                return;
            }
            qCDebug(cameraLog) << "start-up: the camera process is ready";
            expect({"found", "no-camera", "not-plugged-in", "invalid"}, timing_.startTimeout + 5s,
                   then);
        });
}

void ProcessCameraView::onOpened(const Reply& answer) {
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
    } else if (const auto* found = std::get_if<reply::Found>(&answer)) {
        qCDebug(cameraLog) << "start-up: found" << found->label;
        device_ = found->camera;
        sinkDraws_ = found->draws;
        processDraws_ = sinkDraws_;
        controls_.found(found->noControls, cameraIdentity());
        if (sinkDraws_) wireSinkPreview();
    } else {
        // No camera at all is not an error of ours to word.
        createFailed(failure && !noCamera ? failure->error : QString());
        return;
    }
    preview_->show();
    QMetaObject::invokeMethod(
        this, [this, view = preview_] { emit created(view.data(), {}); }, Qt::QueuedConnection);
}

void ProcessCameraView::connectDriver() {
    if (!preview_) {
        connectAnswered(QStringLiteral("The camera view has not been created"));
        return;
    }
    if (link_ != Link::Idle) disconnectDriver();
    if (std::exchange(absentAtStart_, false)) {
        happen(LinkEvent::Absent, lostReason_);
        watchdog_.start();
        connectAnswered({});
        return;
    }
    startCamera(0);
}

void ProcessCameraView::startCamera(int attempt) {
    if (host_.talking()) {
        connectCamera(attempt);
        return;
    }
    // Connected again after a disconnect, or after a process that died: a fresh process finds
    // the camera again.
    if (QString error; !startProcess(&error)) {
        cameraStarted(Started::Failed, error, attempt);
        return;
    }
    askForCamera(true, [this, attempt](const Reply* answer, const QString& error) {
        if (!answer) {
            startFailed(error, attempt);
            return;
        }
        const auto* found = std::get_if<reply::Found>(answer);
        if (!found) {
            const auto* failure = std::get_if<reply::Failure>(answer);
            cameraStarted(Started::Failed,
                          !failure || failure->what == reply::Fault::NoCamera
                              ? QStringLiteral("There is no camera")
                              : failure->error,
                          attempt);
            return;
        }
        processDraws_ = sinkDraws_ && found->draws;
        connectCamera(attempt);
    });
}

void ProcessCameraView::connectCamera(int attempt) {
    sendPreview();
    ask(Message(QStringLiteral("connect"),
                {{QLatin1String("timeout"), qint64(timing_.startTimeout.count())},
                 {QLatin1String("controls"), valuesToWire(controls_.startControls())}}),
        {"formats", "connect-failed"}, timing_.startTimeout + 5s,
        [this, attempt](const Reply* answer, const QString& error) {
            if (!answer) {
                startFailed(error, attempt);
                return;
            }
            const auto* formats = std::get_if<reply::Formats>(answer);
            if (!formats) {
                onConnectAnswer(*answer, attempt);
                return;
            }
            takeFormats(*formats);
            // Start-up shows the format dialog next: it is built while the camera starts.
            prepareFormatDialog();
            expect({"connected", "connect-failed"}, timing_.startTimeout + 5s,
                   [this, attempt](const Reply* answer, const QString& error) {
                       if (answer)
                           onConnectAnswer(*answer, attempt);
                       else
                           startFailed(error, attempt);
                   });
        });
}

void ProcessCameraView::onConnectAnswer(const Reply& answer, int attempt) {
    if (const auto* failure = std::get_if<reply::Failure>(&answer)) {
        endProcess();
        cameraStarted(Started::Failed, failure->error, attempt);
        return;
    }
    cameraStarted(Started::Runs, {}, attempt);
}

void ProcessCameraView::startFailed(const QString& error, int attempt) {
    const Started how = host_.talking() ? Started::Failed : Started::Died;
    endProcess();
    cameraStarted(how, error, attempt);
}

void ProcessCameraView::cameraStarted(Started how, const QString& failure, int attempt) {
    if (how == Started::Runs) {
        qCDebug(cameraLog) << "start-up: the camera runs";
        alive_.restart();
        happen(LinkEvent::Connected);
        watchdog_.start();
        connectAnswered({});
        return;
    }
    // A camera process that dies while it starts the camera is replaced once before start-up
    // gives up.
    if (how == Started::Died && attempt == 0) {
        qCDebug(cameraLog) << "start-up: the camera process ended; starting another";
        startCamera(attempt + 1);
        return;
    }
    if (waitForCamera_) {
        // A run being taken up waits for a camera that cannot be opened yet (a network camera
        // still off after a power cut, a webcam another program holds), as for one not
        // plugged in.
        qCDebug(cameraLog) << "start-up: waiting for the camera:" << failure;
        lostReason_ = secrets::masked(failure);
        happen(LinkEvent::Absent, lostReason_);
        watchdog_.start();
        connectAnswered({});
        return;
    }
    chooser_.dropDialog();
    connectAnswered(failure);
}

void ProcessCameraView::takeFormats(const reply::Formats& formats) {
    chooser_.take(formats);
    qCDebug(cameraLog) << chooser_.formats().size() << "formats";
}

} // namespace camera_process
