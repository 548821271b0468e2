// Pictures: the format and stamp chosen, written back to Config.ini, the save queue's results,
// and how long the disk holds the pictures.
#include "convert/conversion_error.h"
#include "convert/numbers.h"
#include "pictures/bmp_writer.h"
#include "pictures/picture_settings.h"
#include "settings/ini_writer.h"
#include "window/form1.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <cmath>
#include <numeric>

namespace window {

namespace {

// The mean of the last this many pictures is what a picture takes.
constexpr std::size_t RecentPictures = 10;

} // namespace

// The settings read at start-up go into the controls; a choice made there is written back only
// when the user makes it.
void Form1::applyPictureSettings(const QStringList& problems) {
    {
        const QSignalBlocker formatBlocker(cboSaveAs);
        const QSignalBlocker stampBlocker(chkTimeStamp);
        cboSaveAs->setCurrentIndex(int(pictureOptions_.format));
        chkTimeStamp->setChecked(pictureOptions_.timeStamp);
    }
    if (!problems.isEmpty())
        deps_.messages.show(problems.join(QStringLiteral("\r\n")), QStringLiteral("Config.ini"),
                            MessageBoxes::Icon::Warning);
    trialSave();
    updateDiskEstimate();
}

void Form1::cboSaveAs_Change() {
    pictureOptions_.format = pictures::PictureFormat(cboSaveAs->currentIndex());
    // Sizes of another format say nothing of this one's.
    recentBytes_.clear();
    trialBytes_.reset();
    saveChoice(pictures::PictureFormatKey, pictures::formatName(pictureOptions_.format));
    trialSave();
    updateDiskEstimate();
    updateSpaceTip();
}

void Form1::chkTimeStamp_Click() {
    pictureOptions_.timeStamp = chkTimeStamp->isChecked();
    saveChoice(pictures::TimeStampKey,
               pictureOptions_.timeStamp ? QStringLiteral("1") : QStringLiteral("0"));
}

// The choice holds for this session in any case; that it could not be kept is said once.
void Form1::saveChoice(const QString& key, const QString& value) {
    QString error;
    if (modIni::WriteIniValue(QStringLiteral("MAIN"), key, value, QStringLiteral("Config.ini"),
                              deps_.programFolder, &error) ||
        toldChoiceUnsaved_)
        return;
    toldChoiceUnsaved_ = true;
    deps_.messages.show(QStringLiteral("Your choice holds until the program ends, but it cannot "
                                       "be kept for the next start.\r\n%1")
                            .arg(error),
                        QStringLiteral("Config.ini"), MessageBoxes::Icon::Warning);
}

// What a PNG or JPEG picture takes is known only once one is encoded: the next frame is
// encoded beside the window, and not written. Its grab is asked for like a picture's, under a
// ticket no picture has, and the window does not wait for it.
void Form1::trialSave() {
    if (pictureOptions_.format == pictures::PictureFormat::Bmp || hCapWnd == nullptr) return;
    deps_.camera.requestGrab(--lastTrialTicket_);
}

void Form1::takeSaveResults() {
    const std::vector<pictures::SaveResult> results = saves_->takeResults();
    if (results.empty()) return;
    for (const pictures::SaveResult& result : results) {
        if (result.number == 0) {
            if (result.ok) trialBytes_ = result.bytes;
        } else if (result.ok) {
            latestSaved_ = {result.path, result.number, result.captured};
            logRow(runs::event::Saved, result.number,
                   result.captured.isValid() ? QStringLiteral("%1, captured %2")
                                                   .arg(result.path.section(QLatin1Char('/'), -1),
                                                        runs::logTime(result.captured))
                                             : result.path.section(QLatin1Char('/'), -1));
            lastPictureAt_ = deps_.clock.localNow();
            recentBytes_.push_back(result.bytes);
            if (recentBytes_.size() > RecentPictures) recentBytes_.pop_front();
        } else {
            countNotSaved(result.number, result.error);
        }
    }
    updateDiskEstimate();
    // The run's length in bytes follows the format once its pictures' size is known.
    updateSpaceTip();
    if (isRunning()) showRunTimes();
}

void Form1::waitForSaves() {
    // The frames asked for come through the event loop; the camera answers each in its time.
    while (!pendingPictures_.isEmpty())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    while (!saves_->waitUntilIdle(std::chrono::milliseconds(20)))
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    // The keys and clicks put aside are handed out when the loop is next woken.
    QCoreApplication::eventDispatcher()->wakeUp();
    takeSaveResults();
}

// The program is ending: the frames asked for and the pictures queued get `limit` in all.
void Form1::waitForSaves(std::chrono::milliseconds limit) {
    QDeadlineTimer deadline(limit);
    while (!pendingPictures_.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    saves_->waitUntilIdle(std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime())));
    takeSaveResults();
}

void Form1::countNotSaved(std::int64_t number, const QString& reason) {
    logRow(runs::event::NotSaved, number, reason);
    if (!count_.running()) return;
    count_.notSaved(number, reason);
    showCount();
}

// Exact for BMP; for PNG and JPEG the mean of the last pictures, or of the trial before any.
std::optional<std::int64_t> Form1::estimatedPictureBytes() const {
    if (pictureOptions_.format == pictures::PictureFormat::Bmp) {
        const std::int64_t bytes = camera::bmpFileBytes(deps_.camera.pictureSize());
        return bytes > 0 ? std::optional(bytes) : std::nullopt;
    }
    if (!recentBytes_.empty())
        return std::accumulate(recentBytes_.begin(), recentBytes_.end(), std::int64_t(0)) /
               std::int64_t(recentBytes_.size());
    return trialBytes_;
}

// The guards of the disk go by the estimate; until there is one, by the BMP, which no picture of
// the camera's size outgrows by much.
std::int64_t Form1::pictureBytesForSpace() const {
    return estimatedPictureBytes().value_or(camera::bmpFileBytes(deps_.camera.pictureSize()));
}

void Form1::updateDiskEstimate() {
    if (lblDiskFull == nullptr) return;
    if (!convert::isNumeric(txtInterval->text(), deps_.locale)) return;
    std::int64_t interval = 0;
    try {
        interval = convert::leadingInt32(txtInterval->text());
    } catch (const convert::ConversionError&) {
        return; // keeps its text, as the plan figures do
    }
    // With active hours, a picture every interval of them: further apart on the whole.
    const double share = activeShare();
    if (share < 1.0) interval = share > 0 ? std::llround(double(interval) / share) : 0;
    const std::int64_t free = deps_.freeSpace(picturesFolder());
    const std::int64_t pictureBytes = estimatedPictureBytes().value_or(0);
    lblDiskFull->setText(
        QStringLiteral("Disk full in: %1").arg(diskFullText(free, pictureBytes, interval)));
    watchDiskSpace(free, pictureBytes, interval);
}

} // namespace window
