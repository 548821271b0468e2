#pragma once

#include "pictures/jpeg_encoder.h"
#include "pictures/picture_options.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>

namespace pictures {

// A frame as the bytes of its picture file in the chosen format, stamped when asked to, with
// the moment of capture in the file where the format has a place for it. BMP goes through the
// program's own BMP encoder, so its files stay what they always were. Keeps its encoders and
// buffers between pictures; one thread at a time.
class PictureEncoder {
public:
    // False with `error` set when the frame cannot be encoded.
    bool encode(const QImage& frame, const QDateTime& captured, const PictureOptions& options,
                QByteArray* out, QString* error);

private:
    JpegEncoder jpeg_;
};

} // namespace pictures
