#include "camera/frame_slot.h"

namespace camera {

void FrameSlot::put(gst::SamplePtr sample) {
    {
        std::lock_guard lock(mutex_);
        // The frame it replaces is released after the lock, outside the critical section.
        sample_.swap(sample);
        ++sequence_;
        arrival_ = Clock::now();
    }
    arrived_.notify_all();
}

FrameSlot::Frame FrameSlot::latest() const {
    std::lock_guard lock(mutex_);
    return {sample_, sample_ ? sequence_ : 0, arrival_};
}

FrameSlot::Clock::time_point FrameSlot::lastArrival() const {
    std::lock_guard lock(mutex_);
    return arrival_;
}

bool FrameSlot::waitNewer(Clock::time_point since, std::chrono::milliseconds timeout, Frame* frame,
                          QString* failure) {
    std::unique_lock lock(mutex_);
    const bool arrived = arrived_.wait_until(lock, since + timeout, [&] {
        return !failure_.isEmpty() || (sample_ && arrival_ > since);
    });
    if (!failure_.isEmpty()) {
        if (failure) *failure = failure_;
        return false;
    }
    if (!arrived) return false;
    *frame = {sample_, sequence_, arrival_};
    return true;
}

void FrameSlot::fail(const QString& reason) {
    {
        std::lock_guard lock(mutex_);
        failure_ = reason.isEmpty() ? QStringLiteral("The camera stopped") : reason;
    }
    arrived_.notify_all();
}

void FrameSlot::dropFrame() {
    gst::SamplePtr old;
    std::lock_guard lock(mutex_);
    old.swap(sample_); // released after the lock, as the lock guard goes first
}

void FrameSlot::restart() {
    gst::SamplePtr old;
    {
        std::lock_guard lock(mutex_);
        old.swap(sample_);
        failure_.clear();
        arrival_ = Clock::now();
    }
}

} // namespace camera
