#pragma once

#include "camera/gst_ptr.h"

#include <QString>
#include <optional>

namespace camera {

// A video capture device as the device monitor lists it.
struct CaptureDevice {
    DevicePtr device;
    QString name; // what the device calls itself, e.g. "HD Webcam C270"
    QString path; // e.g. "/dev/video0"; empty for devices without a node

    // "HD Webcam C270 (/dev/video0)", for messages.
    QString label() const;
};

// The first video capture device: the device monitor's first "Video/Source", devices with a
// node ordered by node number. Nothing when the machine has no camera.
std::optional<CaptureDevice> findFirstCaptureDevice();

// The capture device with this node (or, without a node, this name), if it is plugged in now.
std::optional<CaptureDevice> findCaptureDevice(const QString& path, const QString& name);

} // namespace camera
