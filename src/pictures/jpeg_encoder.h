#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pictures {

// JPEG files through libjpeg-turbo: 4:2:0, the accurate DCT, baseline, as libjpeg's own cjpeg
// writes them. One encoder keeps its compressor and output buffer between pictures; it belongs
// to one thread at a time. The library is loaded on the first encoding (codec_libraries.h).
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // `image` at `quality` (1 to 100) into `out`, with `app1` (an EXIF segment, or nothing)
    // right after the JFIF header. False with `error` set on failure.
    bool encode(const QImage& image, int quality, const QByteArray& app1, QByteArray* out,
                QString* error);

private:
    void* handle_ = nullptr;
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
};

} // namespace pictures
