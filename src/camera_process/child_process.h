#pragma once

#include "camera_protocol/channel.h"

#include <QObject>
#include <QString>
#include <memory>
#include <sys/types.h>

namespace camera_process {

// A camera process, as the window process sees it: started with one end of a socket pair, spoken
// to through a Channel, and ended by SIGKILL, which no driver or plugin can refuse. Ending never
// waits: the process is reaped through its pidfd whenever it is gone, after this object if need
// be (a process stuck in a driver dies only when the driver lets go).
class ChildProcess : public QObject {
    Q_OBJECT
public:
    ~ChildProcess() override;

    // Starts `program` (the camera process's executable). Null with `error` when it cannot.
    static std::unique_ptr<ChildProcess> start(const QString& program, QString* error);

    // Made on first use, so a process can be started before the application object exists (a
    // channel needs its event loop).
    Channel& channel();
    pid_t pid() const { return pid_; }

    // Kills it now; the object may go at once.
    void end();
    // Whether it has ended by itself (looked up without waiting).
    bool exited() const;

private:
    ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd socket);

    pid_t pid_;
    UniqueFd pidfd_;
    UniqueFd socket_; // until the channel takes it
    std::unique_ptr<Channel> channel_;
};

} // namespace camera_process
