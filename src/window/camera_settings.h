#pragma once

#include <QString>

class QWidget;

namespace window {

// The camera's own settings (exposure, white balance, focus...), as the window asks for them:
// a dialog to change them, and the run's start and end, during which they may be held steady.
// Tests substitute a recorder.
class CameraSettings {
public:
    virtual ~CameraSettings() = default;
    // Whether the camera has settings to show; when not, `why` says why.
    virtual bool available(QString* why) const = 0;
    virtual void showDialog(QWidget* window) = 0;
    virtual void runStarted() = 0;
    virtual void runEnded() = 0;
};

} // namespace window
