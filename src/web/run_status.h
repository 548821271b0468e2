#pragma once

#include "runs/run_watcher.h"

#include <QByteArray>
#include <memory>
#include <mutex>

namespace web {

// The run's state as status.json gives it (docs/web.md): names of files only, never a path;
// every text from the camera masked.
QByteArray statusJson(const runs::RunState& state);

// The latest state, published by the window's thread, read by the server's: readers get a
// snapshot that never changes under them.
class StatusBoard : public runs::RunWatcher {
public:
    struct Snapshot {
        runs::RunState state;
        QByteArray json;
    };
    StatusBoard();
    void publish(const runs::RunState& state);
    void runChanged(const runs::RunState& state, const QList<runs::LogRow>&) override {
        publish(state);
    }
    std::shared_ptr<const Snapshot> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> snapshot_;
};

} // namespace web
