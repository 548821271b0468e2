#include "camera_process/link_watch.h"

#include "camera_process/view_shared.h"

#include <algorithm>

namespace camera_process {

using namespace std::chrono_literals;

void LinkWatch::newProcess() {
    lastAnswer_.start();
    firstFrameSeen_ = false;
    ready_ = false;
}

void LinkWatch::heard() {
    lastAnswer_.start();
    ready_ = true;
}

void LinkWatch::status(const reply::Status& status) {
    if (status.frames == framesSeen_) return;
    framesSeen_ = status.frames;
    // The frame's own moment: this status may have waited behind a grab. Progress never goes
    // back before the start of a try or the first frame.
    const auto now = Clock::now();
    const auto at = status.arrived > 0
                        ? std::min(now, Clock::time_point(std::chrono::nanoseconds(status.arrived)))
                        : now;
    if (status.frames > 0) lastProgress_ = std::max(lastProgress_, at);
}

void LinkWatch::firstFrame() {
    lastProgress_ = Clock::now();
    firstFrameSeen_ = true;
}

void LinkWatch::restart() {
    lastProgress_ = Clock::now();
    framesSeen_ = -1;
}

std::chrono::milliseconds LinkWatch::silence() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress_);
}

std::optional<LinkWatch::Found> LinkWatch::check(Link link, bool process,
                                                 const Limits& limits) const {
    // A process still loading GStreamer says nothing yet: it has longer (a busy machine can
    // take seconds to start one); once it has spoken, it must keep speaking.
    const auto answer = ready_ ? limits.answer : limits.answer + 7s;
    if (process && lastAnswer_.isValid() && lastAnswer_.elapsed() > qint64(answer.count()))
        return Found{LinkEvent::NoAnswer, view::ProcessHangs};
    if (link != Link::Streaming && link != Link::Retrying) return std::nullopt;
    const std::chrono::milliseconds quiet = silence();
    // A try's first frame is given the time start-up gives it (a network camera's first
    // picture waits for its next key frame); from then on the stall limit holds.
    const auto allowed = link == Link::Retrying && !firstFrameSeen_
                             ? std::max(limits.stall, limits.firstFrame)
                             : limits.stall;
    if (quiet < allowed) return std::nullopt;
    return Found{LinkEvent::Silence, QStringLiteral("No picture from the camera for %1 seconds")
                                         .arg(double(quiet.count()) / 1000.0, 0, 'f', 0)};
}

} // namespace camera_process
