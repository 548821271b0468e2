#pragma once

#include "camera_protocol/camera_control.h"

#include <QHash>
#include <QList>
#include <QString>
#include <cstdint>

namespace camera_process {

// The kind of each control a camera process has listed. A driver's controls keep their kinds
// for as long as the camera is open: a list where one changes under the same id comes from a
// process that is not right, and is refused before the settings dialog rebuilds on it.
class ControlKinds {
public:
    // Empty when `controls` agree with every list before; else which control changed. The
    // kinds of a list that agrees are kept.
    QString check(const QList<camera::CameraControl>& controls);
    // A new camera process: its controls are its own.
    void reset() { kinds_.clear(); }

private:
    QHash<std::uint32_t, camera::CameraControl::Kind> kinds_;
};

} // namespace camera_process
