#pragma once

#include "gst/gst_ptr.h"

#include <QSize>
#include <gst/video/video.h>

namespace camera {

// Rows of 32-bit pixels somewhere in memory. The camera process keeps to this rather than
// QImage: without Qt's GUI library it starts sooner, and the format dialog waits on its start.
struct PixelRows {
    const unsigned char* data = nullptr;
    QSize size;
    qsizetype stride = 0; // bytes from one row to the next

    bool isNull() const { return data == nullptr; }
    const unsigned char* row(int y) const { return data + qsizetype(y) * stride; }
};

// The pixels of a BGRx sample seen in place, without copying them. They are valid only while
// this object lives: it keeps the sample referenced and its buffer mapped.
class MappedFrame {
public:
    explicit MappedFrame(gst::SamplePtr sample);
    ~MappedFrame();
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    bool isValid() const { return !pixels_.isNull(); }
    const PixelRows& pixels() const { return pixels_; }

private:
    gst::SamplePtr sample_;
    GstVideoFrame frame_{};
    bool mapped_ = false;
    PixelRows pixels_;
};

// The pixel format the camera's pipeline hands to the program: 32-bit pixels that QImage reads
// as Format_RGB32 in native byte order (the window makes its pictures of them).
const char* nativeRgb32Format();

} // namespace camera
