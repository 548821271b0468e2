#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>

namespace camera {

// `image` as the bytes of a Windows BMP file: 24 bits per pixel, a BITMAPINFOHEADER, rows
// bottom-up and padded to 4 bytes. Written into `out`, whose memory is reused when it is large
// enough. A null image gives no bytes.
void encodeBmp(const QImage& image, QByteArray* out);

// The file header and BITMAPINFOHEADER before the pixels.
inline constexpr int BmpHeaderBytes = 14 + 40;
// One row of pixels in the file: three bytes a pixel, padded to a multiple of 4 bytes.
quint32 bmpRowBytes(int width);

// The size of that file for a picture of `size` (0 for an empty size): what a picture takes on
// disk.
std::int64_t bmpFileBytes(QSize size);

// Writes `bytes` to `path` atomically: the file appears complete under `path` or not at all,
// and no temporary file stays behind. False with a readable reason in `error` on failure.
bool saveFileAtomically(const QByteArray& bytes, const QString& path, QString* error);

// encodeBmp() and saveFileAtomically() in one.
bool writeBmp(const QImage& image, const QString& path, QString* error);

} // namespace camera
