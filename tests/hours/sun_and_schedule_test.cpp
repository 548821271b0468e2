// Sunrise and sunset against published tables, and the active hours of a day: a span past
// midnight, a daylight-saving day, polar night.
#include "hours/active_schedule.h"
#include "hours/sun_times.h"

#include <gtest/gtest.h>

namespace {

using hours::ActiveHours;
using hours::ActiveSchedule;
using hours::SunDay;

struct Place {
    const char* name;
    double latitude, longitude;
    const char* zone;
};
const Place London{"London", 51.5074, -0.1278, "Europe/London"};
const Place NewYork{"New York", 40.7128, -74.0060, "America/New_York"};
const Place Sydney{"Sydney", -33.8688, 151.2093, "Australia/Sydney"};
const Place Tromso{"Tromso", 69.6492, 18.9553, "Europe/Oslo"};

QDateTime local(const Place& place, QDate date, const char* time) {
    return QDateTime(date, QTime::fromString(QLatin1String(time), QStringLiteral("HH:mm")),
                     QTimeZone(place.zone));
}

TEST(SunTimes, MatchPublishedTablesToWithinTwoMinutes) {
    // Local clock times of the published almanac tables for 2026 (daylight saving included).
    struct Case {
        Place place;
        QDate date;
        const char* rise;
        const char* set;
    } const cases[] = {
        {London, {2026, 6, 21}, "04:43", "21:21"},  {London, {2026, 12, 21}, "08:04", "15:53"},
        {NewYork, {2026, 6, 21}, "05:25", "20:31"}, {NewYork, {2026, 12, 21}, "07:17", "16:32"},
        {Sydney, {2026, 6, 21}, "07:00", "16:54"},  {Sydney, {2026, 12, 21}, "05:41", "20:05"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.place.name) + " " + c.date.toString(Qt::ISODate).toStdString());
        const SunDay sun =
            hours::sunTimes(c.date, c.place.latitude, c.place.longitude, QTimeZone(c.place.zone));
        ASSERT_EQ(sun.kind, SunDay::Kind::RisesAndSets);
        EXPECT_LE(std::abs(sun.rise.secsTo(local(c.place, c.date, c.rise))), 120);
        EXPECT_LE(std::abs(sun.set.secsTo(local(c.place, c.date, c.set))), 120);
    }
    const QTimeZone oslo(Tromso.zone);
    EXPECT_EQ(hours::sunTimes({2026, 6, 21}, Tromso.latitude, Tromso.longitude, oslo).kind,
              SunDay::Kind::PolarDay);
    EXPECT_EQ(hours::sunTimes({2026, 12, 21}, Tromso.latitude, Tromso.longitude, oslo).kind,
              SunDay::Kind::PolarNight);
}

TEST(ActiveSchedule, ClockSpanPastMidnightCountsOnlyItsHours) {
    const QTimeZone utc = QTimeZone::utc();
    ActiveHours night;
    night.kind = ActiveHours::Kind::Clock;
    night.from = QTime(22, 0);
    night.to = QTime(6, 0);
    const ActiveSchedule schedule(night, utc);
    const QDate day(2026, 12, 7);
    EXPECT_TRUE(schedule.isActive(QDateTime(day, QTime(23, 30), utc)));
    EXPECT_TRUE(schedule.isActive(QDateTime(day, QTime(5, 59), utc)));
    EXPECT_FALSE(schedule.isActive(QDateTime(day, QTime(6, 0), utc)));
    const auto next = schedule.nextStart(QDateTime(day, QTime(6, 0), utc));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->at, QDateTime(day, QTime(22, 0), utc));
    EXPECT_TRUE(next->what.isEmpty());
    // A picture a minute from noon for two days: the eight night hours of each, twice.
    EXPECT_EQ(schedule.countActive(QDateTime(day, QTime(12, 0), utc), 60'000, 2 * 24 * 60),
              2 * 8 * 60);
    EXPECT_EQ(schedule.activeSeconds(day), 8 * 3600);
}

TEST(ActiveSchedule, DaylightSavingDayAndPolarNight) {
    // The clocks go forward at 01:00 on 29 March in London: 00:00 to 03:00 by the clock is
    // two hours.
    const QTimeZone london(London.zone);
    ActiveHours early;
    early.kind = ActiveHours::Kind::Clock;
    early.from = QTime(0, 0);
    early.to = QTime(3, 0);
    const ActiveSchedule clock(early, london);
    EXPECT_EQ(clock.activeSeconds({2026, 3, 29}), 2 * 3600);
    EXPECT_EQ(clock.countActive(QDateTime({2026, 3, 28}, QTime(12, 0), london), 600'000, 6 * 24),
              2 * 6); // from noon on the 28th: the two hours of the 29th
    // Daylight in London on that day ends at sunset by the new clock.
    ActiveHours daylight;
    daylight.kind = ActiveHours::Kind::Daylight;
    daylight.latitude = London.latitude;
    daylight.longitude = London.longitude;
    daylight.sunriseOffset = -30;
    const ActiveSchedule sun(daylight, london);
    const auto spans = sun.spans({2026, 3, 29});
    ASSERT_EQ(spans.size(), 1);
    EXPECT_EQ(spans.front().begin.toString(QStringLiteral("HH:mm")), QStringLiteral("06:13"));
    EXPECT_EQ(spans.front().end.toString(QStringLiteral("HH:mm")), QStringLiteral("19:29"));

    // Polar night: no picture in December; the next start is the sun's return in January.
    daylight.latitude = Tromso.latitude;
    daylight.longitude = Tromso.longitude;
    daylight.sunriseOffset = 0;
    const QTimeZone oslo(Tromso.zone);
    const ActiveSchedule polar(daylight, oslo);
    const QDateTime december(QDate(2026, 12, 8), QTime(12, 0), oslo);
    EXPECT_FALSE(polar.isActive(december));
    EXPECT_EQ(polar.countActive(december, 60'000, 24 * 60), 0);
    const auto sunrise = polar.nextStart(december);
    ASSERT_TRUE(sunrise);
    EXPECT_EQ(sunrise->at.date().month(), 1);
    EXPECT_EQ(sunrise->what, QStringLiteral("sunrise"));
}

TEST(ActiveHoursSettings, BadValuesAreNamedAndDefaultsUsed) {
    const QHash<QString, QString> ini{{QStringLiteral("ActiveHours"), QStringLiteral("Daylight")},
                                      {QStringLiteral("Latitude"), QStringLiteral("91")},
                                      {QStringLiteral("Longitude"), QStringLiteral("4,9")},
                                      {QStringLiteral("SunriseOffset"), QStringLiteral("-30")},
                                      {QStringLiteral("ActiveFrom"), QStringLiteral("25:00")}};
    const hours::HoursSettings read =
        hours::readActiveHours([&](const QString& key) { return ini.value(key); });
    EXPECT_EQ(read.hours.kind, ActiveHours::Kind::Daylight);
    EXPECT_EQ(read.hours.sunriseOffset, -30);
    EXPECT_EQ(read.hours.latitude, 0);
    ASSERT_EQ(read.problems.size(), 3);
    EXPECT_EQ(read.problems[0], QStringLiteral("ActiveFrom=25:00 is not allowed in Config.ini: it "
                                               "must be a time as HH:MM. 07:00 is used."));
    // What is written reads back the same.
    QHash<QString, QString> written;
    for (const auto& [key, value] : hours::activeHoursSettings(read.hours))
        written.insert(key, value);
    EXPECT_EQ(hours::readActiveHours([&](const QString& key) { return written.value(key); }).hours,
              read.hours);
}

} // namespace
