#include "camera/window_sink.h"

#include "gst/gst_setup.h"

#include <atomic>
#include <dlfcn.h>
#include <gst/video/videooverlay.h>
#include <mutex>

namespace camera {

namespace {

std::atomic<int> xErrorCount{0};

// Xlib's error handler, by its C signature: int (*)(Display*, XErrorEvent*).
int countXError(void*, void*) {
    ++xErrorCount;
    return 0;
}

// Installed once the sink has loaded Xlib (the process does not link it itself, to start fast).
void catchXErrors() {
    static std::once_flag once;
    std::call_once(once, [] {
        void* xlib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (!xlib) return;
        using Handler = int (*)(void*, void*);
        using SetHandler = Handler (*)(Handler);
        if (auto set = reinterpret_cast<SetHandler>(dlsym(xlib, "XSetErrorHandler")))
            set(&countXError);
        dlclose(xlib);
    });
}

// The window process says which window to draw into; this process only needs a display.
bool onX11() {
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

gst::ElementPtr openSink() {
    if (!gst::ensureGStreamer(nullptr)) return {};
    gst::ElementPtr sink = gst::adoptElement(gst_element_factory_make("ximagesink", "frames"));
    if (!sink) return sink;
    catchXErrors();
    // Expose and resize come from Qt (expose(), which also tells the sink the window's new size);
    // the sink's own event thread would wake up 20 times a second and take input events away
    // from the widget.
    g_object_set(sink.get(), "handle-events", FALSE, "handle-expose", FALSE, "enable-last-sample",
                 FALSE, "sync", TRUE, nullptr);
    // A sink that cannot open the display goes back to NULL; starting the pipeline then reports
    // why, as it would have without this head start.
    if (gst_element_set_state(sink.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        gst_element_set_state(sink.get(), GST_STATE_NULL);
    return sink;
}

} // namespace

bool WindowSink::available() {
    if (!onX11()) return false;
    GstElementFactory* factory = gst_element_factory_find("ximagesink");
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

void WindowSink::prepare() {
    if (opening_.valid() || !onX11()) return;
    opening_ = std::async(std::launch::async, &openSink);
}

void WindowSink::attach(quintptr window) {
    if (attached_ && window == window_ && opening_.valid()) return;
    if (attached_) drop(); // given the window of an earlier preview
    opening_ = std::async(std::launch::async, [opening = std::move(opening_), window]() mutable {
        gst::ElementPtr sink = opening.valid() ? opening.get() : openSink();
        if (sink) gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink.get()), window);
        return sink;
    });
    attached_ = true;
    window_ = window;
}

gst::ElementPtr WindowSink::take(quintptr window) {
    if (opening_.valid() && attached_) {
        attached_ = false;
        return opening_.get();
    }
    gst::ElementPtr sink = openSink();
    if (sink) gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink.get()), window);
    return sink;
}

void WindowSink::drop() {
    if (opening_.valid()) {
        // Opened (READY) but never used: an element goes back to NULL before it is let go.
        gst::ElementPtr sink = opening_.get();
        if (sink) gst_element_set_state(sink.get(), GST_STATE_NULL);
    }
    attached_ = false;
}

int WindowSink::xErrors() {
    return xErrorCount;
}

void WindowSink::moveTo(GstElement* sink, quintptr window) {
    if (!sink) return;
    gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink), window);
    gst_video_overlay_expose(GST_VIDEO_OVERLAY(sink));
}

void WindowSink::expose(GstElement* sink) {
    if (sink) gst_video_overlay_expose(GST_VIDEO_OVERLAY(sink));
}

} // namespace camera
