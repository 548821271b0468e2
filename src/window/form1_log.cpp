// The run's log: every picture and event of a run on disk as it happens; a run the program was
// ended in the middle of, taken up again at the next start; sleep.
#include "convert/numbers.h"
#include "power/sleep_guard.h"
#include "runs/resume_decision.h"
#include "runs/run_names.h"
#include "runs/run_plan.h"
#include "secrets/masked_text.h"
#include "window/form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalBlocker>

#ifndef LUMIVEX_VERSION
#define LUMIVEX_VERSION "unknown"
#endif

namespace window {

namespace {

using namespace std::chrono_literals;

const QString NotRunning = runs::NotRunningReason;
const QString Asleep = QStringLiteral("the computer was asleep");
const QString HeldUp = QStringLiteral("the program was held up when it fell due");

// "45 seconds", "32 minutes", "5 hours", "3 days".
QString durationText(qint64 ms) {
    const qint64 s = std::max<qint64>(0, ms) / 1000;
    if (s < 120) return QStringLiteral("%1 seconds").arg(s);
    if (s < 120 * 60) return QStringLiteral("%1 minutes").arg(s / 60);
    if (s < 48 * 3600) return QStringLiteral("%1 hours").arg(s / 3600);
    return QStringLiteral("%1 days").arg(s / 86400);
}

} // namespace

bool Form1::openRunLog(const QString& folder, QString* error) {
    logError_.clear();
    return log_.open(picturesFolder() + QLatin1Char('/') + folder, error);
}

void Form1::logRow(const QString& event, qint64 picture, const QString& detail) {
    logRows({{deps_.clock.localNow(), event, picture, detail}});
}

void Form1::logRows(const QList<runs::LogRow>& rows) {
    if (!log_.isOpen()) return;
    // Whoever watches the run hears of the rows, written or not.
    const auto tell = qScopeGuard([&] { publishRun(rows); });
    QString error;
    bool written = true;
    for (const runs::LogRow& row : rows) {
        runs::LogRow masked = row;
        masked.detail = secrets::masked(row.detail);
        // Kept by the log while it cannot be written, and written once it can.
        if (!log_.append(masked, &error)) written = false;
    }
    // Said once, where it stays in view; the pictures go on being saved.
    if (!written && logError_.isEmpty()) {
        logError_ = error;
        showRunNote(StatusArea::Log,
                    QStringLiteral("The run's log cannot be written: %1").arg(error));
    } else if (written && !logError_.isEmpty()) {
        logError_.clear();
        showRunNote(StatusArea::Log, QStringLiteral("The run's log is written again"));
    }
}

void Form1::countMissed(qint64 count, const QString& reason) {
    // One row for the stretch: after days away a run can have millions of pictures missed.
    const runs::RunCount::Stretch stretch = count_.miss(count, reason);
    if (stretch.count() == 0) return;
    logRows({{deps_.clock.localNow(), runs::event::NotSaved, stretch.first, reason,
              stretch.count() > 1 ? stretch.last : 0}});
    showCount();
}

void Form1::showRunNote(StatusArea::Line line, const QString& text) {
    if (statusArea) statusArea->setText(line, text);
}

// After the run's start: its log, and the computer kept awake.
void Form1::runBegins() {
    const QDateTime started = deps_.clock.localNow();
    suspendedSeen_ = deps_.clock.suspended();
    asleepLogged_ = false;
    runs::RunPlan plan;
    plan.interval = lngInterval;
    plan.stopAt = lngStopAt < 0 ? -1 : lngStopAt;
    plan.pictureFormat = pictures::formatName(pictureOptions_.format);
    plan.camera = deps_.camera.cameraName();
    plan.videoFormat = deps_.camera.videoFormatLabel();
    plan.version = QStringLiteral(LUMIVEX_VERSION);
    logRows({{started, runs::event::Started, 0, runs::planDetail(plan)}});
    if (!schedule_.always())
        logRow(runs::event::Note, 0,
               QStringLiteral("timed pictures only in the active hours: %1")
                   .arg(hours::describe(schedule_.hours())));
    keepAwake();
}

void Form1::keepAwake() {
    if (deps_.sleepGuard)
        deps_.sleepGuard->hold(QStringLiteral("A timelapse capture run is in progress"));
}

// The run's last row; the log is closed and the computer may sleep again.
void Form1::runEnds(const QString& event, const QString& detail) {
    lastRunTaken_ = lngTaken;
    logRow(event, 0, detail);
    showRunTimes(QStringLiteral("Stopped %1")
                     .arg(deps_.clock.localNow().toString(QStringLiteral("HH:mm:ss"))));
    log_.close();
    if (deps_.sleepGuard) deps_.sleepGuard->release();
    // Of the run that went on: they say nothing of the next.
    showRunNote(StatusArea::Camera, QString());
    showRunNote(StatusArea::Sleep, QString());
}

void Form1::onCameraLost(const QString& reason) {
    const bool frozen = std::exchange(frozenLoss_, false);
    if (!isRunning()) return;
    logRow(frozen ? runs::event::Frozen : runs::event::CameraLost, 0, reason);
    showRunNote(StatusArea::Camera,
                QStringLiteral("Camera lost at %1: %2; the pictures due meanwhile are missed")
                    .arg(deps_.clock.localNow().toString(QStringLiteral("HH:mm:ss")), reason));
}

void Form1::onCameraFrozen() {
    frozenLoss_ = true;
    sceneStillLogged_ = false; // a new stretch of the same picture
}

// The camera put in place of a frozen one gives the same picture: the scene itself stands still
// (a dark night, a lens cap). The pictures go on; it is said once.
void Form1::onSceneStill() {
    if (!isRunning() || std::exchange(sceneStillLogged_, true)) return;
    logRow(runs::event::Note, 0,
           QStringLiteral("the camera sends the same picture as before it was replaced: the "
                          "scene stands still; the pictures go on being saved"));
}

void Form1::onCameraBack() {
    if (isRunning()) logRow(runs::event::CameraBack);
    showRunNote(StatusArea::Camera, QString());
    updateCameraButton(); // a camera waited for since start-up has its settings now
}

void Form1::onSleeping() {
    if (!isRunning()) return;
    asleepLogged_ = true;
    logRow(runs::event::Asleep);
}

void Form1::onWoke() {
    if (isRunning()) logRow(runs::event::Awake);
    // Many webcams need a fresh start after the computer slept.
    deps_.camera.restartCamera(Asleep);
}

void Form1::accountForMissedTicks(qint64 missed) {
    const Nanoseconds asleep = deps_.clock.suspended();
    const bool slept = asleep - suspendedSeen_ > 1s;
    if (slept && !asleepLogged_) {
        // No word from the desktop; the clocks tell when it slept and for how long.
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(asleep - suspendedSeen_);
        const QDateTime now = deps_.clock.localNow();
        logRows({{now.addMSecs(-ms.count()), runs::event::Asleep, 0, {}},
                 {now, runs::event::Awake, 0, {}}});
        deps_.camera.restartCamera(Asleep);
    }
    suspendedSeen_ = asleep;
    // The desktop says it sleeps a few seconds before it does: its word holds until the clocks
    // show the sleep.
    if (slept) asleepLogged_ = false;
    if (missed <= 0) return;
    qint64 due = 0;
    qint64 firstDue = -1; // which of the missed ticks was the first picture's
    for (qint64 i = 0; i < missed; ++i) {
        if (lngTicks + 1 == lngInterval) {
            if (firstDue < 0) firstDue = i;
            ++due;
            lngTicks = 0;
        } else {
            lngTicks = lngTicks + 1;
        }
    }
    // Only those in the active hours fell due; tick i came (missed - i) seconds before this one.
    if (due > 0 && !schedule_.always())
        due = activeOf(deps_.clock.localNow().addSecs(firstDue - missed), due);
    due = count_.dueBeforeStop(due);
    countMissed(due, slept ? Asleep : HeldUp);
}

// The program ends with the run going: the pictures taken are saved (within a few seconds),
// the camera's automatics given back, and the log's last row says how it ended.
void Form1::endRunWithProgram(const QString& event, const QString& detail) {
    if (!isRunning()) return;
    Timer->setEnabled(false);
    if (deps_.cameraSettings) deps_.cameraSettings->runEnded();
    waitForSaves(std::chrono::seconds(5));
    runEnds(event, detail);
}

void Form1::endBySignal(const QString& name) {
    starting_ = Starting::No; // a start-up under way goes no further
    endRunWithProgram(runs::event::Ended, name);
    if (deps_.video) deps_.video->cancel();
    if (hCapWnd != nullptr) deps_.camera.disconnectDriver();
    hCapWnd = nullptr;
}

// The run cut short is taken up again as it was: its folder, interval, stop count and picture
// format; the pictures that fell due while the program was away are counted as not saved.
bool Form1::resumeRun(const runs::CutShortRun& run) {
    QString error;
    if (!openRunLog(run.folder, &error)) {
        showRunNote(StatusArea::Resume,
                    QStringLiteral("The run %1 cannot be resumed: %2").arg(run.folder, error));
        return false;
    }
    {
        const QSignalBlocker blocker(cboSaveAs);
        if (const auto format = pictures::formatNamed(run.plan.pictureFormat)) {
            pictureOptions_.format = *format;
            cboSaveAs->setCurrentIndex(int(*format));
        }
    }
    txtInterval->setText(QString::number(run.plan.interval));
    (run.plan.stopAt < 0 ? optStop1 : optStop2)->setChecked(true);
    if (run.plan.stopAt >= 0) txtStopAt->setText(QString::number(run.plan.stopAt));

    strRunFolder = run.folder;
    runStarted_ = run.started;
    lastPictureAt_ = QDateTime();
    paused_ = false;
    lngInterval = run.plan.interval;
    lngStopAt = run.plan.stopAt;
    count_.resume(lngStopAt, run.highest, run.notSaved, run.lastReason);
    runSince_ = run.started;
    suspendedSeen_ = deps_.clock.suspended();

    const QDateTime now = deps_.clock.localNow();
    const runs::ResumeDecision decision = runs::decideResume(
        run, now, picturesFolder() + QLatin1Char('/') + run.folder,
        schedule_.always()
            ? std::function<qint64(const QDateTime&, qint64)>()
            : [this](const QDateTime& first, qint64 count) { return activeOf(first, count); });
    QList<runs::LogRow> rows = decision.rows;
    for (const qint64 n : decision.lost)
        count_.notSaved(n, NotRunning);
    const qint64 missed = decision.missed;
    const bool ended = decision.ended;
    const QString away = durationText(decision.awayMs);
    rows.append(
        {now, runs::event::Resumed, 0,
         QStringLiteral("the program was not running for %1; %2 pictures fell due meanwhile")
             .arg(away)
             .arg(missed)});
    if (const QString lost = deps_.camera.lostReason(); !lost.isEmpty())
        rows.append({now, runs::event::CameraLost, 0, lost});
    logRows(rows);

    setRunning(true);
    showCount();
    countMissed(missed, NotRunning);
    showRunNote(StatusArea::Resume,
                QStringLiteral("Resumed %1: the program was not running for %2 (%3 pictures "
                               "missed)")
                    .arg(deps_.locale.toString(now.time(), QStringLiteral("HH:mm")), away)
                    .arg(missed));
    keepAwake();
    if (deps_.cameraSettings) deps_.cameraSettings->runStarted();
    if (ended) {
        // Its planned end passed while the program was away: it ends now, with its message.
        QMetaObject::invokeMethod(this, &Form1::cmdStop_Click, Qt::QueuedConnection);
        return true;
    }
    // The rhythm stays the run's own: timed pictures at its start plus whole intervals.
    const qint64 sinceStart = decision.sinceStartMs;
    lngTicks = lngInterval > 0 ? std::int32_t((sinceStart / 1000) % lngInterval) : 0;
    Timer->alignTo(deps_.clock.monotonic() - std::chrono::milliseconds(sinceStart));
    showRunTimes();
    return true;
}

} // namespace window
