#pragma once

namespace camera {

// Lets go of the camera device handles this process still holds for devices that are gone
// (unplugged): their nodes then become free for the camera when it is plugged in again.
//
// GStreamer 1.22's V4L2 source keeps a duplicate of its device handle in its buffer pool, and
// when the device vanishes under it the pool can no longer release its buffers and is never
// freed, so that handle stays open for good. Each such handle is pointed at /dev/null instead of
// closed: its number stays taken, so the pool can never close someone else's file through it.
// Returns how many were let go of.
int releaseVanishedDevices();

} // namespace camera
