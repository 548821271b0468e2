#include "camera_protocol/device_identity.h"

namespace camera {

QString DeviceIdentity::label() const {
    return path.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, path);
}

bool DeviceIdentity::isSameCamera(const DeviceIdentity& other) const {
    if (!busInfo.isEmpty() && !other.busInfo.isEmpty())
        return busInfo == other.busInfo && name == other.name;
    if (!path.isEmpty() || !other.path.isEmpty()) return path == other.path;
    return name == other.name;
}

} // namespace camera
