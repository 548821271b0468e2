#include "video_process/picture_reader.h"

#include "pictures/bmp_writer.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace video_process {

namespace {

// Where the pixels of a plain BMP lie: 24 bits a pixel, uncompressed, rows padded to 4 bytes,
// which is also the row layout of a GStreamer "BGR" frame.
struct PlainBmp {
    QSize size;
    bool bottomUp = true;
    qint64 offset = 0;
    qsizetype stride = 0;
};

bool parsePlainBmp(const QByteArray& header, PlainBmp* bmp) {
    if (header.size() < camera::BmpHeaderBytes || !header.startsWith("BM")) return false;
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    const quint32 offset = qFromLittleEndian<quint32>(h + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(h + 14);
    const qint32 width = qFromLittleEndian<qint32>(h + 18);
    const qint32 height = qFromLittleEndian<qint32>(h + 22);
    const quint16 bits = qFromLittleEndian<quint16>(h + 28);
    const quint32 compression = qFromLittleEndian<quint32>(h + 30);
    if (infoSize < 40 || bits != 24 || compression != 0 || width <= 0 || height == 0 ||
        width > 16384 || height > 16384 || height < -16384)
        return false;
    bmp->size = QSize(width, height < 0 ? -height : height);
    bmp->bottomUp = height > 0;
    bmp->offset = offset;
    bmp->stride = qsizetype(camera::bmpRowBytes(width));
    return offset >= camera::BmpHeaderBytes;
}

// Whether a BMP file is shorter than its header says: than the file size in the file header,
// or than the end of the pixels. Qt's reader fills the missing rows with black, so a picture
// cut short would pass for a whole one. Not a BMP, or too short for a header: false.
bool cutShortBmp(const QByteArray& header, qint64 fileSize) {
    if (header.size() < camera::BmpHeaderBytes || !header.startsWith("BM")) return false;
    const auto* h = reinterpret_cast<const uchar*>(header.constData());
    if (qFromLittleEndian<quint32>(h + 2) > fileSize) return true;
    if (qFromLittleEndian<quint32>(h + 14) < 40) return false; // an old header: sizes alone
    const qint64 width = std::abs(qint64(qFromLittleEndian<qint32>(h + 18)));
    const qint64 height = std::abs(qint64(qFromLittleEndian<qint32>(h + 22)));
    const quint16 bits = qFromLittleEndian<quint16>(h + 28);
    const quint32 compression = qFromLittleEndian<quint32>(h + 30);
    // Uncompressed rows (plain or with bit fields) have a known length; compressed pixels take
    // what the header gives as their size.
    const bool rows = compression == 0 || compression == 3 || compression == 6;
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    qint64 pixels = qFromLittleEndian<quint32>(h + 34);
    if (rows && __builtin_mul_overflow(rowBytes, height, &pixels)) return true;
    return qint64(qFromLittleEndian<quint32>(h + 10)) + pixels > fileSize;
}

// Whether a JPEG file lacks its end-of-image marker: Qt's reader fills a picture whose data
// stops early with grey and calls it read. Padding after the marker is allowed.
bool cutShortJpeg(QFile& file, const QByteArray& header) {
    if (!header.startsWith("\xFF\xD8")) return false;
    const qint64 tail = std::min<qint64>(file.size(), 64);
    if (!file.seek(file.size() - tail)) return true;
    QByteArray end = file.read(tail);
    while (end.endsWith('\0'))
        end.chop(1);
    return !end.endsWith("\xFF\xD9");
}

GstBuffer* frameFromImage(const QImage& image) {
    const auto bytes = gsize(image.sizeInBytes());
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, image.constBits(), bytes);
    return buffer;
}

} // namespace

GstBuffer* PictureReader::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray header = file.read(camera::BmpHeaderBytes);
    if (cutShortBmp(header, file.size()) || cutShortJpeg(file, header)) return nullptr;
    PlainBmp bmp;
    const bool plain = parsePlainBmp(header, &bmp);
    const bool evenSides = bmp.size.width() % 2 == 0 && bmp.size.height() % 2 == 0;
    if (!plain || !(size_.isEmpty() ? evenSides : bmp.size == size_)) {
        file.close();
        return readWithQt(path);
    }
    if (size_.isEmpty()) firstSize_ = size_ = bmp.size;

    // One read into the frame, then the rows turned top-down in place.
    const qsizetype bytes = bmp.stride * bmp.size.height();
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, gsize(bytes), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const bool whole =
        file.seek(bmp.offset) && file.read(reinterpret_cast<char*>(map.data), bytes) == bytes;
    if (whole && bmp.bottomUp) {
        std::vector<uchar> row(std::size_t(bmp.stride));
        for (int top = 0, bottom = bmp.size.height() - 1; top < bottom; ++top, --bottom) {
            uchar* a = map.data + top * bmp.stride;
            uchar* b = map.data + bottom * bmp.stride;
            std::memcpy(row.data(), a, row.size());
            std::memcpy(a, b, row.size());
            std::memcpy(b, row.data(), row.size());
        }
    }
    gst_buffer_unmap(buffer, &map);
    if (!whole) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    return buffer;
}

GstBuffer* PictureReader::readWithQt(const QString& path) {
    // A read error refuses the picture even when part of it came out (a PNG cut short does).
    QImageReader reader(path);
    QImage image;
    if (!reader.read(&image) || image.isNull()) return nullptr;
    if (size_.isEmpty()) {
        firstSize_ = image.size();
        size_ = QSize(std::max(2, image.width() & ~1), std::max(2, image.height() & ~1));
    }
    if (image.size() == firstSize_ && firstSize_ != size_)
        image = image.copy(QRect(QPoint(0, 0), size_));
    else if (image.size() != size_)
        image = image.scaled(size_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return frameFromImage(image.convertToFormat(QImage::Format_BGR888));
}

} // namespace video_process
