#include "camera/capture_device.h"

#include "camera/v4l2_nodes.h"
#include "gst/bus_watch.h"

#include <QCollator>
#include <QList>
#include <algorithm>
#include <vector>

namespace camera {

namespace {

QString devicePath(GstDevice* device) {
    GstStructure* properties = gst_device_get_properties(device);
    if (!properties) return {};
    QString path;
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        if (const gchar* value = gst_structure_get_string(properties, key)) {
            path = QString::fromUtf8(value);
            break;
        }
    }
    gst_structure_free(properties);
    return path;
}

std::vector<CaptureDevice> monitoredDevices() {
    std::vector<CaptureDevice> devices;
    gst::DeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    if (!gst_device_monitor_start(monitor.get())) return devices;
    GList* list = gst_device_monitor_get_devices(monitor.get());
    for (GList* item = list; item; item = item->next) {
        CaptureDevice found;
        found.device.reset(GST_DEVICE(item->data)); // the list owns one reference each
        gst::GCharPtr name(gst_device_get_display_name(found.device.get()));
        found.name = QString::fromUtf8(name.get());
        found.path = devicePath(found.device.get());
        // The bus position comes from the node itself: the monitor does not say it everywhere.
        if (!found.path.isEmpty())
            if (auto node = queryCaptureNode(found.path)) found.busInfo = node->busInfo;
        devices.push_back(std::move(found));
    }
    g_list_free(list);
    gst_device_monitor_stop(monitor.get());

    // /dev/video2 before /dev/video10; devices without a node keep their place after those.
    QCollator numeric;
    numeric.setNumericMode(true);
    std::stable_sort(devices.begin(), devices.end(),
                     [&numeric](const CaptureDevice& a, const CaptureDevice& b) {
                         if (a.path.isEmpty() || b.path.isEmpty())
                             return !a.path.isEmpty() && b.path.isEmpty();
                         return numeric.compare(a.path, b.path) < 0;
                     });
    return devices;
}

std::vector<CaptureDevice> listCaptureDevices() {
    std::vector<CaptureDevice> devices = monitoredDevices();
    if (!devices.empty()) return devices;
    for (const V4l2Node& node : listCaptureNodes())
        devices.push_back(CaptureDevice{{node.card, node.path, node.busInfo}, {}});
    return devices;
}

} // namespace

gst::ElementPtr CaptureDevice::makeSource(QString* error) const {
    gst::ElementPtr source;
    if (device) {
        source = gst::adoptElement(gst_device_create_element(device.get(), nullptr));
    } else if (!path.isEmpty()) {
        source = gst::adoptElement(gst_element_factory_make("v4l2src", nullptr));
        if (source) g_object_set(source.get(), "device", path.toUtf8().constData(), nullptr);
    }
    if (!source && error)
        *error = QStringLiteral("The camera %1 cannot be used: GStreamer has no element for it")
                     .arg(label());
    return source;
}

std::optional<CaptureDevice> findFirstCaptureDevice() {
    std::vector<CaptureDevice> devices = listCaptureDevices();
    if (devices.empty()) return std::nullopt;
    return std::move(devices.front());
}

std::optional<CaptureDevice> findCaptureDevice(const DeviceIdentity& camera) {
    for (CaptureDevice& device : listCaptureDevices())
        if (camera.isSameCamera(device)) return std::move(device);
    return std::nullopt;
}

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {}

DeviceWatch::~DeviceWatch() {
    stop();
}

void DeviceWatch::start() {
    if (monitor_) return;
    gst::DeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    gst::BusPtr bus(gst_device_monitor_get_bus(monitor.get()));
    bus_ = std::make_unique<gst::BusWatch>(
        bus.get(),
        [](GstMessage* message) {
            return GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED ||
                   GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED;
        },
        [this](GstMessage* message) {
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED)
                emit added();
            else
                emit removed();
        });
    if (!gst_device_monitor_start(monitor.get())) {
        bus_.reset();
        return;
    }
    monitor_ = std::move(monitor);
}

void DeviceWatch::stop() {
    if (!monitor_) return;
    gst_device_monitor_stop(monitor_.get());
    bus_.reset();
    monitor_.reset();
}

} // namespace camera
