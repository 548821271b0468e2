#include "pictures/exif_block.h"

#include "pictures/codec_libraries.h"

#include <QtEndian>
#include <cstring>

namespace pictures {

namespace {

// An entry of the EXIF directory holding `bytes` as they are.
void addEntry(const Exif& lib, ExifData* data, ExifMem* mem, ExifTag tag, ExifFormat format,
              const QByteArray& bytes) {
    ExifEntry* entry = lib.entryNewMem(mem);
    const auto size = unsigned(bytes.size());
    entry->data = static_cast<unsigned char*>(lib.memAlloc(mem, size));
    if (!entry->data) {
        lib.entryUnref(entry);
        return;
    }
    std::memcpy(entry->data, bytes.constData(), size);
    entry->tag = tag;
    entry->format = format;
    entry->components = size; // ASCII and UNDEFINED entries count bytes
    entry->size = size;
    lib.contentAddEntry(data->ifd[EXIF_IFD_EXIF], entry);
    lib.entryUnref(entry);
}

// An ASCII entry; the text's terminating zero is part of its value.
void addText(const Exif& lib, ExifData* data, ExifMem* mem, ExifTag tag, const QByteArray& text) {
    addEntry(lib, data, mem, tag, EXIF_FORMAT_ASCII, QByteArray(text.constData(), text.size() + 1));
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

bool exifSegment(const QDateTime& captured, QByteArray* segment, QString* error) {
    segment->clear();
    if (!captured.isValid()) return true;
    QString missing;
    const Exif* lib = exif(&missing);
    if (!lib) {
        if (error) *error = QStringLiteral("The picture cannot be saved as JPEG: %1").arg(missing);
        return false;
    }
    const QDateTime local = captured.toLocalTime();
    ExifMem* mem = lib->memNewDefault();
    ExifData* data = lib->dataNewMem(mem);
    lib->dataSetByteOrder(data, EXIF_BYTE_ORDER_INTEL);
    // The offset tags came with EXIF 2.31.
    addEntry(*lib, data, mem, EXIF_TAG_EXIF_VERSION, EXIF_FORMAT_UNDEFINED,
             QByteArrayLiteral("0231"));
    addText(*lib, data, mem, EXIF_TAG_DATE_TIME_ORIGINAL,
            local.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1());
    addText(*lib, data, mem, EXIF_TAG_OFFSET_TIME_ORIGINAL, offsetText(local.offsetFromUtc()));
    unsigned char* block = nullptr;
    unsigned int size = 0;
    lib->dataSaveData(data, &block, &size); // starts with "Exif\0\0"
    if (block && size > 0 && size + 2 <= 0xffff) {
        segment->resize(4);
        (*segment)[0] = char(0xff);
        (*segment)[1] = char(0xe1);
        qToBigEndian<quint16>(quint16(size + 2), segment->data() + 2);
        segment->append(reinterpret_cast<const char*>(block), qsizetype(size));
    }
    lib->memFree(mem, block);
    lib->dataUnref(data);
    lib->memUnref(mem);
    return true;
}

} // namespace pictures
