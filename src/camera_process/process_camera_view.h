#pragma once

#include "camera_api/camera_view.h"
#include "camera_process/expected_answer.h"
#include "camera_process/format_chooser.h"
#include "camera_process/frame_receiver.h"
#include "camera_process/grab_requests.h"
#include "camera_process/link_watch.h"
#include "camera_process/loss_policy.h"
#include "camera_process/process_controls.h"
#include "camera_process/process_host.h"
#include "camera_protocol/camera_control.h"
#include "camera_protocol/device_identity.h"
#include "camera_protocol/reply.h"
#include "camera_protocol/video_format.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace camera {
class FormatDialog;
class PreviewWidget;
} // namespace camera

namespace camera_process {

// The camera view of the window process: the camera itself runs in a process of its own
// (docs/camera-process.md), which draws the preview into the preview's window (X11) or hands
// frames over in shared memory, and encodes grabbed pictures into shared memory that this side
// saves. Whatever goes wrong there (an error, silence, a crash, a hang), this side ends that
// process and starts another, following the table in loss_policy.h.
//
// Nothing here waits on the camera process: start-up's steps and a format change go on as its
// answers come, from the event loop. Only a grab for tools and tests, and the end of a
// disconnect (the camera's automatics given back), wait.
class ProcessCameraView : public camera::CameraView {
    Q_OBJECT
public:
    struct Timing {
        // No frame for this long while connected counts as a lost camera.
        std::chrono::milliseconds stallTimeout{5000};
        // How often a lost camera is tried again.
        std::chrono::milliseconds retryInterval{2000};
        // How long a grab waits for a frame newer than the moment it was asked for.
        std::chrono::milliseconds grabTimeout{2000};
        // How long starting the camera at start-up (or in a new format) may take.
        std::chrono::milliseconds startTimeout{3000};
        // A camera process silent for this long (it says something several times a second)
        // hangs, and is ended.
        std::chrono::milliseconds answerTimeout{3000};
        // How long a camera process just started may take to load GStreamer before it says it
        // is ready: on a fresh machine GStreamer first builds its plugin registry, which on a
        // slow or busy one takes far longer than opening any camera.
        std::chrono::milliseconds loadTimeout{60000};
    };

    // `program`: the camera process's executable.
    explicit ProcessCameraView(QString program, QObject* parent = nullptr);
    ~ProcessCameraView() override;

    // Starts the camera process ahead of create(), so that it loads GStreamer meanwhile.
    void prepare();

    void create(QWidget* parent, QSize size, const QString& source) override;
    void connectDriver() override;
    void setPreviewRate(int milliseconds) override;
    void setPreview(bool on) override;
    void videoFormatDialog() override;
    void requestGrab(qint64 ticket) override;
    void disconnectDriver() override;
    QSize pictureSize() const override;

    QString cameraName() const override;
    QString videoFormatLabel() const override;
    bool useVideoFormat(const QString& label) override;
    void waitForCamera(bool wait) override { waitForCamera_ = wait; }
    void showFormatDialogEarly(bool early) override { earlyDialog_ = early; }
    void setFrozenAfter(int seconds) override { frozenAfter_ = seconds; }
    void restartCamera(const QString& reason) override;

    void setTiming(const Timing& timing);

    const QList<camera::VideoFormat>& formats() const { return chooser_.formats(); }
    std::optional<camera::VideoFormat> currentFormat() const { return chooser_.current(); }
    // A grab that waits for its frame, for tools and tests that take pictures one by one (the
    // window never waits): the picture, and when the camera captured it (UTC), stay until the
    // next grab, a loss or a new format. The image owns its pixels.
    bool grabFrame(QString* error);
    QImage grabbedFrame() const { return grabbed_; }
    QDateTime grabbedAt() const { return grabbedAt_; }
    // Saves the grabbed picture as a 24-bit BMP at the format's full size; atomic.
    bool saveFrame(const QString& path, QString* error);
    bool isCameraLost() const { return link_ == Link::Lost || link_ == Link::Retrying; }
    QString lostReason() const override { return isCameraLost() ? lostReason_ : QString(); }
    // The camera process now, for tests and benchmarks that end it from outside; -1: none.
    pid_t cameraProcessId() const;

    // After the camera comes back, pictures are taken from frames this long after its return:
    // automatic exposure needs a moment. 0: at once.
    void setWarmUp(int seconds) override { warmUp_ = std::chrono::seconds(std::max(seconds, 0)); }

    // The camera as the settings for it are kept: its name and where it is plugged in, or the
    // source description; empty before start-up found it.
    QString cameraIdentity() const;
    // The camera's own controls.
    camera::ControlsPort& controls() { return controls_; }

private:
    bool startProcess(QString* error);

    // The answer start-up or a format change waits for, from the event loop.
    using Then = ExpectedAnswer::Then;
    void expect(std::initializer_list<const char*> verbs, std::chrono::milliseconds timeout,
                Then then);
    // Sends `message`, then expects one of `verbs`.
    void ask(const Message& message, std::initializer_list<const char*> verbs,
             std::chrono::milliseconds timeout, Then then);

    // Start-up (process_camera_view_startup.cpp). Its answers, created() and connected(), are
    // always given from the event loop.
    void createFailed(const QString& error);
    void connectAnswered(const QString& error);
    // Start-up's first question to a camera process (the one prepared ahead, else a new one):
    // the camera, found or not. A process that dies meanwhile is replaced once.
    void openCamera(int attempt);
    void onOpened(const Reply& answer);
    // Asks the camera process for the camera; `fresh`: it has just been started.
    void askForCamera(bool fresh, Then then);
    // The camera's formats, as it told them.
    void takeFormats(const reply::Formats& formats);
    void onTryFound(const reply::Found& found);
    // Starts the camera (and a fresh process first, when there is none); one that dies
    // meanwhile is replaced once.
    enum class Started { Runs, Died, Failed };
    void startCamera(int attempt);
    void connectCamera(int attempt);
    void onConnectAnswer(const Reply& answer, int attempt);
    void startFailed(const QString& error, int attempt);
    void cameraStarted(Started how, const QString& failure, int attempt);
    // After a fault: the standby process becomes the camera process (else a new one starts).
    void takeStandby();
    void startStandby();
    // Hears the camera process from now on.
    void listen();
    // Sends `message`; a camera process that does not take it is ended as hung.
    bool send(const Message& message, int fd = -1);
    // `window`: whether the camera process is to draw into the preview's window.
    Message openRequest(bool window = true) const;
    // The preview's window lent to the camera process: redrawn when uncovered, taken back
    // before it goes.
    void wireSinkPreview();
    void sendPreview();

    void onMessage(const Message& message);
    void onEvent(reply::Said what);
    void onFailure(const reply::Failure& failure);
    void onPreviewFrame(const reply::Frame& frame, const UniqueFd& fd);
    void onProcessGone();
    void onWatchdog();
    void happen(LinkEvent event, const QString& reason = {});
    // `event` about the camera process now, from the event loop: dropped if that process has
    // gone by then (an event about one already gone must not end the one in its place).
    void later(LinkEvent event, const QString& reason);
    // The camera process said something that is not right: it is ended like one that failed.
    void broken(const QString& reason);
    void tryAgain();
    void endProcess();
    void forgetGrab();
    // Grabs: sent, answered (waited for, or from the event loop), given up on.
    bool sendGrab(qint64* id, std::chrono::milliseconds* limit, QString* error);
    void noGrabAnswer();
    // `fd`: the answer's descriptor (new memory for the picture), or none.
    void onGrabAnswer(const Reply& answer, const UniqueFd& fd);
    // The picture an answer brings; false with why when it brings none.
    bool takeGrab(const Reply& answer, const UniqueFd& fd, QImage* frame, QDateTime* captured,
                  QString* error, bool* damaged);
    void onGrabsExpired(const QList<qint64>& tickets);
    void failPendingGrabs(const QString& reason);
    // The format dialog for the formats now known: built ahead of showing it, or the one shown
    // early filled in.
    void prepareFormatDialog();
    // Starts the camera in the chooser's formats()[chosen]; formatChosen() once it runs in it
    // (or, refused, in the one before). Grabs asked for meanwhile wait for the new format.
    void switchFormat(int chosen);
    void formatChosenSoon();
    bool switching_ = false;
    QList<qint64> heldGrabs_; // asked for while the format changes
    void releaseHeldGrabs();

    ProcessHost host_;
    ExpectedAnswer expected_;
    Timing timing_;
    QTimer standbyTimer_;
    QPointer<camera::PreviewWidget> preview_;
    bool previewOwned_ = false;
    bool sinkDraws_ = false;    // the platform lets the camera process draw the preview
    bool processDraws_ = false; // the camera process now does

    QString description_;
    std::optional<camera::DeviceIdentity> device_; // the camera by what it is, once found
    FormatChooser chooser_;

    bool waitForCamera_ = false;
    bool earlyDialog_ = false;
    bool absentAtStart_ = false; // create() found no camera and waits for one

    Link link_ = Link::Idle;
    QString lostReason_;
    bool tryFound_ = false; // the try's process has found the camera and is starting it
    bool previewOn_ = false;
    int previewRate_ = 0;

    QTimer watchdog_;
    LinkWatch alive_; // of the camera process now, and its camera
    QTimer retryTimer_;
    int triesSinceLoss_ = 0;
    quint64 processSerial_ = 0; // which camera process events are about; new with each
    int shownSlot_ = -1;        // the slot of the preview's shared memory on screen

    ProcessControls controls_{[this](const Message& message) { return send(message); },
                              [this] { return link_ == Link::Streaming; }};
    std::chrono::milliseconds warmUp_{1000};
    QElapsedTimer backSince_; // since the camera came back after a loss

    GrabRequests grabs_;
    FrameReceiver frames_; // the preview's and the grabs' shared memory
    QImage grabbed_; // the last grab's picture, in shared memory it releases with its last copy
    QDateTime grabbedAt_;
    int frozenAfter_ = 0;
    std::optional<qint64> frozeOn_; // the picture the last frozen camera process kept sending
};

} // namespace camera_process
