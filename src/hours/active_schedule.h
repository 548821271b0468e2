#pragma once

#include "hours/active_hours.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QTimeZone>
#include <optional>

namespace hours {

// When, by the active hours, a run's timed pictures fall due: the spans of each local day, the
// next beginning, and how many of a row of moments lie inside them.
class ActiveSchedule {
public:
    struct Span {
        QDateTime begin; // inclusive
        QDateTime end;   // exclusive
    };
    struct Start {
        QDateTime at;
        QString what; // "sunrise", "30 min before sunrise"; empty for a time of the clock
    };

    explicit ActiveSchedule(ActiveHours hours = {}, QTimeZone zone = QTimeZone::systemTimeZone());

    const ActiveHours& hours() const { return hours_; }
    bool always() const { return hours_.kind == ActiveHours::Kind::Always; }

    // The active spans of the local calendar day `date`, in order, each within the day.
    QList<Span> spans(QDate date) const;
    bool isActive(const QDateTime& moment) const;
    // The next beginning of active hours after `moment`, within a year; none in polar night
    // past that, or when every hour is active.
    std::optional<Start> nextStart(const QDateTime& moment) const;
    // Of the moments first, first + period, ... (`count` of them), how many are active.
    qint64 countActive(const QDateTime& first, qint64 periodMs, qint64 count) const;
    // The active time of the local day `date`, in seconds.
    qint64 activeSeconds(QDate date) const;

private:
    QDateTime at(QDate date, QTime time) const;

    ActiveHours hours_;
    QTimeZone zone_;
    // Days already worked out: a run asks about the same few days at every picture.
    mutable QHash<QDate, QList<Span>> days_;
};

} // namespace hours
