#pragma once

#include "camera/camera_engine.h"
#include "camera_protocol/channel.h"
#include "camera_protocol/shared_memory.h"

#include <QTimer>
#include <deque>
#include <memory>

namespace camera {
class DeviceWatch;
}

namespace camera_process {

// The camera process's side of the protocol (docs/camera-process.md): it runs the camera engine
// on the window's requests and tells the window what the camera does. It keeps no policy: when
// anything goes wrong it says so, and the window decides (usually by ending this process).
class CameraServer : public QObject {
    Q_OBJECT
public:
    CameraServer(UniqueFd socket, QObject* parent = nullptr);
    ~CameraServer() override;

    // Starts what can start before the window asks for anything: GStreamer and the X11 sink.
    void warmUp();

signals:
    // The window process has gone: this process should end.
    void windowGone();

private:
    void onMessage(const Message& message);
    void open(const Message& message);
    void connectCamera(const Message& message);
    void start(const Message& message);
    void changeFormat(const Message& message);
    void grab(const Message& message);
    struct GrabBlock {
        qint64 id;
        SharedMemory memory;
        bool free;  // the window has let go of it
        bool known; // the window has its descriptor
    };
    // A block of `bytes` for a grab: a free one of the pool, a new one in it, or (the pool
    // full) `unpooled`, used once. Null with `error` when no memory can be had.
    GrabBlock* takeGrabBlock(std::size_t bytes, SharedMemory* unpooled, QString* error);
    void setControl(const Message& message);
    // Sets the controls named in `values`; says so when asked to, or when some were refused.
    void applyControls(const QCborMap& values, bool answer = true);
    void hold();
    void sendPreviewFrame();
    void sendStatus();
    void reply(const Message& message, int fd = -1);

    Channel channel_;
    camera::CameraEngine engine_;
    std::unique_ptr<camera::DeviceWatch> deviceWatch_;
    QTimer status_;

    // Memory for grabbed pictures, reused once the window has let go of it.
    static constexpr std::size_t MaxGrabBlocks = 4;
    std::deque<GrabBlock> grabBlocks_; // a deque: blocks stay where they are as others come
    qint64 lastGrabBlock_ = 0;

    // The preview through shared memory: two slots, the window shows one, this process writes
    // the other, and only once the window has taken the last one written.
    SharedMemory preview_;
    QSize previewSize_;
    int previewGeneration_ = 0; // which block the window's answers are about
    int windowSlot_ = -1;
    bool previewPending_ = false;
    int xErrorsSeen_ = 0;
    std::chrono::seconds frozenAfter_{0}; // the same picture this long: a frozen camera
};

} // namespace camera_process
