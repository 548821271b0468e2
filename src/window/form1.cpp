// The window's life: construction, start-up and shutdown.
#include "window/form1.h"

#include "convert/conversion_error.h"
#include "convert/numbers.h"
#include "hours/active_hours.h"
#include "pictures/picture_settings.h"
#include "power/sleep_guard.h"
#include "runs/run_plan.h"
#include "secrets/masked_text.h"
#include "settings/mod_ini.h"

#include <QAccessibleWidget>
#include <QCloseEvent>

namespace window {

namespace {

const QString ShutDownLine = QStringLiteral("Webcam Lumivex will now shut down.");

// Qt presents a plain top-level widget to screen readers as a filler, not as a window; this
// window is the program's main window.
QAccessibleInterface* accessibleForm(const QString& className, QObject* object) {
    if (className == QLatin1String(Form1::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

// A negative size cannot be given to the preview area.
class InvalidPropertyValue : public std::exception {};

} // namespace

Form1::Form1(Form1Deps deps, Panel panel, QWidget* parent)
    : QWidget(parent), deps_(std::move(deps)),
      saves_(std::make_unique<pictures::SaveQueue>(deps_.writeFile)) {
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleForm), true);
    (void)factoryInstalled;
    buildWindow();
    connect(Timer, &Ticker::timeout, this, &Form1::Timer_Timer);
    // Results come from the saving thread; they are taken in here, on the window's.
    connect(saves_.get(), &pictures::SaveQueue::resultsReady, this, &Form1::takeSaveResults);
    connect(&deps_.camera, &camera::CameraView::grabDone, this, &Form1::onGrabDone);
    // Start-up goes on from the event loop, never inside the camera's own handling of a
    // message: a failure's message box must not run an event loop in there.
    connect(&deps_.camera, &camera::CameraView::created, this, &Form1::onCameraCreated,
            Qt::QueuedConnection);
    connect(&deps_.camera, &camera::CameraView::connected, this, &Form1::onCameraConnected,
            Qt::QueuedConnection);
    connect(&deps_.camera, &camera::CameraView::formatChosen, this, &Form1::onFormatChosen,
            Qt::QueuedConnection);
    connect(&deps_.camera, &camera::CameraView::cameraLost, this, &Form1::onCameraLost);
    connect(&deps_.camera, &camera::CameraView::cameraBack, this, &Form1::onCameraBack);
    connect(&deps_.camera, &camera::CameraView::cameraFrozen, this, &Form1::onCameraFrozen);
    connect(&deps_.camera, &camera::CameraView::sceneStill, this, &Form1::onSceneStill);
    if (deps_.sleepGuard) {
        connect(deps_.sleepGuard, &power::SleepGuard::sleeping, this, &Form1::onSleeping);
        connect(deps_.sleepGuard, &power::SleepGuard::woke, this, &Form1::onWoke);
        connect(deps_.sleepGuard, &power::SleepGuard::cannotHold, this, [this](const QString& why) {
            const QString text =
                QStringLiteral("The computer may sleep during this run: %1").arg(why);
            showRunNote(StatusArea::Sleep, text);
            logRow(runs::event::Note, 0, text);
        });
    }
    setUpWatching();
    if (panel == Panel::AtOnce) buildPanel();
}

Form1::~Form1() = default;

// Seconds of the same picture after which a camera is frozen: 30 unless Config.ini says
// otherwise; 0 turns the check off.
int Form1::readFrozenAfter(const QString& text, QStringList* problems) {
    constexpr int Default = 30;
    if (text.isEmpty()) return Default;
    bool valid = false;
    const int seconds = text.trimmed().toInt(&valid);
    if (valid && seconds >= 0 && seconds <= 86400) return seconds;
    *problems << QStringLiteral("FrozenAfter=%1 is not allowed in Config.ini: it must be whole "
                                "seconds from 0 (off) to 86400. %2 is used.")
                     .arg(text)
                     .arg(Default);
    return Default;
}

QString Form1::setting(const char* key) const {
    return modIni::ReadIniValue(QStringLiteral("MAIN"), QLatin1String(key),
                                QStringLiteral("Config.ini"), QString(), deps_.programFolder);
}

void Form1::startUpFailed(const QString& text) {
    starting_ = Starting::No;
    deps_.messages.show(text, QStringLiteral("Error!"), MessageBoxes::Icon::Critical);
    emit loaded(false);
}

void Form1::Load() {
    const auto size = [&](const char* key) {
        const int value = convert::toInt16(setting(key), deps_.locale);
        if (value < 0) throw InvalidPropertyValue();
        return value;
    };

    QString failure;
    try {
        sizeStage(size("Width"), Stage->height());
        sizeStage(Stage->width(), size("Height"));
        lngFramerate = convert::toInt16(setting("Framerate"), deps_.locale);
    } catch (const convert::ConversionError& e) {
        failure = QStringLiteral("Error #%1: '%2'").arg(int(e.number())).arg(e.description());
    } catch (const InvalidPropertyValue&) {
        failure = QStringLiteral("Error #380: 'Invalid property value'");
    }
    if (!failure.isEmpty()) {
        startUpFailed(
            QStringLiteral("Other error occourd than the webcam not being found! %1\r\n%2")
                .arg(failure, ShutDownLine));
        return;
    }

    // A run the program was ended in the middle of is taken up again, with nobody asked: the
    // camera and video format are the run's, and a camera not there yet is waited for.
    cutShort_.reset();
    if (setting("ResumeRun").trimmed() != QLatin1String("0"))
        cutShort_ = runs::findCutShortRun(picturesFolder(), deps_.locale, &notResumed_);
    if (cutShort_) {
        if (const QString why = runs::resumeProblem(*cutShort_, deps_.clock.localNow());
            !why.isEmpty()) {
            notResumed_ =
                QStringLiteral("The run %1 cannot be resumed: %2").arg(cutShort_->folder, why);
            cutShort_.reset();
        }
    }
    deps_.camera.waitForCamera(cutShort_.has_value());
    // The format dialog comes up while the camera opens (a resumed run keeps its format).
    deps_.camera.showFormatDialogEarly(!cutShort_.has_value());
    startProblems_.clear();
    deps_.camera.setFrozenAfter(readFrozenAfter(setting("FrozenAfter"), &startProblems_));
    const hours::HoursSettings hoursSettings =
        hours::readActiveHours([&](const QString& key) { return setting(qPrintable(key)); });
    startProblems_ << hoursSettings.problems;
    schedule_ = hours::ActiveSchedule(hoursSettings.hours, deps_.timeZone);

    starting_ = Starting::Creating;
    deps_.camera.create(Stage, Stage->size(), setting("Source"));
}

void Form1::onCameraCreated(QWidget* view, const QString& said) {
    if (starting_ != Starting::Creating) return;
    const QString error = secrets::masked(said);
    if (view == nullptr) {
        startUpFailed(error.isEmpty() ? QStringLiteral("Webcam not found.")
                                      : QStringLiteral("%1\r\n%2").arg(error, ShutDownLine));
        return;
    }
    hCapWnd = view;
    starting_ = Starting::Connecting;
    deps_.camera.connectDriver();
}

void Form1::onCameraConnected(const QString& error) {
    if (starting_ != Starting::Connecting) return;
    if (!error.isEmpty()) {
        startUpFailed(QStringLiteral("%1\r\n%2").arg(secrets::masked(error), ShutDownLine));
        return;
    }
    // Optional: seconds the camera is given to settle after it came back (default 1).
    const QString warmUp = setting("WarmUp");
    bool valid = false;
    const int seconds = warmUp.trimmed().toInt(&valid);
    deps_.camera.setWarmUp(valid && seconds >= 0 ? seconds : 1);
    deps_.camera.setPreviewRate(lngFramerate);
    deps_.camera.setPreview(true);
    starting_ = Starting::Choosing;
    if (cutShort_)
        deps_.camera.useVideoFormat(cutShort_->plan.videoFormat);
    else
        deps_.camera.videoFormatDialog();
}

void Form1::onFormatChosen() {
    if (starting_ != Starting::Choosing) return;
    starting_ = Starting::No;
    const pictures::PictureSettings pictureSettings =
        pictures::readPictureSettings([&](const QString& key) {
            const QString value = setting(qPrintable(key));
            if (!value.isEmpty()) return value;
            // Empty but written: not null, so that it can be told from a key not written.
            return modIni::ReadIniEntry(QStringLiteral("MAIN"), key, QStringLiteral("Config.ini"),
                                        deps_.programFolder)
                           .has_value()
                       ? QStringLiteral("")
                       : QString();
        });
    pictureOptions_ = pictureSettings.options;
    if (Frame1 == nullptr) buildPanel();
    updateCameraButton();
    applyPictureSettings(pictureSettings.problems + startProblems_);
    applyActiveHours(schedule_.hours());
    updateSpaceTip();
    if (cutShort_) resumeRun(*std::exchange(cutShort_, std::nullopt));
    if (!notResumed_.isEmpty()) showRunNote(StatusArea::Resume, notResumed_);
    emit loaded(true);
}

// Unload: release the camera. A run in progress simply ends with the program.
void Form1::closeEvent(QCloseEvent* event) {
    // The window goes at once; what is left to do (the pictures on their way saved, the
    // camera's automatics given back) is waited for out of sight.
    hide();
    // The run ends with the window: its pictures taken are saved first and its log closed, and
    // the camera's automatics come back.
    endRunWithProgram(runs::event::Stopped, QStringLiteral("the window was closed"));
    // A video being made is cancelled, leaving nothing half-written.
    if (deps_.video) deps_.video->cancel();
    if (hCapWnd != nullptr) deps_.camera.disconnectDriver();
    event->accept();
}

QString Form1::picturesFolder() const {
    return deps_.programFolder + QStringLiteral("/pictures");
}

} // namespace window
