#pragma once

#include "camera_protocol/camera_control.h"

#include <QList>
#include <QString>
#include <cstdint>

namespace camera {

// The controls of the V4L2 node at `path`, read and set through a descriptor of their own (the
// stream's descriptor belongs to GStreamer). Opened in the camera process only.
class V4l2Controls {
public:
    V4l2Controls() = default;
    ~V4l2Controls();
    V4l2Controls(const V4l2Controls&) = delete;
    V4l2Controls& operator=(const V4l2Controls&) = delete;

    bool open(const QString& path, QString* error);
    bool isOpen() const { return fd_ >= 0; }
    void close();

    // Every control but compound ones (arrays), in the driver's order, classes included.
    QList<CameraControl> list() const;
    // Sets control `id`; false with the driver's reason ("Numerical result out of range",
    // "Device or resource busy").
    bool set(std::uint32_t id, std::int64_t value, QString* error);

private:
    int fd_ = -1;
};

} // namespace camera
