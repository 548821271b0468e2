#pragma once

#include "camera/capture_device.h"
#include "camera/video_format.h"

#include <QCborMap>
#include <optional>

namespace camera_process {

// How the camera's formats and identity travel in messages.
QCborMap formatToWire(const camera::VideoFormat& format);
std::optional<camera::VideoFormat> formatFromWire(const QCborMap& map);

// A capture device by what it is and where it is plugged in (no GStreamer object): enough for
// another camera process to look it up again.
QCborMap deviceToWire(const camera::CaptureDevice& device);
std::optional<camera::CaptureDevice> deviceFromWire(const QCborMap& map);

} // namespace camera_process
