#pragma once

#include "camera_process/child_process.h"

#include <QString>
#include <memory>

namespace camera_process {

// The camera processes the window keeps: the one it talks to now, and a standby started ahead,
// with GStreamer loaded, to take over after a fault without that wait. Ended processes are
// reaped by ChildProcess; nothing here waits on one.
class ProcessHost {
public:
    // `program`: the camera process's executable.
    explicit ProcessHost(QString program) : program_(std::move(program)) {}

    // The camera process now; null when there is none.
    ChildProcess* now() const { return now_.get(); }
    // Whether there is one and its socket is open.
    bool talking() const { return now_ && now_->channel().isOpen(); }
    pid_t pid() const { return now_ ? now_->pid() : -1; }

    // Starts one ahead of need (start-up, before the window is built); nothing when one runs.
    void prepare();
    // A new camera process in place of the one now (which is ended).
    bool start(QString* error);
    // The standby becomes the camera process now (the old one ended); false when there is none
    // alive.
    bool takeStandby();
    // Starts a standby unless one is alive.
    void startStandby();
    void dropStandby() { standby_.reset(); }
    // Ends the camera process now.
    void end();

private:
    QString program_;
    std::unique_ptr<ChildProcess> now_;
    std::unique_ptr<ChildProcess> standby_; // started, GStreamer loaded, not yet spoken to
};

} // namespace camera_process
