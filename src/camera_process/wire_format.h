#pragma once

#include "camera/capture_device.h"
#include "camera/v4l2_controls.h"
#include "camera/video_format.h"

#include <QCborArray>
#include <QMap>
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

// Control values by key.
QCborMap valuesToWire(const QMap<QString, std::int64_t>& values);
QMap<QString, std::int64_t> valuesFromWire(const QCborMap& map);

QCborArray controlsToWire(const QList<camera::CameraControl>& controls);
QList<camera::CameraControl> controlsFromWire(const QCborArray& list);

} // namespace camera_process
