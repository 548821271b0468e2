#pragma once

#include "pictures/picture_options.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace pictures {

// The picture settings of Config.ini (section MAIN), as read: PictureFormat, JpegQuality,
// TimeStamp and TimeStampFormat. A missing or empty key gives its default; so does a bad value,
// and then `problems` has a line for it naming the key, the value and what is allowed.
struct PictureSettings {
    PictureOptions options;
    QStringList problems;
};

// `setting` gives a key's value as written (empty when missing).
PictureSettings readPictureSettings(const std::function<QString(const QString& key)>& setting);

// The keys, as the window writes choices back.
inline const QString PictureFormatKey = QStringLiteral("PictureFormat");
inline const QString TimeStampKey = QStringLiteral("TimeStamp");

} // namespace pictures
