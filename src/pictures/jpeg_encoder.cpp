#include "pictures/jpeg_encoder.h"

#include "pictures/codec_libraries.h"

#include <algorithm>

namespace pictures {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "Format_RGB32 rows are read as B, G, R, X bytes");

JpegEncoder::JpegEncoder() = default;

// A compressor or buffer exists only once the library is loaded.
JpegEncoder::~JpegEncoder() {
    const TurboJpeg* tj = turboJpeg(nullptr);
    if (buffer_) tj->free(buffer_);
    if (handle_) tj->destroy(handle_);
}

bool JpegEncoder::encode(const QImage& image, int quality, const QByteArray& app1, QByteArray* out,
                         QString* error) {
    const auto fail = [&](const QString& why) {
        if (error) *error = QStringLiteral("The JPEG encoder failed: %1").arg(why);
        return false;
    };
    QString missing;
    const TurboJpeg* tj = turboJpeg(&missing);
    if (!tj) {
        if (error) *error = QStringLiteral("The picture cannot be saved as JPEG: %1").arg(missing);
        return false;
    }
    if (!handle_) handle_ = tj->initCompress();
    if (!handle_) return fail(QString::fromLocal8Bit(tj->errorText(nullptr)));
    const QImage rgb32 = image.format() == QImage::Format_RGB32
                             ? image
                             : image.convertToFormat(QImage::Format_RGB32);
    // The largest a picture of this size can be: encoded in place, never reallocated.
    const unsigned long needed = tj->bufSize(rgb32.width(), rgb32.height(), TJSAMP_420);
    if (needed > capacity_) {
        if (buffer_) tj->free(buffer_);
        buffer_ = tj->alloc(int(needed));
        capacity_ = buffer_ ? needed : 0;
        if (!buffer_) return fail(QStringLiteral("out of memory"));
    }
    unsigned char* jpeg = buffer_;
    unsigned long size = capacity_;
    if (tj->compress2(handle_, rgb32.constBits(), rgb32.width(), int(rgb32.bytesPerLine()),
                      rgb32.height(), TJPF_BGRX, &jpeg, &size, TJSAMP_420,
                      std::clamp(quality, 1, 100), TJFLAG_NOREALLOC | TJFLAG_ACCURATEDCT) != 0)
        return fail(QString::fromLocal8Bit(tj->errorText(handle_)));

    // The EXIF segment goes after the start of image and the JFIF segment (APP0) if any.
    const auto* bytes = reinterpret_cast<const char*>(jpeg);
    qsizetype head = 2;
    if (size > 6 && jpeg[2] == 0xff && jpeg[3] == 0xe0)
        head = std::min<qsizetype>(qsizetype(size), 4 + (jpeg[4] << 8 | jpeg[5]));
    out->truncate(0);
    out->reserve(qsizetype(size) + app1.size());
    out->append(bytes, head);
    out->append(app1);
    out->append(bytes + head, qsizetype(size) - head);
    return true;
}

} // namespace pictures
