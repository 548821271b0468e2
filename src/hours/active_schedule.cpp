#include "hours/active_schedule.h"

#include "hours/sun_times.h"

#include <algorithm>

namespace hours {

namespace {

QString offsetName(int offset, const char* event) {
    if (offset == 0) return QLatin1String(event);
    return QStringLiteral("%1 min %2 %3")
        .arg(std::abs(offset))
        .arg(offset < 0 ? QLatin1String("before") : QLatin1String("after"), QLatin1String(event));
}

// The first k >= 0 with first + k * period >= moment.
qint64 firstIndexFrom(qint64 sinceFirstMs, qint64 periodMs) {
    if (sinceFirstMs <= 0) return 0;
    return (sinceFirstMs + periodMs - 1) / periodMs;
}

} // namespace

ActiveSchedule::ActiveSchedule(ActiveHours hours, QTimeZone zone)
    : hours_(hours), zone_(std::move(zone)) {}

QDateTime ActiveSchedule::at(QDate date, QTime time) const {
    return QDateTime(date, time, zone_);
}

QList<ActiveSchedule::Span> ActiveSchedule::spans(QDate date) const {
    if (const auto known = days_.constFind(date); known != days_.constEnd()) return *known;
    const QDateTime dayStart = at(date, QTime(0, 0));
    const QDateTime dayEnd = at(date.addDays(1), QTime(0, 0));
    QList<Span> result;
    const auto add = [&](QDateTime begin, QDateTime end) {
        begin = std::max(begin, dayStart);
        end = std::min(end, dayEnd);
        if (begin < end) result.append({begin, end});
    };
    switch (hours_.kind) {
    case ActiveHours::Kind::Always:
        add(dayStart, dayEnd);
        break;
    case ActiveHours::Kind::Clock:
        if (hours_.from < hours_.to) {
            add(at(date, hours_.from), at(date, hours_.to));
        } else {
            // Past midnight: the morning's end of the night before, and the evening's start.
            add(dayStart, at(date, hours_.to));
            add(at(date, hours_.from), dayEnd);
        }
        break;
    case ActiveHours::Kind::Daylight: {
        const SunDay sun = sunTimes(date, hours_.latitude, hours_.longitude, zone_);
        if (sun.kind == SunDay::Kind::PolarDay) {
            add(dayStart, dayEnd);
        } else if (sun.kind == SunDay::Kind::RisesAndSets) {
            const QDateTime begin =
                sun.rise.isValid() ? sun.rise.addSecs(hours_.sunriseOffset * 60) : dayStart;
            const QDateTime end =
                sun.set.isValid() ? sun.set.addSecs(hours_.sunsetOffset * 60) : dayEnd;
            if (sun.rise.isValid() && sun.set.isValid() && sun.set < sun.rise) {
                // Far north in spring and autumn: up at midnight, down a while, up again.
                add(dayStart, end);
                add(begin, dayEnd);
            } else {
                add(begin, end);
            }
        }
        break;
    }
    }
    if (days_.size() > 800) days_.clear(); // a resume after years away
    days_.insert(date, result);
    return result;
}

bool ActiveSchedule::isActive(const QDateTime& moment) const {
    if (always()) return true;
    const QDateTime local = moment.toTimeZone(zone_);
    const QList<Span> day = spans(local.date());
    return std::any_of(day.begin(), day.end(),
                       [&](const Span& span) { return local >= span.begin && local < span.end; });
}

std::optional<ActiveSchedule::Start> ActiveSchedule::nextStart(const QDateTime& moment) const {
    if (always()) return std::nullopt;
    const QDateTime local = moment.toTimeZone(zone_);
    for (int day = 0; day <= 366; ++day) {
        const QDate date = local.date().addDays(day);
        for (const Span& span : spans(date)) {
            if (span.begin <= local) continue;
            QString what;
            if (hours_.kind == ActiveHours::Kind::Daylight && span.begin.time() != QTime(0, 0))
                what = offsetName(hours_.sunriseOffset, "sunrise");
            return Start{span.begin, what};
        }
    }
    return std::nullopt;
}

qint64 ActiveSchedule::countActive(const QDateTime& first, qint64 periodMs, qint64 count) const {
    if (count <= 0) return 0;
    if (always() || periodMs <= 0) return count;
    const QDateTime last = first.addMSecs(periodMs * (count - 1));
    const QDate lastDay = last.toTimeZone(zone_).date();
    qint64 active = 0;
    // Day by day: the spans are within their day, so none is counted twice.
    for (QDate date = first.toTimeZone(zone_).date(); date <= lastDay; date = date.addDays(1)) {
        for (const Span& span : spans(date)) {
            const qint64 lo = firstIndexFrom(first.msecsTo(span.begin), periodMs);
            const qint64 hi = std::min(count, firstIndexFrom(first.msecsTo(span.end), periodMs));
            active += std::max<qint64>(0, hi - lo);
        }
    }
    return active;
}

qint64 ActiveSchedule::activeSeconds(QDate date) const {
    qint64 seconds = 0;
    for (const Span& span : spans(date))
        seconds += span.begin.secsTo(span.end);
    return seconds;
}

} // namespace hours
