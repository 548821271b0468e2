#pragma once

#include "camera_api/camera_view.h"
#include "hours/active_schedule.h"
#include "pictures/bmp_writer.h"
#include "pictures/picture_options.h"
#include "pictures/save_queue.h"
#include "runs/run_count.h"
#include "runs/run_log.h"
#include "runs/run_plan.h"
#include "window/camera_settings.h"
#include "window/clock.h"
#include "window/disk_space.h"
#include "window/look_in.h"
#include "window/message_boxes.h"
#include "window/status_area.h"
#include "window/ticker.h"
#include "window/video_maker.h"

#include <QHash>
#include <QLocale>
#include <QTimeZone>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace power {
class SleepGuard;
}
namespace runs {
class RunWatcher;
} // namespace runs

namespace window {

// What the window needs from the outside world, handed in by main() or by a test.
struct Form1Deps {
    camera::CameraView& camera;
    MessageBoxes& messages;
    const Clock& clock;
    Alarm& alarm;
    QString programFolder; // holds Config.ini and the pictures folder
    QLocale locale = QLocale();
    FreeSpace freeSpace = freeBytesAt;
    VideoMaker* video = nullptr;              // none: the Make Video button does nothing
    CameraSettings* cameraSettings = nullptr; // none: the Camera button stays disabled
    // How picture files are written, on the saving thread; tests give a slow or failing disk.
    pictures::FileWriter writeFile = camera::saveFileAtomically;
    // Keeps the computer awake during a run and tells when it sleeps; none: nothing is held.
    power::SleepGuard* sleepGuard = nullptr;
    // Told of the run's state and every row of its log (the run's web page, the command on
    // every event); none: nobody is told.
    runs::RunWatcher* runWatcher = nullptr;
    // The run's web page: its link and a new key; none: the Look in button stays hidden.
    LookIn lookIn{};
    // The computer's time zone, which the active hours of a day are read in.
    QTimeZone timeZone = QTimeZone::systemTimeZone();
};

// The program's one window: the camera view above, the panel with the inputs, the plan figures,
// the status and the buttons below; and the state of the capture run.
class Form1 : public QWidget {
    Q_OBJECT
public:
    // When the panel (everything below the camera view) is built: at once, or at the end of
    // Load(), after the format dialog. The window only shows after Load(), so at start-up the
    // panel can wait, and the format dialog comes sooner.
    enum class Panel { AtOnce, AfterLoad };

    explicit Form1(Form1Deps deps, Panel panel = Panel::AtOnce, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: sizes the preview from Config.ini, opens the camera, starts the preview and
    // asks for the video format. Nothing waits on the camera: each step goes on when the camera
    // answers the one before, and loaded() says how start-up ended.
    void Load();

signals:
    // Start-up is over: `ok`, the window may be shown; else the user has been told why, and
    // the program must end at once.
    void loaded(bool ok);

public:
    // Handlers, named after their control and event.
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdTakePic_Click();
    void Timer_Timer();
    void txtInterval_Change();
    void txtStopAt_Change();
    void cmdMakeVideo_Click();
    void cmdCamera_Click();
    void cboSaveAs_Change();
    void chkTimeStamp_Click();
    void cmdHours_Click();
    void cmdRunFolder_Click();

    void TakePic();
    void CalcNew();

    bool isRunning() const;
    // The orderly end on a signal (`name`: "SIGTERM", ...): the pictures taken are saved, the
    // camera's automatics given back, the log told that the program ended with the run going,
    // so that the next start takes it up again. The caller then quits.
    void endBySignal(const QString& name);
    // Returns once every picture taken so far is saved or counted as not saved; the window
    // keeps painting meanwhile. Stop waits so before it tells the count.
    void waitForSaves();

    // The controls, by the names users and tests know them by.
    QWidget* Stage = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr, *Frame4 = nullptr,
              *Frame5 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr,
           *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr;
    QLineEdit *txtInterval = nullptr, *txtStopAt = nullptr;
    QLabel *lblCalc = nullptr, *lblCalc1 = nullptr, *lblCalc2 = nullptr, *lblCalc3 = nullptr;
    QRadioButton *optStop1 = nullptr, *optStop2 = nullptr;
    QLabel *lblStatus = nullptr, *lblPicturesTaken = nullptr;
    QPushButton *cmdStart = nullptr, *cmdStop = nullptr, *cmdTakePic = nullptr;
    QPushButton* cmdMakeVideo = nullptr; // makes a timelapse video of a run
    QPushButton* cmdCamera = nullptr;    // the camera's own settings
    QLabel* Label8 = nullptr;            // "Save as:"
    QComboBox* cboSaveAs = nullptr;      // the pictures' file format
    QCheckBox* chkTimeStamp = nullptr;   // the moment of capture drawn on the pictures
    QLabel* lblDiskFull = nullptr;       // how long the disk holds this run's pictures
    StatusArea* statusArea = nullptr;    // below the panel: the run's times, folder and notes
    QLabel* lblRunNote = nullptr;        // of statusArea: how the run was taken up again
    QLabel* lblRunInfo = nullptr;        // of statusArea: started, last picture, next one due
    QPushButton* cmdHours = nullptr;     // the hours of the day pictures are taken in
    QPushButton* cmdLookIn = nullptr;    // the link to the run's web page, for a phone
    QPushButton* cmdRunFolder = nullptr; // opens the run's folder in the file manager
    Ticker* Timer = nullptr;

    // The run fields.
    std::int32_t lngInterval = 0;
    std::int32_t lngTicks = 0;
    std::int32_t lngStopAt = 0;
    std::int32_t lngTaken = 0;
    // The pictures the last run took, for its page once it is over (lngTaken starts again).
    std::int32_t lastRunTaken_ = 0;
    QString strRunFolder;
    std::int32_t lngFramerate = 0;
    QWidget* hCapWnd = nullptr; // the camera view; null until start-up created it

    // Pictures of this run that could not be saved, and why the last one failed.
    std::int32_t lngNotSaved = 0;
    QString strSaveError;
    // lngTaken, lngNotSaved and strSaveError show the run's count (count_), which alone numbers
    // pictures.

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static int readFrozenAfter(const QString& text, QStringList* problems);
    void buildWindow();
    void buildPanel();
    void setRunning(bool running);
    void sizeStage(int width, int height);
    void fitAroundStage();
    void showSaveFailures();
    void stopRun(const QString& reason);
    // Why a picture should not be taken now for want of disk space; empty when there is room.
    QString lowSpaceReason() const;
    void updateSpaceTip();
    void videoFinished();
    void updateCameraButton();
    QString picturesFolder() const;
    static void colourBox(QLineEdit* box, bool valid);

    // Pictures: the settings, saving, and what a picture takes on disk (form1_pictures.cpp).
    void applyPictureSettings(const QStringList& problems);
    void saveChoice(const QString& key, const QString& value);
    void trialSave();
    void takeSaveResults();
    void countNotSaved(std::int64_t number, const QString& reason);

    // The run's log (form1_log.cpp).
    bool openRunLog(const QString& folder, QString* error);
    void logRow(const QString& event, qint64 picture = 0, const QString& detail = {});
    void logRows(const QList<runs::LogRow>& rows);
    // Pictures that fell due and were not taken: their numbers are used, logged and counted.
    void countMissed(qint64 count, const QString& reason);
    void showRunNote(StatusArea::Line line, const QString& text);
    void runBegins();
    void keepAwake();
    void endRunWithProgram(const QString& event, const QString& detail);
    void runEnds(const QString& event, const QString& detail);
    void onCameraLost(const QString& reason);
    void onCameraBack();
    void onSleeping();
    void onWoke();
    bool resumeRun(const runs::CutShortRun& run);
    // Ticks the timer could not deliver: the computer slept, or the window was held up.
    void accountForMissedTicks(qint64 missed);
    void waitForSaves(std::chrono::milliseconds limit);
    void onGrabDone(qint64 number, const QImage& frame, const QDateTime& captured,
                    const QString& error);
    // The active hours and what the window shows of a run (form1_hours.cpp).
    void applyActiveHours(const hours::ActiveHours& active);
    bool withinActiveHours();
    qint64 activeOf(const QDateTime& first, qint64 count) const;
    void showRunTimes(const QString& ended = {});
    QString nextPictureText(const QDateTime& now) const;
    // The share of the coming days' hours that is active; 1 with every hour active.
    double activeShare() const;
    void onCameraFrozen();
    void onSceneStill();

    std::optional<std::int64_t> estimatedPictureBytes() const;
    std::int64_t pictureBytesForSpace() const;
    void updateDiskEstimate();

    Form1Deps deps_;
    bool makingVideo_ = false; // from Make Video until the video maker is done
    pictures::PictureOptions pictureOptions_;
    std::unique_ptr<pictures::SaveQueue> saves_;
    std::deque<std::int64_t> recentBytes_;   // the last pictures' sizes in the current format
    std::optional<std::int64_t> trialBytes_; // a trial save's, before any picture
    bool toldChoiceUnsaved_ = false;

    // Pictures whose frame is asked for and not come yet, by number.
    struct PendingPicture {
        QString path;
        pictures::PictureOptions options;
    };
    QHash<qint64, PendingPicture> pendingPictures_;
    // Trial grabs count down from -1, pictures up from 1: the newest trial is the one taken.
    qint64 lastTrialTicket_ = 0;
    runs::RunLog log_;
    runs::RunCount count_;
    // Shows the count: the fields above and the pictures-taken label.
    void showCount();
    QString logError_;            // why the log cannot be written, said once a run
    Nanoseconds suspendedSeen_{}; // the clock's time asleep at the last tick
    bool asleepLogged_ = false;   // the desktop said it sleeps; the clock need not
    QString notResumed_;          // why a cut-short run was not taken up again
    // Start-up's steps after the camera's answers (form1.cpp), and what they carry over.
    enum class Starting { No, Creating, Connecting, Choosing };
    Starting starting_ = Starting::No;
    std::optional<runs::CutShortRun> cutShort_;
    QStringList startProblems_;
    QString setting(const char* key) const;
    void onCameraCreated(QWidget* view, const QString& error);
    void onCameraConnected(const QString& error);
    void onFormatChosen();
    void startUpFailed(const QString& text);
    hours::ActiveSchedule schedule_;
    bool paused_ = false;           // the run waits for its active hours
    QDateTime runStarted_;          // this run's start, shown while it goes
    QDateTime lastPictureAt_;       // when its last picture was saved
    bool frozenLoss_ = false;       // the camera being lost kept sending the same picture
    bool sceneStillLogged_ = false; // said once a still stretch that the scene stands still

    // Looking in from elsewhere: the run's state told to the watcher (form1_web.cpp).
    void setUpWatching();
    void publishRun(const QList<runs::LogRow>& rows = {});
    void watchDiskSpace(std::int64_t free, std::int64_t pictureBytes, std::int64_t interval);
    void logForWatcher(const QString& runFolder, const runs::LogRow& row);
    void cmdLookIn_Click();
    struct LatestSaved {
        QString path;
        qint64 number = 0;
        QDateTime captured;
    } latestSaved_;
    QDateTime runSince_;
    QDateTime runStoppedAt_; // the last run's end and why, from its log's last row
    QString runStopReason_;
    bool diskAlmostFullLogged_ = false;
    std::unique_ptr<runs::RunLog> pastRunLog_; // the run before's, for a watcher's late rows
    QString pastRunFolder_;
};

} // namespace window
