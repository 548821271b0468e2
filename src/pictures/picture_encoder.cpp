#include "pictures/picture_encoder.h"

#include "pictures/bmp_writer.h"
#include "pictures/exif_block.h"
#include "pictures/png_encoder.h"
#include "pictures/time_stamp.h"

namespace pictures {

bool PictureEncoder::encode(const QImage& frame, const QDateTime& captured,
                            const PictureOptions& options, QByteArray* out, QString* error) {
    if (frame.isNull()) {
        if (error) *error = QStringLiteral("There is no picture to save");
        return false;
    }
    const QImage picture =
        options.timeStamp ? stamped(frame, stampText(captured, options.timeStampFormat)) : frame;
    switch (options.format) {
    case PictureFormat::Png:
        return encodePng(picture, captured, out, error);
    case PictureFormat::Jpeg: {
        QByteArray exif;
        return exifSegment(captured, &exif, error) &&
               jpeg_.encode(picture, options.jpegQuality, exif, out, error);
    }
    case PictureFormat::Bmp:
        break;
    }
    camera::encodeBmp(picture, out);
    return true;
}

} // namespace pictures
