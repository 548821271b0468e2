#pragma once

#include "gst/gst_ptr.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace gst {
class BusWatch;
}

namespace camera {

// A video capture device, as the device monitor lists it or, without one, as its node says.
struct CaptureDevice {
    gst::DevicePtr device; // null for a device found by its node alone
    QString name;     // what the device calls itself, e.g. "HD Webcam C270"
    QString path;     // e.g. "/dev/video0"; empty for devices without a node
    QString busInfo;  // where it is plugged in; empty when unknown

    // "HD Webcam C270 (/dev/video0)", for messages.
    QString label() const;

    // Whether `other` is this camera, perhaps plugged in again on another node: same name and
    // same place on the bus where both are known, else the same node.
    bool isSameCamera(const CaptureDevice& other) const;

    // The source element that reads this camera. Null with `error` when there is none.
    gst::ElementPtr makeSource(QString* error) const;
};

// The first video capture device: the device monitor's first "Video/Source", devices with a
// node ordered by node number; when the monitor sees none (no udev daemon), the first V4L2
// capture node. Nothing when the machine has no camera.
std::optional<CaptureDevice> findFirstCaptureDevice();

// `camera` if it is plugged in now, on whatever node it has.
std::optional<CaptureDevice> findCaptureDevice(const CaptureDevice& camera);

// Tells when a video capture device is plugged in or out, while it runs. Needs a running udev
// daemon; without one it stays silent, and whoever waits for a camera must also look again now
// and then.
class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

    void start();
    void stop();
    bool isRunning() const { return monitor_ != nullptr; }

signals:
    void added();
    void removed();

private:
    gst::DeviceMonitorPtr monitor_;
    std::unique_ptr<gst::BusWatch> bus_;
};

} // namespace camera
