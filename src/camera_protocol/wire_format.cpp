#include "camera_protocol/wire_format.h"

namespace camera_process {

QCborMap formatToWire(const camera::VideoFormat& format) {
    return {{QLatin1String("pixels"), format.pixelFormat},
            {QLatin1String("width"), format.width},
            {QLatin1String("height"), format.height},
            {QLatin1String("fpsN"), format.fpsNumerator},
            {QLatin1String("fpsD"), format.fpsDenominator}};
}

std::optional<camera::VideoFormat> formatFromWire(const QCborMap& map) {
    // Each number whole and in range before it is narrowed: 2^32 + 640 is no width of 640.
    const auto number = [&map](const char* key, qint64 low, qint64 high, qint64 absent) {
        const QCborValue value = map.value(QLatin1String(key));
        if (value.isUndefined()) return std::optional<int>(int(absent));
        if (!value.isInteger() || value.toInteger() < low || value.toInteger() > high)
            return std::optional<int>();
        return std::optional<int>(int(value.toInteger()));
    };
    const QCborValue pixels = map.value(QLatin1String("pixels"));
    const auto width = number("width", 1, camera::MaxPictureSide, 0);
    const auto height = number("height", 1, camera::MaxPictureSide, 0);
    const auto fpsNumerator = number("fpsN", 0, 0x7fffffff, 0);
    const auto fpsDenominator = number("fpsD", 1, 0x7fffffff, 1);
    if (!pixels.isString() || !width || !height || !fpsNumerator || !fpsDenominator ||
        *width <= 0 || *height <= 0)
        return std::nullopt;
    return camera::VideoFormat{pixels.toString(), *width, *height, *fpsNumerator, *fpsDenominator};
}

QCborMap deviceToWire(const camera::DeviceIdentity& device) {
    return {{QLatin1String("name"), device.name},
            {QLatin1String("path"), device.path},
            {QLatin1String("bus"), device.busInfo}};
}

std::optional<camera::DeviceIdentity> deviceFromWire(const QCborMap& map) {
    if (map.isEmpty()) return std::nullopt;
    camera::DeviceIdentity device;
    device.name = map.value(QLatin1String("name")).toString();
    device.path = map.value(QLatin1String("path")).toString();
    device.busInfo = map.value(QLatin1String("bus")).toString();
    return device;
}

QCborMap valuesToWire(const QMap<QString, std::int64_t>& values) {
    QCborMap map;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        map.insert(it.key(), qint64(it.value()));
    return map;
}

QMap<QString, std::int64_t> valuesFromWire(const QCborMap& map) {
    QMap<QString, std::int64_t> values;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        values.insert(it.key().toString(), it.value().toInteger());
    return values;
}

QCborArray controlsToWire(const QList<camera::CameraControl>& controls) {
    QCborArray list;
    for (const camera::CameraControl& c : controls) {
        QCborArray menu;
        for (const auto& [index, name] : c.menu)
            menu.append(QCborArray{qint64(index), name});
        list.append(QCborMap{{QLatin1String("id"), qint64(c.id)},
                             {QLatin1String("kind"), int(c.kind)},
                             {QLatin1String("name"), c.name},
                             {QLatin1String("key"), c.key},
                             {QLatin1String("class"), qint64(c.controlClass)},
                             {QLatin1String("min"), qint64(c.minimum)},
                             {QLatin1String("max"), qint64(c.maximum)},
                             {QLatin1String("step"), qint64(c.step)},
                             {QLatin1String("default"), qint64(c.defaultValue)},
                             {QLatin1String("value"), qint64(c.value)},
                             {QLatin1String("text"), c.text},
                             {QLatin1String("inactive"), c.inactive},
                             {QLatin1String("readOnly"), c.readOnly},
                             {QLatin1String("menu"), menu}});
    }
    return list;
}

QList<camera::CameraControl> controlsFromWire(const QCborArray& list) {
    QList<camera::CameraControl> controls;
    for (const QCborValue& value : list) {
        const QCborMap map = value.toMap();
        camera::CameraControl c;
        c.id = std::uint32_t(map.value(QLatin1String("id")).toInteger());
        const auto kind = map.value(QLatin1String("kind")).toInteger();
        c.kind = kind >= 0 && kind <= int(camera::CameraControl::Kind::Other)
                     ? camera::CameraControl::Kind(kind)
                     : camera::CameraControl::Kind::Other;
        c.name = map.value(QLatin1String("name")).toString();
        c.key = map.value(QLatin1String("key")).toString();
        c.controlClass = std::uint32_t(map.value(QLatin1String("class")).toInteger());
        c.minimum = map.value(QLatin1String("min")).toInteger();
        c.maximum = map.value(QLatin1String("max")).toInteger();
        c.step = map.value(QLatin1String("step")).toInteger();
        c.defaultValue = map.value(QLatin1String("default")).toInteger();
        c.value = map.value(QLatin1String("value")).toInteger();
        c.text = map.value(QLatin1String("text")).toString();
        c.inactive = map.value(QLatin1String("inactive")).toBool();
        c.readOnly = map.value(QLatin1String("readOnly")).toBool();
        for (const QCborValue& item : map.value(QLatin1String("menu")).toArray()) {
            const QCborArray pair = item.toArray();
            c.menu.append({pair.at(0).toInteger(), pair.at(1).toString()});
        }
        controls.append(std::move(c));
    }
    return controls;
}

} // namespace camera_process
