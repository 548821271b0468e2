#pragma once

#include "gst/gst_ptr.h"

#include <QImage>
#include <gst/video/video.h>

namespace camera {

// The pixels of a BGRx sample seen as a QImage without copying them. The image is valid only
// while this object lives: it keeps the sample referenced and its buffer mapped.
class MappedFrame {
public:
    explicit MappedFrame(gst::SamplePtr sample);
    ~MappedFrame();
    MappedFrame(const MappedFrame&) = delete;
    MappedFrame& operator=(const MappedFrame&) = delete;

    bool isValid() const { return !image_.isNull(); }
    const QImage& image() const { return image_; }

private:
    gst::SamplePtr sample_;
    GstVideoFrame frame_{};
    bool mapped_ = false;
    QImage image_;
};

// The pixel format the camera's pipeline hands to the program: 32-bit pixels that QImage reads
// as Format_RGB32 in native byte order.
const char* nativeRgb32Format();

} // namespace camera
