#pragma once

#include "camera_protocol/video_format.h"

#include <QList>
#include <gst/gst.h>

namespace camera {

// Caps that fix the source to `format`.
GstCaps* formatCaps(const VideoFormat& format);

// What a source offers, one entry per pixel format, size and frame rate, in the source's order.
// Ranges (test sources, some cameras) become the common sizes within them and one frame rate;
// of a long list of pixel formats only the common ones stay, so the list stays readable.
QList<VideoFormat> formatsFromCaps(const GstCaps* caps);

} // namespace camera
