#pragma once

#include "window/clock.h"

#include <QObject>

namespace window {

// The window's one-second timer. Unlike a repeating timer, which slips by the time each tick
// takes to be delivered and handled, it schedules tick k at enable time + k seconds on the
// monotonic clock, so a run of a day keeps its pace to the millisecond. Ticks missed (the
// machine slept, the window was held up) are not delivered in a burst: the next tick says how
// many there were, and the window accounts for them.
class Ticker : public QObject {
    Q_OBJECT
public:
    static constexpr Nanoseconds Period = std::chrono::seconds(1);

    Ticker(const Clock& clock, Alarm& alarm, QObject* parent = nullptr);

    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }
    // While enabled: ticks come at `origin` + whole periods from now on (a run taken up again
    // keeps the rhythm it started with).
    void alignTo(Nanoseconds origin);
    // During timeout(): the ticks that fell due before this one and were not delivered.
    qint64 missedTicks() const { return missed_; }

    // When the next tick is due; meaningful while enabled.
    Nanoseconds nextDue() const { return start_ + Period * next_; }

signals:
    void timeout();

private:
    void onAlarm();

    const Clock& clock_;
    Alarm& alarm_;
    bool enabled_ = false;
    Nanoseconds start_{};
    qint64 next_ = 1; // index of the next tick since enabling
    qint64 missed_ = 0;
};

} // namespace window
