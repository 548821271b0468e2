#include "camera/gst_warm_up.h"

#include "gst/gst_setup.h"

namespace camera {

void warmUpGStreamer() {
    if (!gst::ensureGStreamer(nullptr)) return; // the camera view reports it when it starts
    // Loading a plugin maps its library; looking up its elements later is then cheap. These
    // are the ones every camera pipeline uses; the camera's own source loads when it is made.
    for (const char* plugin : {"coreelements", "app", "videoconvertscale", "ximagesink"})
        if (GstPlugin* loaded = gst_plugin_load_by_name(plugin)) gst_object_unref(loaded);
}

} // namespace camera
