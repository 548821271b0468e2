#include "camera_process/control_kinds.h"

namespace camera_process {

QString ControlKinds::check(const QList<camera::CameraControl>& controls) {
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const auto known = kinds_.constFind(controls[i].id);
        if (known != kinds_.constEnd() && *known != controls[i].kind)
            return QStringLiteral("controls[%1].kind changed for the same id").arg(i);
    }
    for (const camera::CameraControl& control : controls)
        kinds_.insert(control.id, control.kind);
    return {};
}

} // namespace camera_process
