#include "camera_protocol/camera_control.h"

namespace camera {

QString controlKey(const QString& name) {
    QString key;
    for (const QChar c : name.toLower()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            key += c;
        else if (!key.isEmpty() && !key.endsWith(QLatin1Char('_')))
            key += QLatin1Char('_');
    }
    while (key.endsWith(QLatin1Char('_')))
        key.chop(1);
    return key;
}

} // namespace camera
