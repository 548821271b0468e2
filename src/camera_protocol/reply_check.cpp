#include "camera_protocol/reply_check.h"

#include "camera_protocol/camera_control.h"
#include "camera_protocol/field_reader.h"
#include "camera_protocol/video_format.h"

#include <limits>
#include <utility>

namespace camera_process {

namespace {

using Check = void (*)(FieldReader&);

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

void picture(FieldReader& fields) {
    fields.integer(QLatin1String("width"), 1, camera::MaxPictureSide);
    fields.integer(QLatin1String("height"), 1, camera::MaxPictureSide);
}

void errorText(FieldReader& fields) {
    fields.text(QLatin1String("error"));
}

void nothing(FieldReader&) {}

struct Verb {
    const char* name;
    Check check;
};

// Every verb the camera process may say, with the fields the window reads of it.
const Verb Verbs[] = {
    {"ready", nothing},
    {"first-frame", nothing},
    {"started", nothing},
    {"connected", nothing},
    {"format-set", nothing},
    {"device-added", nothing},
    {"still-scene", nothing},
    {"no-camera", errorText},
    {"not-plugged-in", errorText},
    {"invalid", errorText},
    {"connect-failed", errorText},
    {"format-failed", errorText},
    {"start-failed", errorText},
    {"unknown", [](FieldReader& fields) { fields.text(QLatin1String("verb")); }},
    {"failed",
     [](FieldReader& fields) {
         fields.text(QLatin1String("error"));
         fields.integer(QLatin1String("frozen"), std::numeric_limits<qint64>::min(), Any, 0);
     }},
    {"status",
     [](FieldReader& fields) {
         fields.integer(QLatin1String("frames"), 0, Any);
         fields.integer(QLatin1String("arrived"), 0, Any, 0);
     }},
    {"frame",
     [](FieldReader& fields) {
         fields.integer(QLatin1String("slot"), 0, 1);
         fields.integer(QLatin1String("memory"), 0, Any);
         // Two slots of the largest picture at most.
         fields.integer(QLatin1String("bytes"), 1,
                        2 * 4 * camera::MaxPictureSide * camera::MaxPictureSide);
         picture(fields);
     }},
    {"grabbed",
     [](FieldReader& fields) {
         fields.integer(QLatin1String("id"), 1, Any);
         fields.integer(QLatin1String("block"), 0, Any, 0);
         fields.integer(QLatin1String("bytes"), 1,
                        4 * camera::MaxPictureSide * camera::MaxPictureSide);
         picture(fields);
         fields.integer(QLatin1String("captured"), 0, Any, 0);
     }},
    {"grab-failed",
     [](FieldReader& fields) {
         fields.integer(QLatin1String("id"), 1, Any);
         fields.text(QLatin1String("error"));
     }},
    {"found",
     [](FieldReader& fields) {
         fields.text(QLatin1String("label"));
         fields.flag(QLatin1String("draws"));
         fields.text(QLatin1String("noControls"));
         const QCborMap camera = fields.map(QLatin1String("camera"));
         for (const char* key : {"name", "path", "bus"})
             if (!camera.value(QLatin1String(key)).isUndefined() &&
                 !camera.value(QLatin1String(key)).isString())
                 fields.refuse(QStringLiteral("camera.%1").arg(QLatin1String(key)));
     }},
    {"formats",
     [](FieldReader& fields) {
         const QCborArray formats = fields.array(QLatin1String("formats"));
         for (qsizetype i = 0; i < formats.size(); ++i)
             checkFormat(fields, formats.at(i), QStringLiteral("formats[%1]").arg(i));
         fields.integer(QLatin1String("chosen"), -1, formats.size() - 1, -1);
     }},
    {"controls",
     [](FieldReader& fields) { checkControls(fields, fields.array(QLatin1String("controls"))); }},
    {"control-set",
     [](FieldReader& fields) {
         fields.integer(QLatin1String("id"), 0, 0xffffffffLL);
         fields.text(QLatin1String("error"));
         checkControls(fields, fields.array(QLatin1String("controls")));
     }},
    {"controls-applied",
     [](FieldReader& fields) {
         for (const QCborValue& reason : fields.array(QLatin1String("refused")))
             if (!reason.isString()) fields.refuse(QStringLiteral("refused"));
         checkControls(fields, fields.array(QLatin1String("controls")));
     }},
    {"held",
     [](FieldReader& fields) {
         checkValues(fields, fields.map(QLatin1String("restore")), "restore");
         checkValues(fields, fields.map(QLatin1String("held")), "held");
     }},
};

} // namespace

QString checkReply(const Message& message) {
    for (const Verb& verb : Verbs) {
        if (!message.is(QLatin1String(verb.name))) continue;
        FieldReader fields(message);
        verb.check(fields);
        return fields.error();
    }
    return QStringLiteral("The camera process sent an unknown message (%1)")
        .arg(message.verb.left(40));
}

} // namespace camera_process
