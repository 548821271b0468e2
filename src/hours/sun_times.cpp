#include "hours/sun_times.h"

#include <cmath>
#include <libnova/precession.h>
#include <libnova/rise_set.h>
#include <libnova/solar.h>
#include <libnova/transform.h>

namespace hours {

namespace {

constexpr double UnixEpochJd = 2440587.5;

double julianDay(const QDateTime& moment) {
    return UnixEpochJd + double(moment.toMSecsSinceEpoch()) / 86'400'000.0;
}

QDateTime fromJulianDay(double jd, const QTimeZone& zone) {
    const auto ms = qint64(std::llround((jd - UnixEpochJd) * 86'400'000.0));
    // To the minute: the tables people compare with are, and sub-minute digits are noise.
    const qint64 minute = 60'000;
    return QDateTime::fromMSecsSinceEpoch((ms + minute / 2) / minute * minute, zone);
}

// The library gives the sun's place against the equinox of 2000 and the sky's turning against
// the equinox of the day; mixed, they put every rise and set about a minute early by now (the
// equinox has moved a third of a degree since). The sun's place is moved to the equinox of the
// day first.
void sunOfDate(double jd, ln_equ_posn* position) {
    ln_equ_posn mean{};
    ln_get_solar_equ_coords(jd, &mean);
    ln_get_equ_prec(&mean, jd, position);
}

// The sun's height above the horizon at `observer`, less the height at which it counts as
// risen: positive while it is up.
double aboveRising(double jd, ln_lnlat_posn* observer) {
    ln_equ_posn sun{};
    sunOfDate(jd, &sun);
    ln_hrz_posn sky{};
    ln_get_hrz_from_equ(&sun, observer, jd, &sky);
    return sky.alt - LN_SOLAR_STANDART_HORIZON;
}

// Where the sun crosses the horizon between `from` and `to`, which lie on either side of it.
double crossing(double from, double to, ln_lnlat_posn* observer) {
    const bool upAtFrom = aboveRising(from, observer) > 0;
    for (int i = 0; i < 24; ++i) { // to well under a second
        const double middle = (from + to) / 2;
        ((aboveRising(middle, observer) > 0) == upAtFrom ? from : to) = middle;
    }
    return (from + to) / 2;
}

} // namespace

SunDay sunTimes(QDate date, double latitude, double longitude, const QTimeZone& zone) {
    ln_lnlat_posn observer{longitude, latitude};
    const QDateTime dayStart(date, QTime(0, 0), zone);
    const QDateTime dayEnd(date.addDays(1), QTime(0, 0), zone);
    const auto onTheDay = [&](const QDateTime& t) { return t >= dayStart && t < dayEnd; };
    const double noon = julianDay(QDateTime(date, QTime(12, 0), zone));

    SunDay day;
    int noonCode = 0;
    // The library answers for the day around the moment it is given, in universal time; far
    // from Greenwich the local day's rise or set may come from the day before or after.
    for (const double offset : {0.0, -1.0, 1.0}) {
        ln_rst_time rst{};
        const int code = ln_get_body_rst_horizon(noon + offset, &observer, &sunOfDate,
                                                 LN_SOLAR_STANDART_HORIZON, &rst);
        if (offset == 0.0) noonCode = code;
        if (code != 0) continue;
        const QDateTime rise = fromJulianDay(rst.rise, zone);
        const QDateTime set = fromJulianDay(rst.set, zone);
        if (!day.rise.isValid() && onTheDay(rise)) day.rise = rise;
        if (!day.set.isValid() && onTheDay(set)) day.set = set;
    }
    if (day.rise.isValid() || day.set.isValid()) {
        day.kind = SunDay::Kind::RisesAndSets;
        // On the days the sun comes back or goes for the season the library may miss one of
        // the two; the sun's height at the day's ends tells whether there is one to find.
        const double start = julianDay(dayStart);
        const double end = julianDay(dayEnd);
        if (!day.rise.isValid() && day.set.isValid() && aboveRising(start, &observer) <= 0)
            day.rise = fromJulianDay(crossing(start, julianDay(day.set), &observer), zone);
        if (!day.set.isValid() && day.rise.isValid() && aboveRising(end, &observer) <= 0)
            day.set = fromJulianDay(crossing(julianDay(day.rise), end, &observer), zone);
    } else {
        // Neither on this day: the sun stays above the horizon, or below it.
        day.kind = noonCode > 0 ? SunDay::Kind::PolarDay : SunDay::Kind::PolarNight;
    }
    return day;
}

} // namespace hours
