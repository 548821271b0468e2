#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

namespace camera {

// One of a V4L2 camera's controls as its driver lists it (VIDIOC_QUERY_EXT_CTRL), with its value
// now. Names are the driver's, also in the short form v4l2-ctl uses ("white_balance_automatic").
struct CameraControl {
    enum class Kind {
        Integer,
        Boolean,
        Menu,
        IntegerMenu,
        Button,
        Integer64,
        Bitmask,
        String,
        Class,
        Other
    };

    std::uint32_t id = 0;
    Kind kind = Kind::Other;
    QString name;                   // "White Balance, Automatic"
    QString key;                    // "white_balance_automatic"
    std::uint32_t controlClass = 0; // the class it belongs to (V4L2_CTRL_ID2CLASS)
    std::int64_t minimum = 0, maximum = 0, step = 0, defaultValue = 0;
    std::int64_t value = 0;
    QString text; // the value of a string control
    bool inactive = false, readOnly = false, disabled = false;
    QList<QPair<std::int64_t, QString>> menu; // index and name of each entry a menu offers

    friend bool operator==(const CameraControl&, const CameraControl&) = default;
};

// "White Balance, Automatic" -> "white_balance_automatic", as v4l2-ctl names controls.
QString controlKey(const QString& name);

} // namespace camera
