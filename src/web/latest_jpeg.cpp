#include "web/latest_jpeg.h"

#include "pictures/jpeg_encoder.h"

#include <QImage>
#include <QImageReader>

namespace web {

std::shared_ptr<const QByteArray> LatestJpeg::get(const QString& path, bool full, QString* error) {
    const std::lock_guard lock(mutex_);
    Entry& entry = full ? full_ : scaled_;
    if (entry.path == path && entry.jpeg) return entry.jpeg;

    // The file is read by Qt's decoders, which check what they read; a file that is not a
    // picture gives no image.
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull()) {
        if (error) *error = reader.errorString();
        return nullptr;
    }
    if (!full && image.width() > MaxWidth)
        image = image.scaledToWidth(MaxWidth, Qt::SmoothTransformation);
    // One encoder for each encoding: pictures are rare, and an encoder belongs to one thread.
    pictures::JpegEncoder encoder;
    QByteArray jpeg;
    if (!encoder.encode(image, Quality, {}, &jpeg, error)) return nullptr;
    ++encodings_;
    entry = {path, std::make_shared<const QByteArray>(std::move(jpeg))};
    return entry.jpeg;
}

int LatestJpeg::encodings() const {
    const std::lock_guard lock(mutex_);
    return encodings_;
}

} // namespace web
