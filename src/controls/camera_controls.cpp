#include "controls/camera_controls.h"

#include "controls/camera_settings_dialog.h"

namespace controls {

CameraControls::CameraControls(camera::ControlsPort& camera, QString settingsFile, QObject* parent)
    : QObject(parent), camera_(camera), store_(std::move(settingsFile)) {
    using View = camera::ControlsPort;
    // Direct: the settings must be in place before the camera is connected.
    connect(&camera_, &View::cameraFound, this, &CameraControls::onCameraFound);
    connect(&camera_, &View::controlsRead, this,
            [this](const QList<camera::CameraControl>& controls) {
                controls_ = controls;
                if (dialog_) dialog_->showControls(controls);
            });
    connect(&camera_, &View::controlSet, this, &CameraControls::onControlSet);
    connect(&camera_, &View::controlsApplied, this,
            // Values a camera refuses at start-up leave it at its own; the dialog shows what holds.
            [this](const QStringList&, const QList<camera::CameraControl>& controls) {
                controls_ = controls;
                if (dialog_) dialog_->showControls(controls);
            });
    connect(&camera_, &View::controlsHeld, this, &CameraControls::onHeld);
    // The camera back after a loss is a new process: the dialog reads the controls again.
    connect(&camera_, &View::cameraBack, this, [this] {
        if (dialog_) camera_.requestControls();
    });
    // A slider's steps are written together once it rests, not each on its own.
    writeTimer_.setSingleShot(true);
    writeTimer_.setInterval(RestTime);
    connect(&writeTimer_, &QTimer::timeout, this, [this] {
        QString error;
        remember(store_.flush(&error), error);
    });
}

CameraControls::~CameraControls() {
    delete dialog_.data();
    QString ignored;
    if (store_.hasStaged()) store_.flush(&ignored);
}

bool CameraControls::available(QString* why) const {
    const QString reason = camera_.noControlsReason();
    if (reason.isEmpty()) return true;
    if (why) *why = reason;
    return false;
}

void CameraControls::onCameraFound(const QString& identity) {
    identity_ = identity;
    updateStartControls();
}

void CameraControls::updateStartControls() {
    // What the user set, and during a held run the held values over it.
    auto values = store_.values(identity_);
    for (auto it = held_.constBegin(); it != held_.constEnd(); ++it)
        values.insert(it.key(), it.value());
    camera_.setStartControls(values);
}

void CameraControls::remember(bool written, const QString& error) {
    // A settings file that cannot be written is said in the dialog, where the change was made.
    storeError_ = written ? QString() : error;
    if (dialog_) dialog_->showStoreProblem(storeError_);
}

void CameraControls::showDialog(QWidget* window) {
    if (!dialog_) {
        dialog_ = new CameraSettingsDialog(window);
        dialog_->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog_, &CameraSettingsDialog::changeRequested, &camera_,
                &camera::ControlsPort::setControl);
        connect(dialog_, &CameraSettingsDialog::defaultsRequested, this,
                &CameraControls::restoreDefaults);
        connect(dialog_, &CameraSettingsDialog::holdChanged, this, [this](bool hold) {
            QString error;
            remember(store_.setHold(identity_, hold, &error), error);
        });
    }
    dialog_->setHold(store_.hold(identity_));
    dialog_->showStoreProblem(storeError_);
    if (!controls_.isEmpty()) dialog_->showControls(controls_);
    camera_.requestControls();
    // Not modal to the run: pictures go on being taken while it is open.
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void CameraControls::onControlSet(std::uint32_t id, const QString& error,
                                  const QList<camera::CameraControl>& controls) {
    controls_ = controls;
    if (dialog_) dialog_->showControls(controls, id, error);
    if (!error.isEmpty()) return;
    for (const camera::CameraControl& control : controls) {
        if (control.id != id || control.kind == camera::CameraControl::Kind::Button) continue;
        store_.stage(identity_, control.key, control.value);
        writeTimer_.start();
        // A value set by hand during a held run is the one to keep through a reconnect.
        if (held_.contains(control.key)) held_.insert(control.key, control.value);
        updateStartControls();
    }
}

void CameraControls::restoreDefaults() {
    QString error;
    remember(store_.clearValues(identity_, &error), error);
    camera::ControlsPort::Values defaults;
    for (const camera::CameraControl& control : controls_)
        if (!control.readOnly && control.kind != camera::CameraControl::Kind::Button &&
            control.kind != camera::CameraControl::Kind::Class &&
            control.kind != camera::CameraControl::Kind::String)
            defaults.insert(control.key, control.defaultValue);
    updateStartControls();
    camera_.applyControls(defaults);
}

void CameraControls::runStarted() {
    running_ = true;
    if (store_.hold(identity_)) camera_.holdControls(true);
}

void CameraControls::onHeld(const camera::ControlsPort::Values& restore,
                            const camera::ControlsPort::Values& held) {
    if (!running_) {
        // The run ended before the answer came: give the automatics back at once.
        camera_.applyControls(restore);
        return;
    }
    restore_ = restore;
    held_ = held;
    updateStartControls();
    if (dialog_) camera_.requestControls();
}

void CameraControls::runEnded() {
    running_ = false;
    camera_.holdControls(false);
    if (!restore_.isEmpty()) camera_.applyControls(restore_);
    restore_.clear();
    held_.clear();
    updateStartControls();
}

} // namespace controls
