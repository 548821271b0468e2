#pragma once

#include <gst/gst.h>
#include <memory>
#include <utility>

namespace gst {

// Owning pointers for the GStreamer objects the camera holds, so that no early return can leak
// a pipeline, a device or a message. `Unref` is the type's own release function.
template <auto Unref> struct GstDeleter {
    template <typename T> void operator()(T* object) const {
        if (object) Unref(object);
    }
};

// Caps, messages and samples are mini objects; their own unref functions are static inline,
// which would make every type named after them local to one source file.
inline void unrefMiniObject(gpointer object) {
    gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
}

using ElementPtr = std::unique_ptr<GstElement, GstDeleter<&gst_object_unref>>;
using BusPtr = std::unique_ptr<GstBus, GstDeleter<&gst_object_unref>>;
using PadPtr = std::unique_ptr<GstPad, GstDeleter<&gst_object_unref>>;
using DevicePtr = std::unique_ptr<GstDevice, GstDeleter<&gst_object_unref>>;
using DeviceMonitorPtr = std::unique_ptr<GstDeviceMonitor, GstDeleter<&gst_object_unref>>;
using CapsPtr = std::unique_ptr<GstCaps, GstDeleter<&unrefMiniObject>>;
using MessagePtr = std::unique_ptr<GstMessage, GstDeleter<&unrefMiniObject>>;
using ErrorPtr = std::unique_ptr<GError, GstDeleter<&g_error_free>>;
using GCharPtr = std::unique_ptr<gchar, GstDeleter<&g_free>>;

// A frame shared between the streaming thread, the preview and a grab. Copies share the
// sample through GStreamer's own reference count, so a frame is released when the last of
// them lets go, wherever that is.
class SamplePtr {
public:
    SamplePtr() = default;
    SamplePtr(const SamplePtr& other) : sample_(other.sample_) {
        if (sample_) gst_sample_ref(sample_);
    }
    SamplePtr(SamplePtr&& other) noexcept : sample_(std::exchange(other.sample_, nullptr)) {}
    SamplePtr& operator=(SamplePtr other) noexcept {
        swap(other);
        return *this;
    }
    ~SamplePtr() { reset(); }

    // Takes over the caller's reference.
    static SamplePtr adopt(GstSample* sample) {
        SamplePtr owned;
        owned.sample_ = sample;
        return owned;
    }

    GstSample* get() const { return sample_; }
    explicit operator bool() const { return sample_ != nullptr; }
    void swap(SamplePtr& other) noexcept { std::swap(sample_, other.sample_); }
    void reset() {
        if (GstSample* sample = std::exchange(sample_, nullptr)) gst_sample_unref(sample);
    }

private:
    GstSample* sample_ = nullptr;
};

inline SamplePtr adoptSample(GstSample* sample) {
    return SamplePtr::adopt(sample);
}

// Takes ownership of a new element whose reference may still be floating (fresh from a
// factory or the parser), so the pointer always holds a real reference.
inline ElementPtr adoptElement(GstElement* element) {
    return ElementPtr(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

} // namespace gst
