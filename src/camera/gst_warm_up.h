#pragma once

namespace camera {

// Starts GStreamer and loads the plugins every camera pipeline uses. Meant for a thread of its
// own at start-up, so that this work overlaps the building of the window instead of delaying the
// format dialog; the camera view initialises GStreamer itself when this was never run.
void warmUpGStreamer();

} // namespace camera
