#pragma once

#include "gst/gst_ptr.h"

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace camera {

// The newest frame, handed from the streaming thread to the GUI thread. Frames carry their
// arrival time so that a grab can tell a frame that arrived after it was asked for from an
// older one, and a sequence number that counts them.
class FrameSlot {
public:
    using Clock = std::chrono::steady_clock;

    struct Frame {
        gst::SamplePtr sample;
        std::uint64_t sequence = 0; // 0: no frame yet
        Clock::time_point arrival;
    };

    // Streaming thread: keeps `sample` as the newest frame and wakes waiting grabs.
    void put(gst::SamplePtr sample);

    Frame latest() const;
    Clock::time_point lastArrival() const;

    // Waits until the newest frame is one that arrived after `since`, up to `timeout` after
    // `since` (a grab that waited behind others has only what is left of its time). False on
    // timeout or when the stream failed meanwhile (`failure` then gives the reason).
    bool waitNewer(Clock::time_point since, std::chrono::milliseconds timeout, Frame* frame,
                   QString* failure);

    // Any thread: the stream broke; wakes waiting grabs with `reason`.
    void fail(const QString& reason);
    // The stream stopped: lets go of the newest frame, keeping the failure and the sequence.
    void dropFrame();
    // A new stream starts: forgets the failure and the old frame; sequence numbers go on.
    void restart();

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    gst::SamplePtr sample_;
    std::uint64_t sequence_ = 0;
    Clock::time_point arrival_ = Clock::now();
    QString failure_;
};

} // namespace camera
