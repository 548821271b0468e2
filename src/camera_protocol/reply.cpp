#include "camera_protocol/reply.h"

#include "camera_protocol/field_reader.h"
#include "camera_protocol/wire_format.h"

#include <limits>
#include <utility>

namespace camera_process {

namespace {

using Decode = Reply (*)(FieldReader&);

constexpr qint64 Any = std::numeric_limits<qint64>::max();

bool isText(const QCborValue& value) {
    return value.isString();
}

void checkControls(FieldReader& fields, const QCborArray& list) {
    for (qsizetype i = 0; i < list.size() && fields.ok(); ++i) {
        const QCborMap control = list.at(i).toMap();
        const QString where = QStringLiteral("controls[%1].").arg(i);
        if (!list.at(i).isMap()) {
            fields.refuse(QStringLiteral("controls[%1]").arg(i));
            return;
        }
        const auto integer = [&](const char* key, qint64 low, qint64 high, bool required) {
            const QCborValue value = control.value(QLatin1String(key));
            if (value.isUndefined() && !required) return;
            if (!value.isInteger() || value.toInteger() < low || value.toInteger() > high)
                fields.refuse(where + QLatin1String(key));
        };
        integer("id", 0, 0xffffffffLL, true);
        integer("kind", 0, qint64(camera::CameraControl::Kind::Other), true);
        integer("class", 0, 0xffffffffLL, false);
        // Ranges as the driver gives them, odd ones too: the dialog shows any range safely.
        for (const char* key : {"min", "max", "step", "default", "value"})
            integer(key, -Any - 1, Any, false);
        for (const char* key : {"name", "key", "text"}) {
            const QCborValue value = control.value(QLatin1String(key));
            if (!value.isUndefined() && !isText(value)) fields.refuse(where + QLatin1String(key));
        }
        for (const char* key : {"inactive", "readOnly"}) {
            const QCborValue value = control.value(QLatin1String(key));
            if (!value.isUndefined() && !value.isBool()) fields.refuse(where + QLatin1String(key));
        }
        const QCborValue menu = control.value(QLatin1String("menu"));
        if (menu.isUndefined()) continue;
        if (!menu.isArray()) fields.refuse(where + QLatin1String("menu"));
        for (const QCborValue& item : menu.toArray()) {
            const QCborArray pair = item.toArray();
            if (!item.isArray() || pair.size() != 2 || !pair.at(0).isInteger() ||
                !isText(pair.at(1)))
                fields.refuse(where + QLatin1String("menu"));
        }
    }
}

void checkValues(FieldReader& fields, const QCborMap& values, const char* name) {
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        if (!it.key().isString() || !it.value().isInteger()) fields.refuse(QLatin1String(name));
}

void checkFormat(FieldReader& fields, const QCborValue& value, const QString& where) {
    const QCborMap format = value.toMap();
    if (!value.isMap() || !isText(format.value(QLatin1String("pixels")))) {
        fields.refuse(where);
        return;
    }
    for (const char* key : {"width", "height"}) {
        const QCborValue side = format.value(QLatin1String(key));
        if (!side.isInteger() || side.toInteger() < 1 || side.toInteger() > camera::MaxPictureSide)
            fields.refuse(where + QLatin1Char('.') + QLatin1String(key));
    }
    // A rate of n / 0 is no rate: the window would drop the format, and `chosen` would point at
    // another one.
    for (const auto& [key, low] : {std::pair{"fpsN", 0}, std::pair{"fpsD", 1}}) {
        const QCborValue rate = format.value(QLatin1String(key));
        if (!rate.isUndefined() &&
            (!rate.isInteger() || rate.toInteger() < low || rate.toInteger() > 0x7fffffff))
            fields.refuse(where + QLatin1Char('.') + QLatin1String(key));
    }
}

struct Size {
    int width;
    int height;
};

Size picture(FieldReader& fields) {
    const auto width = int(fields.integer(QLatin1String("width"), 1, camera::MaxPictureSide));
    const auto height = int(fields.integer(QLatin1String("height"), 1, camera::MaxPictureSide));
    return {width, height};
}

QList<camera::CameraControl> controls(FieldReader& fields) {
    const QCborArray list = fields.array(QLatin1String("controls"));
    checkControls(fields, list);
    return fields.ok() ? controlsFromWire(list) : QList<camera::CameraControl>();
}

QMap<QString, std::int64_t> values(FieldReader& fields, const char* name) {
    const QCborMap map = fields.map(QLatin1String(name));
    checkValues(fields, map, name);
    return valuesFromWire(map);
}

template <reply::Said What> Reply event(FieldReader&) {
    return reply::Event{What};
}

template <reply::Fault What> Reply failure(FieldReader& fields) {
    return reply::Failure{What, fields.text(QLatin1String("error")), std::nullopt};
}

struct Verb {
    const char* name;
    Decode decode;
};

using reply::Fault;
using reply::Said;

// Every verb the camera process may say, and what it says with it.
const Verb Verbs[] = {
    {"ready", event<Said::Ready>},
    {"first-frame", event<Said::FirstFrame>},
    {"started", event<Said::Started>},
    {"connected", event<Said::Connected>},
    {"format-set", event<Said::FormatSet>},
    {"device-added", event<Said::DeviceAdded>},
    {"still-scene", event<Said::StillScene>},
    {"no-camera", failure<Fault::NoCamera>},
    {"not-plugged-in", failure<Fault::NotPluggedIn>},
    {"invalid", failure<Fault::Invalid>},
    {"connect-failed", failure<Fault::ConnectFailed>},
    {"format-failed", failure<Fault::FormatFailed>},
    {"start-failed", failure<Fault::StartFailed>},
    {"unknown",
     [](FieldReader& fields) -> Reply {
         return reply::NotUnderstood{fields.text(QLatin1String("verb"))};
     }},
    {"failed",
     [](FieldReader& fields) -> Reply {
         reply::Failure failed{Fault::Failed, fields.text(QLatin1String("error")), std::nullopt};
         if (fields.has(QLatin1String("frozen")))
             failed.frozen = fields.integer(QLatin1String("frozen"));
         return failed;
     }},
    {"status",
     [](FieldReader& fields) -> Reply {
         reply::Status status;
         status.frames = fields.integer(QLatin1String("frames"), 0, Any);
         status.arrived = fields.integer(QLatin1String("arrived"), 0, Any, 0);
         return status;
     }},
    {"frame",
     [](FieldReader& fields) -> Reply {
         reply::Frame frame;
         frame.slot = int(fields.integer(QLatin1String("slot"), 0, 1));
         frame.memory = fields.integer(QLatin1String("memory"), 0, Any);
         // Two slots of the largest picture at most.
         frame.bytes = std::size_t(fields.integer(
             QLatin1String("bytes"), 1, 2 * 4 * camera::MaxPictureSide * camera::MaxPictureSide));
         const Size size = picture(fields);
         frame.width = size.width;
         frame.height = size.height;
         return frame;
     }},
    {"grabbed",
     [](FieldReader& fields) -> Reply {
         reply::Grabbed grabbed;
         grabbed.id = fields.integer(QLatin1String("id"), 1, Any);
         grabbed.block = fields.integer(QLatin1String("block"), 0, Any, 0);
         grabbed.bytes = std::size_t(fields.integer(
             QLatin1String("bytes"), 1, 4 * camera::MaxPictureSide * camera::MaxPictureSide));
         const Size size = picture(fields);
         grabbed.width = size.width;
         grabbed.height = size.height;
         // One picture is all its bytes: a size that does not agree is no picture.
         if (fields.ok() && grabbed.bytes != std::size_t(size.width) * 4 * size.height)
             fields.refuse(QStringLiteral("bytes"));
         grabbed.captured = QDateTime::fromMSecsSinceEpoch(
             fields.integer(QLatin1String("captured"), 0, Any, 0), Qt::UTC);
         return grabbed;
     }},
    {"grab-failed",
     [](FieldReader& fields) -> Reply {
         reply::GrabFailed failed;
         failed.id = fields.integer(QLatin1String("id"), 1, Any);
         failed.error = fields.text(QLatin1String("error"));
         return failed;
     }},
    {"found",
     [](FieldReader& fields) -> Reply {
         reply::Found found;
         found.label = fields.text(QLatin1String("label"));
         found.draws = fields.flag(QLatin1String("draws"));
         found.noControls = fields.text(QLatin1String("noControls"));
         const QCborMap camera = fields.map(QLatin1String("camera"));
         for (const char* key : {"name", "path", "bus"})
             if (!camera.value(QLatin1String(key)).isUndefined() &&
                 !camera.value(QLatin1String(key)).isString())
                 fields.refuse(QStringLiteral("camera.%1").arg(QLatin1String(key)));
         found.camera = deviceFromWire(camera);
         return found;
     }},
    {"formats",
     [](FieldReader& fields) -> Reply {
         reply::Formats formats;
         const QCborArray list = fields.array(QLatin1String("formats"));
         for (qsizetype i = 0; i < list.size() && fields.ok(); ++i) {
             const QString where = QStringLiteral("formats[%1]").arg(i);
             checkFormat(fields, list.at(i), where);
             if (!fields.ok()) break;
             if (const auto format = formatFromWire(list.at(i).toMap()))
                 formats.formats.append(*format);
             else
                 fields.refuse(where);
         }
         formats.chosen = int(fields.integer(QLatin1String("chosen"), -1, list.size() - 1, -1));
         return formats;
     }},
    {"controls",
     [](FieldReader& fields) -> Reply {
         return reply::Controls{reply::ControlsAfter::Read, controls(fields), 0, {}, {}};
     }},
    {"control-set",
     [](FieldReader& fields) -> Reply {
         reply::Controls set{reply::ControlsAfter::Set, {}, 0, {}, {}};
         set.id = std::uint32_t(fields.integer(QLatin1String("id"), 0, 0xffffffffLL));
         set.error = fields.text(QLatin1String("error"));
         set.controls = controls(fields);
         return set;
     }},
    {"controls-applied",
     [](FieldReader& fields) -> Reply {
         reply::Controls applied{reply::ControlsAfter::Applied, {}, 0, {}, {}};
         for (const QCborValue& reason : fields.array(QLatin1String("refused"))) {
             if (!reason.isString()) fields.refuse(QStringLiteral("refused"));
             applied.refused << reason.toString();
         }
         applied.controls = controls(fields);
         return applied;
     }},
    {"held",
     [](FieldReader& fields) -> Reply {
         reply::Held held;
         held.restore = values(fields, "restore");
         held.held = values(fields, "held");
         return held;
     }},
};

} // namespace

std::optional<Reply> decodeReply(const Message& message, QString* error) {
    for (const Verb& verb : Verbs) {
        if (!message.is(QLatin1String(verb.name))) continue;
        FieldReader fields(message);
        Reply decoded = verb.decode(fields);
        if (fields.ok()) return decoded;
        if (error) *error = fields.error();
        return std::nullopt;
    }
    if (error)
        *error = QStringLiteral("The camera process sent an unknown message (%1)")
                     .arg(message.verb.left(40));
    return std::nullopt;
}

qint64 grabAnswered(const Reply& reply) {
    if (const auto* grabbed = std::get_if<reply::Grabbed>(&reply)) return grabbed->id;
    if (const auto* failed = std::get_if<reply::GrabFailed>(&reply)) return failed->id;
    return 0;
}

} // namespace camera_process
