#include "camera_process/grab_requests.h"

#include <algorithm>

namespace camera_process {

GrabRequests::GrabRequests(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &GrabRequests::onTimer);
}

void GrabRequests::wait(qint64 id, qint64 ticket, Clock::time_point deadline) {
    pending_.insert(id, Pending{ticket, deadline});
    arm();
}

std::optional<qint64> GrabRequests::answered(qint64 id) {
    const auto pending = pending_.find(id);
    if (pending == pending_.end()) return std::nullopt;
    const qint64 ticket = pending->ticket;
    pending_.erase(pending);
    arm();
    return ticket;
}

QList<qint64> GrabRequests::giveUpAll() {
    QList<qint64> tickets;
    for (const Pending& grab : std::as_const(pending_))
        tickets << grab.ticket;
    pending_.clear();
    timer_.stop();
    return tickets;
}

// One timer, for the first deadline.
void GrabRequests::arm() {
    if (pending_.isEmpty()) {
        timer_.stop();
        return;
    }
    auto first = Clock::time_point::max();
    for (const Pending& grab : std::as_const(pending_))
        first = std::min(first, grab.deadline);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
    timer_.start(int(std::max<qint64>(0, left.count())));
}

void GrabRequests::onTimer() {
    const auto now = Clock::now();
    QList<qint64> late;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->deadline > now) {
            ++it;
            continue;
        }
        late << it->ticket;
        it = pending_.erase(it);
    }
    arm();
    if (!late.isEmpty()) emit expired(late);
}

} // namespace camera_process
