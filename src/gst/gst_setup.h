#pragma once

#include <QString>
#include <gst/gst.h>

namespace gst {

// Initialises GStreamer with the program's arguments (it strips the --gst-* options). Optional:
// the camera view initialises GStreamer itself on first use. Safe to call more than once.
bool initGStreamer(int* argc, char*** argv, QString* error = nullptr);

// Initialises GStreamer once, without arguments. False with `error` when it cannot start.
bool ensureGStreamer(QString* error);

// The text of an ERROR or WARNING message: GStreamer's message, plus the reason its debug
// details give ("Permission denied", "Device or resource busy", "not-negotiated").
QString describeErrorMessage(GstMessage* message);

} // namespace gst
