#include "window/clock.h"

#include <time.h>

namespace window {

namespace {

Nanoseconds now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return std::chrono::seconds(ts.tv_sec) + Nanoseconds(ts.tv_nsec);
}

} // namespace

Nanoseconds SystemClock::monotonic() const {
    return now(CLOCK_BOOTTIME);
}

Nanoseconds SystemClock::suspended() const {
    return now(CLOCK_BOOTTIME) - now(CLOCK_MONOTONIC);
}

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
