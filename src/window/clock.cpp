#include "window/clock.h"

namespace window {

TimerAlarm::TimerAlarm(const Clock& clock, QObject* parent) : Alarm(parent), clock_(clock) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (clock_.monotonic() < deadline_)
            arm();
        else
            emit rang();
    });
}

void TimerAlarm::wakeAt(Nanoseconds deadline) {
    deadline_ = deadline;
    arm();
}

void TimerAlarm::arm() {
    using namespace std::chrono;
    const auto left = deadline_ - clock_.monotonic();
    // Round up so the wake-up is never before the deadline.
    const auto ms = left <= Nanoseconds::zero() ? 0 : ceil<milliseconds>(left).count();
    timer_.start(static_cast<int>(ms));
}

} // namespace window
