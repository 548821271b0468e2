#pragma once

#include "camera_api/controls_port.h"
#include "controls/camera_settings_dialog.h"
#include "controls/camera_settings_store.h"
#include "window/camera_settings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace controls {

// The camera's settings as the window sees them: the dialog, the values kept per camera in
// Cameras.ini (given to the camera at every start, so they survive a restart and an unplug),
// and holding the automatic controls steady for the length of a run.
class CameraControls : public QObject, public window::CameraSettings {
    Q_OBJECT
public:
    CameraControls(camera::ControlsPort& camera, QString settingsFile, QObject* parent = nullptr);
    ~CameraControls() override;

    bool available(QString* why) const override;
    void showDialog(QWidget* window) override;
    void runStarted() override;
    void runEnded() override;

    // The dialog while it is open, for tests.
    CameraSettingsDialog* dialog() const { return dialog_; }
    // How long after the last change the settings are written.
    static constexpr int RestTime = 1000; // ms

private:
    void onCameraFound(const QString& identity);
    void onControlSet(std::uint32_t id, const QString& error,
                      const QList<camera::CameraControl>& controls);
    void onHeld(const camera::ControlsPort::Values& restore,
                const camera::ControlsPort::Values& held);
    void restoreDefaults();
    void updateStartControls();
    void remember(bool written, const QString& error);

    camera::ControlsPort& camera_;
    CameraSettingsStore store_;
    QString identity_;
    QList<camera::CameraControl> controls_; // as last read
    QPointer<CameraSettingsDialog> dialog_;
    bool running_ = false;
    camera::ControlsPort::Values restore_; // automatics to give back
    camera::ControlsPort::Values held_;
    QString storeError_; // what went wrong last with Cameras.ini; empty when all is well
    QTimer writeTimer_;
};

} // namespace controls
