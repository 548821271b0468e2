#include "pictures/exif_block.h"

#include <QtEndian>
#include <cstring>
#include <libexif/exif-data.h>

namespace pictures {

namespace {

// An entry of the EXIF directory holding `bytes` as they are.
void addEntry(ExifData* data, ExifMem* mem, ExifTag tag, ExifFormat format,
              const QByteArray& bytes) {
    ExifEntry* entry = exif_entry_new_mem(mem);
    const auto size = unsigned(bytes.size());
    entry->data = static_cast<unsigned char*>(exif_mem_alloc(mem, size));
    if (!entry->data) {
        exif_entry_unref(entry);
        return;
    }
    std::memcpy(entry->data, bytes.constData(), size);
    entry->tag = tag;
    entry->format = format;
    entry->components = size; // ASCII and UNDEFINED entries count bytes
    entry->size = size;
    exif_content_add_entry(data->ifd[EXIF_IFD_EXIF], entry);
    exif_entry_unref(entry);
}

// An ASCII entry; the text's terminating zero is part of its value.
void addText(ExifData* data, ExifMem* mem, ExifTag tag, const QByteArray& text) {
    addEntry(data, mem, tag, EXIF_FORMAT_ASCII, QByteArray(text.constData(), text.size() + 1));
}

QByteArray offsetText(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int minutes = std::abs(seconds) / 60;
    return QStringLiteral("%1%2:%3")
        .arg(QLatin1Char(sign))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

} // namespace

QByteArray exifSegment(const QDateTime& captured) {
    if (!captured.isValid()) return {};
    const QDateTime local = captured.toLocalTime();
    ExifMem* mem = exif_mem_new_default();
    ExifData* data = exif_data_new_mem(mem);
    exif_data_set_byte_order(data, EXIF_BYTE_ORDER_INTEL);
    // The offset tags came with EXIF 2.31.
    addEntry(data, mem, EXIF_TAG_EXIF_VERSION, EXIF_FORMAT_UNDEFINED, QByteArrayLiteral("0231"));
    addText(data, mem, EXIF_TAG_DATE_TIME_ORIGINAL,
            local.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
    addText(data, mem, EXIF_TAG_OFFSET_TIME_ORIGINAL, offsetText(local.offsetFromUtc()));
    unsigned char* block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &block, &size); // starts with "Exif\0\0"
    QByteArray segment;
    if (block && size > 0 && size + 2 <= 0xffff) {
        segment.resize(4);
        segment[0] = char(0xff);
        segment[1] = char(0xe1);
        qToBigEndian<quint16>(quint16(size + 2), segment.data() + 2);
        segment.append(reinterpret_cast<const char*>(block), qsizetype(size));
    }
    exif_mem_free(mem, block);
    exif_data_unref(data);
    exif_mem_unref(mem);
    return segment;
}

} // namespace pictures
