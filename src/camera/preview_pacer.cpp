#include "camera/preview_pacer.h"

namespace camera {

bool PreviewPacer::admit(Clock::time_point now) {
    if (!on_.load()) return false;
    const std::chrono::milliseconds interval(interval_.load());
    if (interval.count() <= 0) return true;
    if (due_ && now < *due_) return false;
    // Behind the grid by a whole interval (a pause, a slower camera, the first frame): start it
    // again from this frame, so that a late stream does not earn a burst of frames.
    if (!due_ || now - *due_ >= interval)
        due_ = now + interval;
    else
        *due_ += interval;
    return true;
}

} // namespace camera
