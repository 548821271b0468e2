#pragma once

#include <QString>

namespace camera {

// A video capture device by what it is and where it is plugged in: what the window knows of the
// camera, and enough for another camera process to look it up again.
struct DeviceIdentity {
    QString name;    // what the device calls itself, e.g. "HD Webcam C270"
    QString path;    // e.g. "/dev/video0"; empty for devices without a node
    QString busInfo; // where it is plugged in; empty when unknown

    // "HD Webcam C270 (/dev/video0)", for messages.
    QString label() const;

    // Whether `other` is this camera, perhaps plugged in again on another node: same name and
    // same place on the bus where both are known, else the same node.
    bool isSameCamera(const DeviceIdentity& other) const;
};

} // namespace camera
