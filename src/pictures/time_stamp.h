#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

namespace pictures {

// The stamp's text: the moment of capture in local time, in the Qt date-time `format`.
QString stampText(const QDateTime& captured, const QString& format);

// A copy of `frame` with `text` in its bottom-right corner: light text on a dark box, legible
// on any background, its height about 1/24 of the picture's and never below 12 pixels. The
// frame itself is not touched.
QImage stamped(const QImage& frame, const QString& text);

} // namespace pictures
