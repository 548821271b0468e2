#pragma once

#include "gst/gst_ptr.h"

#include <QString>

namespace camera {

// Builds the camera's source from a description such as "videotestsrc is-live=true" or
// "rtspsrc location=rtsp://cam/stream ! decodebin": one bin with a single "src" pad. Null with
// `error` naming the description and GStreamer's reason when it does not parse.
gst::ElementPtr makeSourceFromDescription(const QString& description, QString* error);

// The V4L2 node a source reads ("v4l2src device=/dev/video2"), or empty when it reads none.
QString v4l2DeviceOf(GstElement* source);

// The V4L2 node a source reads ("v4l2src device=/dev/video2"), or empty when it reads none.
QString v4l2DeviceOf(GstElement* source);

} // namespace camera
