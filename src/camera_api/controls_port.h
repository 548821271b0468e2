#pragma once

#include "camera_protocol/camera_control.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace camera {

// The camera's own controls (brightness, the automatics...) as the settings dialog and the
// kept settings use them, whatever runs the camera. Each request is answered by a signal;
// nothing waits. What is asked while the camera is lost is kept and asked of it once it is back.
class ControlsPort : public QObject {
    Q_OBJECT
public:
    using Values = QMap<QString, std::int64_t>; // by the controls' keys

    using QObject::QObject;
    ~ControlsPort() override = default;

    // Why the camera has no controls; empty when it has.
    virtual QString noControlsReason() const = 0;
    virtual void requestControls() = 0;
    virtual void setControl(std::uint32_t id, std::int64_t value) = 0;
    virtual void applyControls(const Values& values) = 0;
    // Holding the automatics steady during a run: true at its start, false at its end (a hold
    // not yet done is then forgotten; the automatics are given back with applyControls()).
    virtual void holdControls(bool hold) = 0;
    // Set on the camera each time it is started, before its first frame (start-up, reconnects).
    virtual void setStartControls(const Values& values) = 0;

signals:
    // The camera was found: its settings can be given now (setStartControls()). `identity` is
    // the camera as its settings are kept: its name and where it is plugged in, or the source.
    void cameraFound(const QString& identity);
    // The camera is back after a loss, in a camera process that knows nothing of what was read.
    void cameraBack();
    void controlsRead(const QList<camera::CameraControl>& controls);
    // `error` empty: the driver took the value.
    void controlSet(std::uint32_t id, const QString& error,
                    const QList<camera::CameraControl>& controls);
    void controlsApplied(const QStringList& refused, const QList<camera::CameraControl>& controls);
    void controlsHeld(const camera::ControlsPort::Values& restore,
                      const camera::ControlsPort::Values& held);
};

} // namespace camera
