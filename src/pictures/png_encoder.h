#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

namespace pictures {

// zlib's level for the pictures: see encodePng().
inline constexpr int PngCompressionLevel = 2;

// `image` (Format_RGB32) as the bytes of a PNG file: 8-bit RGB, lossless, with a tIME chunk
// holding `captured` (to the second, in UTC as PNG wants it) when it is valid. Written into
// `out`, whose memory is reused. False with `error` set when libpng fails.
bool encodePng(const QImage& image, const QDateTime& captured, QByteArray* out, QString* error);

} // namespace pictures
