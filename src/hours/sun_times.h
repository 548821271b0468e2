#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

namespace hours {

// Sunrise and sunset of one day at one place, in that place's time zone as the computer keeps
// it. Near the poles the sun may stay up (polar day) or down (polar night) all day.
struct SunDay {
    enum class Kind { RisesAndSets, PolarDay, PolarNight };
    Kind kind = Kind::PolarNight;
    QDateTime rise; // invalid when the sun does not rise on that day
    QDateTime set;  // invalid when the sun does not set on that day
};

// `latitude` north positive, `longitude` east positive, in degrees. The rise and set (the upper
// limb at the horizon, with refraction) that fall on the local calendar day `date` in `zone`.
SunDay sunTimes(QDate date, double latitude, double longitude, const QTimeZone& zone);

} // namespace hours
