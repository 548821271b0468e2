#pragma once

#include <atomic>
#include <chrono>
#include <optional>

namespace camera {

// Decides, as each frame arrives, whether the preview shows it: none while the preview is off,
// otherwise at most one per interval on average, and never two within half an interval. A frame
// that is not due is simply not shown: nothing waits for a later one. Frames are due on a grid
// one interval apart that follows the stream, so that a camera whose timing wobbles around the
// interval still has every frame shown.
class PreviewPacer {
public:
    using Clock = std::chrono::steady_clock;

    // Any thread. An interval of zero or less shows every frame.
    void setInterval(std::chrono::milliseconds interval) { interval_.store(interval.count()); }
    void setOn(bool on) { on_.store(on); }

    // The streaming thread: whether the frame arriving at `now` is shown.
    bool admit(Clock::time_point now);
    // While no frame can arrive (the stream is stopped): the next frame is shown at once.
    void restart() { due_.reset(); }

private:
    std::atomic<std::chrono::milliseconds::rep> interval_{0};
    std::atomic<bool> on_{false};
    std::optional<Clock::time_point> due_; // the streaming thread's alone
};

} // namespace camera
