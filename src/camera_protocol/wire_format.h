#pragma once

#include "camera_protocol/camera_control.h"
#include "camera_protocol/device_identity.h"
#include "camera_protocol/video_format.h"

#include <QCborArray>
#include <QCborMap>
#include <QMap>
#include <optional>

namespace camera_process {

// How the camera's formats and identity travel in messages.
QCborMap formatToWire(const camera::VideoFormat& format);
std::optional<camera::VideoFormat> formatFromWire(const QCborMap& map);

// A capture device by what it is and where it is plugged in (no GStreamer object): enough for
// another camera process to look it up again.
QCborMap deviceToWire(const camera::DeviceIdentity& device);
std::optional<camera::DeviceIdentity> deviceFromWire(const QCborMap& map);

// Control values by key.
QCborMap valuesToWire(const QMap<QString, std::int64_t>& values);
QMap<QString, std::int64_t> valuesFromWire(const QCborMap& map);

QCborArray controlsToWire(const QList<camera::CameraControl>& controls);
QList<camera::CameraControl> controlsFromWire(const QCborArray& list);

} // namespace camera_process
