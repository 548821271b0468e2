// Capture runs: start and stop, the ticks, and taking pictures.
#include "convert/conversion_error.h"
#include "convert/numbers.h"
#include "runs/run_names.h"
#include "window/form1.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace window {

namespace {

void refuse(MessageBoxes& messages, const QString& text) {
    messages.show(text, QStringLiteral("Error"), MessageBoxes::Icon::Critical);
}

} // namespace

// Every check comes before the first change, so a refused start leaves everything as it was.
void Form1::cmdStart_Click() {
    if (!convert::isNumeric(txtInterval->text(), deps_.locale)) {
        refuse(deps_.messages, QStringLiteral("The interval can only exist out of numbers."));
        return;
    }
    if (!convert::isNumeric(txtStopAt->text(), deps_.locale)) {
        refuse(deps_.messages,
               QStringLiteral("The number of frames to stop at can only exist out of numbers."));
        return;
    }
    std::int32_t interval = 0;
    try {
        interval = convert::toInt32(txtInterval->text(), deps_.locale);
    } catch (const convert::ConversionError&) {
        refuse(deps_.messages, QStringLiteral("The interval is too large: it must lie between "
                                              "-2147483648 and 2147483647."));
        return;
    }
    std::int32_t stopAt = -1;
    if (optStop2->isChecked()) {
        try {
            stopAt = convert::leadingInt32(txtStopAt->text());
        } catch (const convert::ConversionError&) {
            refuse(deps_.messages, QStringLiteral("The number of frames to stop at is too large: "
                                                  "it must lie between -2147483648 and "
                                                  "2147483647."));
            return;
        }
    }
    if (const QString why = lowSpaceReason(); !why.isEmpty()) {
        refuse(deps_.messages, QStringLiteral("A run cannot start: %1").arg(why));
        return;
    }
    QString error;
    const QString folder = runs::createRunFolder(
        picturesFolder(), runs::runFolderName(deps_.clock.localNow(), deps_.locale), &error);
    if (folder.isEmpty()) {
        refuse(deps_.messages, QStringLiteral("The folder for this run's pictures could not be "
                                              "created.\r\n%1")
                                   .arg(error));
        return;
    }

    if (QString why; !openRunLog(folder, &why)) {
        QDir(picturesFolder()).rmdir(folder); // empty: nothing of a run is lost
        refuse(deps_.messages, QStringLiteral("The run cannot start: its log cannot be "
                                              "written.\r\n%1")
                                   .arg(why));
        return;
    }

    lngTicks = 0;
    paused_ = false;
    lastPictureAt_ = QDateTime();
    runStarted_ = deps_.clock.localNow();
    lngInterval = interval;
    strRunFolder = folder;
    lngStopAt = stopAt;
    count_.start(stopAt);
    showCount();
    for (const auto line : {StatusArea::Resume, StatusArea::Sleep, StatusArea::Log})
        showRunNote(line, QString());
    setRunning(true);
    runBegins();
    if (deps_.cameraSettings) deps_.cameraSettings->runStarted();
    showRunTimes();
}

void Form1::cmdStop_Click() {
    stopRun(QString());
}

// The run stop; `reason` says why the run stopped by itself, if it did.
void Form1::stopRun(const QString& reason) {
    // The timer stops before the message, so no tick can come while it is open; the camera's
    // automatic controls come back at once, not when the message is answered.
    Timer->setEnabled(false);
    if (deps_.cameraSettings) deps_.cameraSettings->runEnded();
    // The count tells every picture as saved or not, so the pictures still being saved are
    // waited for.
    waitForSaves();
    // Logged before the message: the run is over even if the program ends while it shows.
    runEnds(runs::event::Stopped,
            !reason.isEmpty() ? reason
            : count_.state() == runs::RunCount::State::AtStop
                ? QStringLiteral("after %1 pictures").arg(convert::wholeText(lngTaken))
                : QStringLiteral("by the user"));
    QString text = QStringLiteral("%1 picture(s) taken.").arg(convert::wholeText(lngTaken));
    if (!reason.isEmpty()) text += QStringLiteral(" The run stopped: %1").arg(reason);
    if (lngNotSaved > 0)
        text += QStringLiteral(" %1 could not be saved.\r\nLast reason: %2")
                    .arg(convert::wholeText(lngNotSaved), strSaveError);
    deps_.messages.show(text, QStringLiteral("Info"), MessageBoxes::Icon::Information);
    count_.stop();
    lngTaken = 0; // the failures stay in view until the next run
    setRunning(false);
}

void Form1::cmdTakePic_Click() {
    TakePic();
}

void Form1::Timer_Timer() {
    accountForMissedTicks(Timer->missedTicks());
    if (count_.state() == runs::RunCount::State::AtStop) {
        cmdStop_Click(); // the pictures missed reached the stop count
        return;
    }
    if (lngTicks + 1 == lngInterval) {
        lngTicks = 0;
        // Outside the active hours no timed picture falls due: no number is used.
        if (withinActiveHours()) TakePic();
        showRunTimes();
    } else {
        lngTicks = lngTicks + 1;
    }
}

void Form1::TakePic() {
    if (const QString why = lowSpaceReason(); !why.isEmpty()) {
        stopRun(why);
        return;
    }
    const std::int64_t number = count_.take();
    if (number == 0) return; // no run, or one at its stop count
    const QString path =
        QStringLiteral("%1/%2/%3")
            .arg(picturesFolder(), strRunFolder,
                 runs::pictureFileName(number, pictures::formatExtension(pictureOptions_.format)));
    showCount();

    // The number is fixed now and used even when the picture fails, so the numbering shows the
    // gap; the failure is counted and shown, never silent. The window does not wait for the
    // frame: it is saved beside the window when it comes (onGrabDone()).
    pendingPictures_.insert(number, {path, pictureOptions_});
    deps_.camera.requestGrab(number);
    updateDiskEstimate();

    if (count_.state() == runs::RunCount::State::AtStop) cmdStop_Click();
}

void Form1::onGrabDone(qint64 number, const QImage& frame, const QDateTime& captured,
                       const QString& error) {
    if (number < 0) {
        // A trial's, for the size of a picture: of the format chosen now.
        if (number == lastTrialTicket_ && !frame.isNull())
            saves_->add({0, QString(), frame, captured, pictureOptions_});
        return;
    }
    const auto pending = pendingPictures_.find(number);
    if (pending == pendingPictures_.end()) return; // given up on
    const PendingPicture picture = *pending;
    pendingPictures_.erase(pending);
    if (frame.isNull())
        countNotSaved(number,
                      error.isEmpty() ? QStringLiteral("There is no picture to save") : error);
    else if (!saves_->add({number, picture.path, frame, captured, picture.options}))
        countNotSaved(number, QStringLiteral("saving is slower than the interval"));
}

void Form1::showCount() {
    lngTaken = std::int32_t(count_.taken());
    lngNotSaved = std::int32_t(count_.notSavedCount());
    strSaveError = count_.lastReason();
    lblPicturesTaken->setText(convert::wholeText(lngTaken));
    showSaveFailures();
}

// Failed pictures turn the count red, with the reason in its tooltip.
void Form1::showSaveFailures() {
    QPalette palette = lblPicturesTaken->palette();
    palette.setColor(QPalette::WindowText, lngNotSaved > 0
                                               ? QColor(255, 0, 0)
                                               : Frame2->palette().color(QPalette::WindowText));
    lblPicturesTaken->setPalette(palette);
    const QString tip =
        lngNotSaved > 0
            ? QStringLiteral("%1 could not be saved. %2").arg(lngNotSaved).arg(strSaveError)
            : QString();
    lblPicturesTaken->setToolTip(tip);
    lblPicturesTaken->setAccessibleDescription(tip);
}

// Pictures still being saved have not taken their room yet, but will.
QString Form1::lowSpaceReason() const {
    const std::int64_t picture = pictureBytesForSpace();
    const std::int64_t free = deps_.freeSpace(picturesFolder());
    if (picture <= 0 || free < 0 || free - saves_->queued() * picture >= ReservePictures * picture)
        return {};
    return QStringLiteral("the disk is almost full (%1 free, one picture takes %2).")
        .arg(deps_.locale.formattedDataSize(free), deps_.locale.formattedDataSize(picture));
}

} // namespace window
