#pragma once

#include "camera_protocol/device_identity.h"
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
struct CaptureDevice : DeviceIdentity {
    gst::DevicePtr device; // null for a device found by its node alone

    // The source element that reads this camera. Null with `error` when there is none.
    gst::ElementPtr makeSource(QString* error) const;
};

// The first video capture device: the device monitor's first "Video/Source", devices with a
// node ordered by node number; when the monitor sees none (no udev daemon), the first V4L2
// capture node. Nothing when the machine has no camera.
std::optional<CaptureDevice> findFirstCaptureDevice();

// `camera` if it is plugged in now, on whatever node it has.
std::optional<CaptureDevice> findCaptureDevice(const DeviceIdentity& camera);

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
