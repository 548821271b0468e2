#pragma once

#include "gst/gst_ptr.h"

#include <QString>

namespace camera {

// Builds the camera's source from a description such as "videotestsrc is-live=true" or
// "rtspsrc location=rtsp://cam/stream ! decodebin": one bin with a single "src" pad. Null with
// `error` naming the description and GStreamer's reason when it does not parse.
gst::ElementPtr makeSourceFromDescription(const QString& description, QString* error);

} // namespace camera
