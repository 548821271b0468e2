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

void Ticker::onAlarm() {
    if (!enabled_) return;
    const Nanoseconds now = clock_.monotonic();
    if (now < nextDue()) { // woken early: sleep on
        alarm_.wakeAt(nextDue());
        return;
    }
    // Deliver one tick for the newest due deadline; older ones (the machine slept) are dropped.
    const qint64 due = (now - start_) / Period;
    next_ = due + 1;
    alarm_.wakeAt(nextDue());
    emit timeout(); // last: the handler may disable us
}

} // namespace window
