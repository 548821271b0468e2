#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace camera {

// What a V4L2 node says about itself (VIDIOC_QUERYCAP).
struct V4l2Node {
    QString path;    // "/dev/video0"
    QString card;    // "HD Webcam C270"
    QString busInfo; // "usb-0000:00:14.0-1": where the camera is plugged, kept across replugs
};

// The node at `path` if it is a video capture device (metadata and output nodes are not).
std::optional<V4l2Node> queryCaptureNode(const QString& path);

// Every video capture node under `devDir`, /dev/video2 before /dev/video10. Our own look at the
// nodes stands in for the device monitor where it sees nothing: it relies on a running udev
// daemon, which containers and minimal systems do not have.
QList<V4l2Node> listCaptureNodes(const QString& devDir = QStringLiteral("/dev"));

} // namespace camera
