// Looking in from elsewhere: the run's state and its log rows told to the watcher (the run's web
// page, the command on every event), the disk almost full, and the Look in button.
#include "convert/numbers.h"
#include "runs/run_watcher.h"
#include "secrets/masked_text.h"
#include "window/form1.h"
#include "window/look_in_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace window {

void Form1::setUpWatching() {
    if (deps_.runWatcher == nullptr) return;
    connect(&deps_.camera, &camera::CameraView::cameraLost, this, [this] { publishRun(); });
    connect(&deps_.camera, &camera::CameraView::cameraBack, this, [this] { publishRun(); });
    deps_.runWatcher->setLogSink([this](const QString& runFolder, const runs::LogRow& row) {
        logForWatcher(runFolder, row);
    });
    // The first state once the event loop runs: the camera is known by then.
    QTimer::singleShot(0, this, [this] { publishRun(); });
}

void Form1::publishRun(const QList<runs::LogRow>& rows) {
    if (deps_.runWatcher == nullptr) return;
    bool ended = false;
    QList<runs::LogRow> masked;
    masked.reserve(rows.size());
    for (const runs::LogRow& row : rows) {
        if (row.event == runs::event::Started) {
            runSince_ = row.time;
            latestSaved_ = {};
            diskAlmostFullLogged_ = false;
        }
        ended = row.event == runs::event::Stopped || row.event == runs::event::Ended;
        masked.append(row);
        masked.back().detail = secrets::masked(row.detail);
        if (row.event == runs::event::Started || row.event == runs::event::Resumed) {
            runStoppedAt_ = {};
            runStopReason_.clear();
        } else if (ended) {
            runStoppedAt_ = row.time;
            // An "ended" row names only the signal that ended the program.
            runStopReason_ =
                row.event == runs::event::Ended
                    ? QStringLiteral("the program was ended (%1)").arg(masked.back().detail)
                    : masked.back().detail;
        }
    }
    runs::RunState state;
    state.running = isRunning() && !ended;
    if (!strRunFolder.isEmpty())
        state.runFolder = picturesFolder() + QLatin1Char('/') + strRunFolder;
    state.since = runSince_;
    state.taken = state.running ? lngTaken : lastRunTaken_;
    state.notSaved = lngNotSaved;
    state.lastReason = secrets::masked(strSaveError);
    const QString lost = deps_.camera.lostReason();
    state.cameraLost = !lost.isEmpty();
    state.cameraReason = secrets::masked(lost);
    state.cameraName = secrets::masked(deps_.camera.cameraName());
    if (state.running && lngInterval > 0)
        state.nextDue = deps_.clock.localNow().addSecs(std::max(1, lngInterval - lngTicks));
    if (lblDiskFull != nullptr)
        state.diskFullIn = lblDiskFull->text().section(QStringLiteral(": "), 1);
    state.latestPicture = latestSaved_.path;
    state.latestNumber = latestSaved_.number;
    state.latestCaptured = latestSaved_.captured;
    state.interval = lngInterval;
    state.stopAt = lngStopAt;
    state.stoppedAt = runStoppedAt_;
    state.stopReason = runStopReason_;
    deps_.runWatcher->runChanged(state, masked);
}

// Less than a day's pictures left on the disk is an event, once until there is room again; only
// logged for a watcher, so that the log is as before without one.
void Form1::watchDiskSpace(std::int64_t free, std::int64_t pictureBytes, std::int64_t interval) {
    if (deps_.runWatcher == nullptr || !isRunning() || free < 0 || pictureBytes <= 0 ||
        interval <= 0)
        return;
    const std::int64_t left = free / pictureBytes;
    const std::int64_t aDay = std::max<std::int64_t>(1, 86400 / interval);
    if (left >= aDay) {
        diskAlmostFullLogged_ = false;
        return;
    }
    if (diskAlmostFullLogged_) return;
    diskAlmostFullLogged_ = true;
    logRow(runs::event::DiskAlmostFull, 0,
           QStringLiteral("room for about %1 more pictures, less than a day's (%2)")
               .arg(convert::wholeText(left), convert::wholeText(aDay)));
}

// A watcher's row goes into the log of the run it is about: the run going, or the one before
// (a command for "stopped" fails after its log is closed); that one is kept open until another
// run's row comes, so that the window never waits for it to be written.
void Form1::logForWatcher(const QString& runFolder, const runs::LogRow& row) {
    if (runFolder.isEmpty()) return;
    if (log_.isOpen() && runFolder == picturesFolder() + QLatin1Char('/') + strRunFolder) {
        logRows({row});
        return;
    }
    if (!pastRunLog_ || pastRunFolder_ != runFolder) {
        pastRunLog_ = std::make_unique<runs::RunLog>();
        pastRunFolder_ = runFolder;
        if (QString error; !pastRunLog_->open(runFolder, &error)) {
            pastRunLog_.reset();
            return;
        }
    }
    runs::LogRow masked = row;
    masked.detail = secrets::masked(row.detail);
    QString error;
    pastRunLog_->append(masked, &error);
}

void Form1::cmdLookIn_Click() {
    if (!deps_.lookIn) return;
    LookInDialog dialog(deps_.lookIn, this);
    dialog.exec();
}

} // namespace window
