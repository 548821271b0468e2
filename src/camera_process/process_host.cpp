#include "camera_process/process_host.h"

namespace camera_process {

void ProcessHost::prepare() {
    if (!now_) now_ = ChildProcess::start(program_, nullptr);
}

bool ProcessHost::start(QString* error) {
    end();
    now_ = ChildProcess::start(program_, error);
    return now_ != nullptr;
}

bool ProcessHost::takeStandby() {
    if (!standby_ || standby_->exited()) {
        standby_.reset();
        return false;
    }
    end();
    now_ = std::move(standby_);
    return true;
}

void ProcessHost::startStandby() {
    if (!standby_ || standby_->exited()) standby_ = ChildProcess::start(program_, nullptr);
}

void ProcessHost::end() {
    if (!now_) return;
    now_->end();
    now_.reset();
}

} // namespace camera_process
