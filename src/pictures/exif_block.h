#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace pictures {

// The APP1 segment of a JPEG file (marker and length included) with an EXIF block that says
// when the picture was captured: DateTimeOriginal in local time, to the second, and
// OffsetTimeOriginal, that time's offset from UTC ("+01:00"). Empty for an invalid moment. False
// with `error` when the EXIF library cannot be loaded.
bool exifSegment(const QDateTime& captured, QByteArray* segment, QString* error);

} // namespace pictures
