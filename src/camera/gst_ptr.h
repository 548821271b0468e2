#pragma once

#include <gst/gst.h>
#include <memory>

namespace camera {

// Owning pointers for the GStreamer objects the camera view holds, so that no early return
// can leak a pipeline, a device or a frame.
struct GstObjectDeleter {
    void operator()(gpointer object) const {
        if (object) gst_object_unref(object);
    }
};
struct GstCapsDeleter {
    void operator()(GstCaps* caps) const {
        if (caps) gst_caps_unref(caps);
    }
};
struct GstSampleDeleter {
    void operator()(GstSample* sample) const {
        if (sample) gst_sample_unref(sample);
    }
};
struct GstMessageDeleter {
    void operator()(GstMessage* message) const {
        if (message) gst_message_unref(message);
    }
};
struct GErrorDeleter {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};

using ElementPtr = std::unique_ptr<GstElement, GstObjectDeleter>;
using BusPtr = std::unique_ptr<GstBus, GstObjectDeleter>;
using PadPtr = std::unique_ptr<GstPad, GstObjectDeleter>;
using DevicePtr = std::unique_ptr<GstDevice, GstObjectDeleter>;
using DeviceMonitorPtr = std::unique_ptr<GstDeviceMonitor, GstObjectDeleter>;
using CapsPtr = std::unique_ptr<GstCaps, GstCapsDeleter>;
using MessagePtr = std::unique_ptr<GstMessage, GstMessageDeleter>;
using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// Samples are shared between the streaming thread, the preview and a grab.
using SamplePtr = std::shared_ptr<GstSample>;

inline SamplePtr adoptSample(GstSample* sample) {
    return sample ? SamplePtr(sample, GstSampleDeleter{}) : SamplePtr();
}

// Takes ownership of a new element whose reference may still be floating (fresh from a
// factory or the parser), so the pointer always holds a real reference.
inline ElementPtr adoptElement(GstElement* element) {
    return ElementPtr(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

} // namespace camera
