#pragma once

#include "camera_process/loss_policy.h"
#include "camera_protocol/reply.h"

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <optional>

namespace camera_process {

// Whether the camera process, and the camera behind it, are alive: when the process last said
// anything, when the camera last brought a new frame. The watchdog asks check() several times a
// second; what it finds goes to the link's table (loss_policy.h) like any other event.
class LinkWatch {
public:
    struct Limits {
        // No new frame for this long while streaming is a lost camera.
        std::chrono::milliseconds stall{5000};
        // A camera process silent this long (it speaks several times a second) hangs.
        std::chrono::milliseconds answer{3000};
        // A try's first frame may take as long as start-up gives a camera.
        std::chrono::milliseconds firstFrame{8000};
    };
    using Clock = std::chrono::steady_clock;

    // A camera process now speaks to us: it has not said anything yet.
    void newProcess();
    // It said something.
    void heard();
    // It reported its frames: progress when the count moved, at the frame's own moment.
    void status(const reply::Status& status);
    // Its camera sent its first frame.
    void firstFrame();
    // A try (or start-up) starts: its time counts from now, its frames afresh.
    void restart();
    // A wait the camera was allowed (a format change) is over: its silence counts from now.
    void progressNow() { lastProgress_ = Clock::now(); }

    bool firstFrameSeen() const { return firstFrameSeen_; }
    // Since the last new frame (or restart()).
    std::chrono::milliseconds silence() const;

    // What the watchdog finds in the link's state `link`: a process that does not answer, a
    // camera that brings no frame, or nothing. `process`: there is a camera process.
    struct Found {
        LinkEvent event;
        QString reason;
    };
    std::optional<Found> check(Link link, bool process, const Limits& limits) const;

private:
    QElapsedTimer lastAnswer_;
    Clock::time_point lastProgress_;
    qint64 framesSeen_ = -1;
    bool firstFrameSeen_ = false;
    bool ready_ = false; // it has said something
};

} // namespace camera_process
