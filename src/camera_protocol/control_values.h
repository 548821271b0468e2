#pragma once

#include "camera_protocol/camera_control.h"

#include <QMap>
#include <QStringList>
#include <functional>

namespace camera {

// Sets one control to a value; false with the driver's reason.
using SetControl = std::function<bool(const CameraControl&, std::int64_t, QString*)>;

// Sets the controls named in `values` (by key). Automatic switches go first, so that the values
// they govern can be set after them. Returns "key: reason" for each value the driver refused;
// keys the camera does not have are passed over.
QStringList applyControlValues(const QList<CameraControl>& controls,
                               const QMap<QString, std::int64_t>& values, const SetControl& set);

// What holding a camera steady did: the automatic controls as they were (to restore), and the
// values now in force (automatics off, their manual partners at the settled values).
struct HeldControls {
    QMap<QString, std::int64_t> restore;
    QMap<QString, std::int64_t> held;
};

// Switches each automatic control that is on (exposure, white balance, focus, gain, as the
// driver names them) to manual, at the value its manual partner shows now.
HeldControls holdAutomaticControls(const QList<CameraControl>& controls, const SetControl& set);

} // namespace camera
