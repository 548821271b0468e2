#include "camera/preview_pacer.h"

#include <algorithm>

namespace camera {

bool PreviewPacer::admit(Clock::time_point now) {
    if (!on_.load()) return false;
    const std::chrono::milliseconds interval(interval_.load());
    if (interval.count() <= 0) return true;
    if (due_ && now < *due_) return false;
    // The next frame is due one interval after this one was due rather than after it came, and
    // the grid of due times runs half an interval ahead of the frames, so that a frame that comes
    // a little early (a wobbling camera) is still shown. Never sooner than half an interval after
    // this one: a stream that was slow or paused does not earn a burst.
    const Clock::time_point soonest = now + interval / 2;
    due_ = due_ ? std::max(*due_ + interval, soonest) : soonest;
    return true;
}

} // namespace camera
