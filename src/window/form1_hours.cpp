// The hours of the day a run takes its timed pictures in, and what the window shows of a run:
// when it started, its last picture, when the next one falls due, its folder.
#include "hours/hours_dialog.h"
#include "runs/run_log.h"
#include "window/form1.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace window {

namespace {

// "06:12:20" today, "Mon 06:12" on another day.
QString momentText(const QDateTime& moment, const QDateTime& now, bool seconds) {
    if (moment.date() == now.date())
        return moment.toString(seconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
    return moment.toString(QStringLiteral("ddd d MMM HH:mm"));
}

} // namespace

void Form1::applyActiveHours(const hours::ActiveHours& active) {
    schedule_ = hours::ActiveSchedule(active, deps_.timeZone);
    cmdHours->setToolTip(QStringLiteral("Pictures are taken: %1").arg(hours::describe(active)));
    cmdHours->setAccessibleDescription(cmdHours->toolTip());
    CalcNew();
    updateDiskEstimate();
}

void Form1::cmdHours_Click() {
    auto* dialog = new hours::HoursDialog(schedule_.hours(), deps_.clock.localNow().date(),
                                          deps_.timeZone, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const hours::ActiveHours chosen = dialog->hours();
        if (chosen == schedule_.hours()) return;
        for (const auto& [key, value] : hours::activeHoursSettings(chosen))
            saveChoice(key, value);
        applyActiveHours(chosen);
    });
    dialog->open();
}

void Form1::cmdRunFolder_Click() {
    if (strRunFolder.isEmpty()) return;
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(picturesFolder() + QLatin1Char('/') + strRunFolder));
}

// Whether a timed picture falling due now is taken; the log hears when the active hours end
// and begin again.
bool Form1::withinActiveHours() {
    if (schedule_.always()) return true;
    const QDateTime now = deps_.clock.localNow();
    const bool active = schedule_.isActive(now);
    if (active != paused_) return active;
    paused_ = !active;
    if (paused_) {
        const auto next = schedule_.nextStart(now);
        logRow(runs::event::Paused, 0,
               next ? QStringLiteral("outside the active hours (%1) until %2")
                          .arg(hours::describe(schedule_.hours()),
                               next->at.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                    : QStringLiteral("outside the active hours (%1), which do not begin again "
                                     "within a year")
                          .arg(hours::describe(schedule_.hours())));
    } else {
        logRow(runs::event::Active, 0, hours::describe(schedule_.hours()));
    }
    return active;
}

// Of `count` timed pictures due from `first` on, one every interval, how many fall in the
// active hours.
qint64 Form1::activeOf(const QDateTime& first, qint64 count) const {
    return schedule_.countActive(first, qint64(lngInterval) * 1000, count);
}

void Form1::showRunTimes(const QString& ended) {
    if (statusArea == nullptr) return;
    const QDateTime now = deps_.clock.localNow();
    QString text;
    if (runStarted_.isValid()) {
        text = QStringLiteral("Started %1, ").arg(momentText(runStarted_, now, true));
        text += lastPictureAt_.isValid()
                    ? QStringLiteral("last picture %1").arg(momentText(lastPictureAt_, now, true))
                    : QStringLiteral("no picture yet");
        text += QLatin1Char('\n');
    }
    if (!ended.isEmpty()) {
        text += ended;
    } else if (isRunning()) {
        text += nextPictureText(now);
    }
    statusArea->setText(StatusArea::Times, text.trimmed());
    cmdRunFolder->setEnabled(!strRunFolder.isEmpty());
    const QString folder =
        strRunFolder.isEmpty() ? QString() : picturesFolder() + QLatin1Char('/') + strRunFolder;
    statusArea->setText(StatusArea::Folder, folder.isEmpty()
                                                ? QString()
                                                : QStringLiteral("Run folder: %1").arg(folder));
    cmdRunFolder->setToolTip(
        folder.isEmpty() ? QString() : QStringLiteral("Open the run's folder: %1").arg(folder));
    cmdRunFolder->setAccessibleDescription(cmdRunFolder->toolTip());
}

QString Form1::nextPictureText(const QDateTime& now) const {
    if (lngInterval <= 0) return QStringLiteral("No timed pictures: the interval is 0");
    // The next tick's moment on the wall clock, then whole seconds to the one that takes a
    // picture.
    const auto untilTick = std::chrono::duration_cast<std::chrono::milliseconds>(
        Timer->nextDue() - deps_.clock.monotonic());
    const qint64 ticksLeft = std::max<qint64>(0, qint64(lngInterval) - lngTicks - 1);
    QDateTime next = now.addMSecs(std::max<qint64>(0, untilTick.count()) + ticksLeft * 1000);
    if (schedule_.always() || schedule_.isActive(next))
        return QStringLiteral("Next picture at %1").arg(momentText(next, now, true));
    const auto start = schedule_.nextStart(next);
    if (!start)
        return QStringLiteral("No picture due: the active hours do not begin again within a "
                              "year");
    // The first picture of the run's rhythm at or after the start.
    const qint64 period = qint64(lngInterval) * 1000;
    const qint64 wait = next.msecsTo(start->at);
    next = next.addMSecs((wait + period - 1) / period * period);
    return start->what.isEmpty()
               ? QStringLiteral("Next picture at %1").arg(momentText(next, now, false))
               : QStringLiteral("Next picture at %1, %2")
                     .arg(momentText(next, now, false), start->what);
}

} // namespace window
