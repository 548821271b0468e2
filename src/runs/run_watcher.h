#pragma once

#include "runs/run_log.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <vector>

// What someone looking on (the run's web page, the command on every event) learns of the run:
// the state as the window shows it, after each picture and each change, and every row the run's
// log gets. The window tells; it never waits for a watcher, and knows nothing of how they look.
namespace runs {

struct RunState {
    bool running = false;
    QString runFolder;        // the run's folder, absolute; empty before the first run
    QDateTime since;          // when the run started
    qint64 taken = 0;         // pictures taken (numbers used)
    qint64 notSaved = 0;      // of them, not saved
    QString lastReason;       // why the last one was not saved
    bool cameraLost = false;  // the camera delivers no pictures
    QString cameraReason;     // why, when lost
    QString cameraName;       // what the camera is called (addresses masked)
    QDateTime nextDue;        // when the next picture falls due; invalid when none is
    QString diskFullIn;       // "3 days", as the window shows it
    QString latestPicture;    // the newest saved picture's path, absolute; empty when none
    qint64 latestNumber = 0;  // its number
    QDateTime latestCaptured; // when it was captured
    qint64 interval = 0;      // seconds between pictures
    qint64 stopAt = -1;       // the picture the run stops after; -1: none
    QDateTime stoppedAt;      // when the last run stopped; invalid while one runs, or before any
    QString stopReason;       // why, in the words of its log's last row
};

class RunWatcher {
public:
    virtual ~RunWatcher() = default;
    // The state now, and the rows just logged (none when only the state changed). Called on the
    // window's thread; returns at once.
    virtual void runChanged(const RunState& state, const QList<LogRow>& rows) = 0;
    // Rows a watcher has to add to a run's log (a command that failed), given once by the
    // window: `runFolder` says which run's.
    using LogSink = std::function<void(const QString& runFolder, const LogRow& row)>;
    virtual void setLogSink(LogSink sink) { (void)sink; }
};

// Several watchers as one.
class RunWatchers : public RunWatcher {
public:
    void add(RunWatcher* watcher) { watchers_.push_back(watcher); }
    bool empty() const { return watchers_.empty(); }
    void runChanged(const RunState& state, const QList<LogRow>& rows) override {
        for (RunWatcher* w : watchers_)
            w->runChanged(state, rows);
    }
    void setLogSink(LogSink sink) override {
        for (RunWatcher* w : watchers_)
            w->setLogSink(sink);
    }

private:
    std::vector<RunWatcher*> watchers_;
};

} // namespace runs
