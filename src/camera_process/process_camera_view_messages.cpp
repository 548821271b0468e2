// The camera view hears the camera process: each message decoded, then handed to what it is
// about (the link, the preview, a grab, the controls, the formats).
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/reply.h"
#include "camera_protocol/wire_format.h"
#include "secrets/masked_text.h"

#include <QCborMap>
#include <algorithm>

namespace camera_process {

namespace {

template <class... Handlers> struct Overloaded : Handlers... { using Handlers::operator()...; };

} // namespace

void ProcessCameraView::onMessage(const Message& message) {
    alive_.heard();
    // Nothing the camera process says is read but through its decoder: a message that is not
    // right ends the process like any other fault.
    QString damaged;
    const std::optional<Reply> said = decodeReply(message, &damaged);
    // The answer start-up or a format change waits for goes there.
    if (expected_.take(message, processSerial_, said, damaged)) return;
    if (!said) {
        broken(damaged);
        return;
    }
    std::visit(Overloaded{
                   [this](const reply::Status& status) { alive_.status(status); },
                   [this](const reply::Event& event) { onEvent(event.what); },
                   [this](const reply::Failure& failure) { onFailure(failure); },
                   [&](const reply::Frame& frame) { onPreviewFrame(frame, message.fd); },
                   [&](const reply::Grabbed&) { onGrabAnswer(*said, message.fd); },
                   [&](const reply::GrabFailed&) { onGrabAnswer(*said, message.fd); },
                   [this](const reply::Found& found) { onTryFound(found); },
                   // A camera first found by a try: its formats, the one it starts in chosen.
                   [this](const reply::Formats& formats) { takeFormats(formats); },
                   [this](const reply::Controls& controls) {
                       if (const QString wrong = controls_.take(controls); !wrong.isEmpty())
                           broken(wrong);
                   },
                   [this](const reply::Held& held) { controls_.take(held); },
                   [](const reply::NotUnderstood&) {},
               },
               *said);
}

void ProcessCameraView::onEvent(reply::Said what) {
    switch (what) {
    case reply::Said::FirstFrame: {
        alive_.firstFrame();
        if (processDraws_ && preview_ && previewOn_) preview_->showSinkVideo();
        qCDebug(cameraLog) << "first frame: the preview is"
                           << (processDraws_ ? "drawn by the camera process"
                                             : "handed over in shared memory");
        const bool wasBack = link_ == Link::Streaming;
        happen(LinkEvent::FirstFrame);
        // The camera is back: a process that draws into the window shows the preview now.
        if (!wasBack && processDraws_ && link_ == Link::Streaming) sendPreview();
        controls_.sendWanted();
        break;
    }
    case reply::Said::Started:
        // A try's sink clears the preview's window as its pipeline starts: the notice is
        // painted again, and stays until the camera is back.
        if (preview_ && preview_->isShowingLost()) preview_->update();
        break;
    case reply::Said::StillScene:
        emit sceneStill();
        break;
    case reply::Said::DeviceAdded:
        happen(LinkEvent::DeviceAdded);
        break;
    case reply::Said::Ready:
    case reply::Said::Connected:
    case reply::Said::FormatSet:
        break; // answers start-up and format changes wait for
    }
}

void ProcessCameraView::onFailure(const reply::Failure& failure) {
    switch (failure.what) {
    case reply::Fault::Failed:
        if (failure.frozen && link_ == Link::Streaming) {
            // The next camera process is told the picture, to tell a still scene from a fault.
            frozeOn_ = *failure.frozen;
            emit cameraFrozen(secrets::masked(failure.error));
        }
        happen(LinkEvent::Failure, failure.error);
        break;
    case reply::Fault::NotPluggedIn:
        happen(LinkEvent::NotPluggedIn, failure.error);
        // The try's process was given the preview's window and may have drawn into it as it
        // readied its sink: the notice is painted again after each try that finds no camera.
        if (preview_ && preview_->isShowingLost()) preview_->update();
        break;
    case reply::Fault::StartFailed:
    case reply::Fault::ConnectFailed:
    case reply::Fault::NoCamera:
    case reply::Fault::Invalid:
        happen(LinkEvent::Failure, failure.error);
        break;
    case reply::Fault::FormatFailed:
        break; // the format change waits for it
    }
}

// A try's process found the camera: it starts it in the format in use. A camera waited for
// since start-up is met here for the first time: its kept settings are looked up, and it is
// opened as at start-up, in the format a run taken up asks for.
void ProcessCameraView::onTryFound(const reply::Found& found) {
    tryFound_ = true;
    processDraws_ = sinkDraws_ && found.draws;
    sendPreview();
    const bool firstMeeting = !chooser_.taken();
    if (firstMeeting) {
        if (!device_) device_ = found.camera;
        controls_.found(found.noControls, cameraIdentity());
    }
    QCborMap fields{{QLatin1String("controls"), valuesToWire(controls_.startControls())}};
    if (!firstMeeting) {
        if (const auto format = chooser_.current())
            fields.insert(QLatin1String("format"), formatToWire(*format));
        send(Message(QStringLiteral("start"), fields));
        return;
    }
    fields.insert(QLatin1String("timeout"), qint64(timing_.startTimeout.count()));
    if (!chooser_.wanted().isEmpty())
        fields.insert(QLatin1String("formatLabel"), chooser_.wanted());
    send(Message(QStringLiteral("connect"), fields));
}

void ProcessCameraView::onPreviewFrame(const reply::Frame& frame, const UniqueFd& fd) {
    QImage image;
    QString error;
    if (!frames_.previewFrame(frame, fd, &image, &error)) {
        broken(error);
        return;
    }
    if (fd) shownSlot_ = -1; // new memory: nothing of it is on screen yet
    // The preview shows the pixels where they are; the camera process writes the other slot.
    if (preview_ && previewOn_ && link_ == Link::Streaming) {
        preview_->showFrame(std::move(image));
        shownSlot_ = frame.slot;
    }
    // The slot on screen is the one the camera process must not write: the frame's own when it
    // was shown, else the one shown before (none: -1).
    send(
        Message(QStringLiteral("shown"), {{QLatin1String("slot"), shownSlot_},
                                          {QLatin1String("memory"), frames_.previewGeneration()}}));
}

} // namespace camera_process
