#include "window/ticker.h"

namespace window {

Ticker::Ticker(const Clock& clock, Alarm& alarm, QObject* parent)
    : QObject(parent), clock_(clock), alarm_(alarm) {
    connect(&alarm_, &Alarm::rang, this, &Ticker::onAlarm);
}

void Ticker::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) {
        start_ = clock_.monotonic();
        next_ = 1;
        alarm_.wakeAt(nextDue());
    } else {
        alarm_.cancel();
    }
}

void Ticker::alignTo(Nanoseconds origin) {
    if (!enabled_) return;
    start_ = origin;
    next_ = std::max<qint64>(0, (clock_.monotonic() - start_) / Period) + 1;
    alarm_.wakeAt(nextDue());
}

void Ticker::onAlarm() {
    if (!enabled_) return;
    const Nanoseconds now = clock_.monotonic();
    if (now < nextDue()) { // woken early: sleep on
        alarm_.wakeAt(nextDue());
        return;
    }
    // One tick for the newest due deadline, telling how many older ones it stands for.
    const qint64 due = (now - start_) / Period;
    missed_ = due - next_;
    next_ = due + 1;
    alarm_.wakeAt(nextDue());
    emit timeout(); // last: the handler may disable us
}

} // namespace window
