#pragma once

#include "gst/gst_ptr.h"

#include <QtGlobal>
#include <future>

namespace camera {

// The video sink that draws the preview straight into the preview's own X11 window, sparing the
// GUI thread a copy and a paint of every frame. Opening it takes a few round trips to the X
// server, so that happens on a thread of its own, ahead of the pipeline that takes it.
class WindowSink {
public:
    WindowSink() = default;
    ~WindowSink() { drop(); }
    WindowSink(const WindowSink&) = delete;
    WindowSink& operator=(const WindowSink&) = delete;

    // Whether a sink can draw into a window of ours: on X11 with ximagesink installed. Wayland
    // and the offscreen platform get frames painted by Qt instead.
    static bool available();

    // Starts opening a sink, not yet tied to a window (start-up, before the window is built).
    void prepare();
    // Ties the sink being opened (or a new one) to `window`, still on its own thread; a sink
    // tied to it already is kept (a camera waited for is asked again at every try).
    void attach(quintptr window);
    // The sink for a pipeline, drawing into `window`: the one prepared for it, else a new one.
    // Null when it cannot be made.
    gst::ElementPtr take(quintptr window);
    // Waits for a sink being opened: a sink may not outlive the window it was given.
    void drop();

    // Has `sink` draw into `window` from now on (the window it had was made anew).
    static void moveTo(GstElement* sink, quintptr window);
    // Asks `sink` to draw its last picture again (the window was uncovered or resized).
    static void expose(GstElement* sink);

    // How many errors the X server has reported to this process. Xlib's own answer to one is to
    // end the process (a window that went away under the sink, say); here it is counted, and
    // the camera process reports it as a fault instead of dying of it.
    static int xErrors();

private:
    std::future<gst::ElementPtr> opening_;
    bool attached_ = false;
    quintptr window_ = 0; // the window the sink being opened is tied to
};

} // namespace camera
