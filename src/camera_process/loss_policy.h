#pragma once

#include <optional>

namespace camera_process {

// What the window does when its camera misbehaves, as one table: the states of the link to the
// camera, the events that move it, and what each move does. Whatever the fault, the answer is
// the same: end the camera process (and with it whatever the driver or GStreamer kept), show
// the loss, and try again with a new process until the camera delivers.
enum class Link {
    Idle,      // not connected: before start-up, after the shutdown
    Streaming, // the camera delivers
    Lost,      // waiting for the next try
    Retrying,  // a new camera process is starting the camera; its first frame ends the loss
};

enum class LinkEvent {
    Connected,    // start-up brought the camera up
    FirstFrame,   // the camera process's first frame
    Failure,      // it reported an error or the end of the stream, refused to start, or sent
                  // something that is not right
    Silence,      // no new frame for the watchdog's time
    ProcessGone,  // the camera process died or closed its socket
    NoAnswer,     // the camera process does not answer within its time limit
    NotPluggedIn, // a try found no camera (the process stays, watching for one)
    RetryDue,     // the retry timer
    DeviceAdded,  // a capture device was plugged in
    Disconnect,   // the shutdown
    Absent,       // start-up found no camera, and the view is to wait for one
};

namespace action {
enum : unsigned {
    EndProcess = 1u << 0,   // kill the camera process
    ShowLost = 1u << 1,     // the preview and the cameraLost signal say so
    ShowBack = 1u << 2,     // the preview and the cameraBack signal say so
    TryAgain = 1u << 3,     // a new camera process (unless one waits idle) starts the camera
    StartRetries = 1u << 4, // the retry timer runs
    StopRetries = 1u << 5,
    ClearLost = 1u << 6, // the preview forgets the loss (without saying the camera is back)
    // A fresh camera process starts at once, to have GStreamer loaded by the next try. Only
    // after a process that worked, so one that cannot start never makes a busy loop.
    SpareProcess = 1u << 7,
};
}

struct LinkMove {
    Link to;
    unsigned actions;
};

// The move for `event` in state `from`; nothing when the event means nothing there.
std::optional<LinkMove> nextLink(Link from, LinkEvent event);

} // namespace camera_process
