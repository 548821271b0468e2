#include "camera_process/wire_format.h"

namespace camera_process {

QCborMap formatToWire(const camera::VideoFormat& format) {
    return {{QLatin1String("pixels"), format.pixelFormat},
            {QLatin1String("width"), format.width},
            {QLatin1String("height"), format.height},
            {QLatin1String("fpsN"), format.fpsNumerator},
            {QLatin1String("fpsD"), format.fpsDenominator}};
}

std::optional<camera::VideoFormat> formatFromWire(const QCborMap& map) {
    if (!map.contains(QLatin1String("pixels"))) return std::nullopt;
    camera::VideoFormat format;
    format.pixelFormat = map.value(QLatin1String("pixels")).toString();
    format.width = int(map.value(QLatin1String("width")).toInteger());
    format.height = int(map.value(QLatin1String("height")).toInteger());
    format.fpsNumerator = int(map.value(QLatin1String("fpsN")).toInteger());
    format.fpsDenominator = int(map.value(QLatin1String("fpsD")).toInteger(1));
    if (format.width <= 0 || format.height <= 0 || format.fpsDenominator <= 0) return std::nullopt;
    return format;
}

QCborMap deviceToWire(const camera::CaptureDevice& device) {
    return {{QLatin1String("name"), device.name},
            {QLatin1String("path"), device.path},
            {QLatin1String("bus"), device.busInfo}};
}

std::optional<camera::CaptureDevice> deviceFromWire(const QCborMap& map) {
    if (map.isEmpty()) return std::nullopt;
    camera::CaptureDevice device;
    device.name = map.value(QLatin1String("name")).toString();
    device.path = map.value(QLatin1String("path")).toString();
    device.busInfo = map.value(QLatin1String("bus")).toString();
    return device;
}

} // namespace camera_process
