#pragma once

#include <QImage>
#include <QString>

namespace camera {

// Writes `image` as a Windows BMP: 24 bits per pixel, a BITMAPINFOHEADER, rows bottom-up and
// padded to 4 bytes. Atomic: the file appears complete under `path` or not at all, and no
// temporary file stays behind. False with a readable reason in `error` on failure.
bool writeBmp(const QImage& image, const QString& path, QString* error);

} // namespace camera
