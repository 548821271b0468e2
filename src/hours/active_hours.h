#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>
#include <functional>
#include <optional>

namespace hours {

// The hours of each day in which a run takes its timed pictures: every hour (as without this
// setting), a span of the clock that may pass midnight, or daylight at a place.
struct ActiveHours {
    enum class Kind { Always, Clock, Daylight };
    Kind kind = Kind::Always;
    QTime from{7, 0};
    QTime to{19, 0};
    double latitude = 0;   // north positive
    double longitude = 0;  // east positive
    int sunriseOffset = 0; // minutes; -30: half an hour before sunrise
    int sunsetOffset = 0;  // minutes; 30: half an hour after sunset

    bool operator==(const ActiveHours&) const = default;
};

// Config.ini's keys, in [MAIN].
inline const QString ActiveHoursKey = QStringLiteral("ActiveHours");
inline const QString ActiveFromKey = QStringLiteral("ActiveFrom");
inline const QString ActiveToKey = QStringLiteral("ActiveTo");
inline const QString LatitudeKey = QStringLiteral("Latitude");
inline const QString LongitudeKey = QStringLiteral("Longitude");
inline const QString SunriseOffsetKey = QStringLiteral("SunriseOffset");
inline const QString SunsetOffsetKey = QStringLiteral("SunsetOffset");

struct HoursSettings {
    ActiveHours hours;
    QStringList problems; // one sentence for each bad value, naming the default used
};

// Reads the keys through `setting` (an empty text: not set). A bad value is named and its
// default used; a span of the clock or daylight with a bad place or time falls back to every
// hour only when the kind itself is bad.
HoursSettings readActiveHours(const std::function<QString(const QString& key)>& setting);
// The keys and their texts to write back for `hours`.
QList<std::pair<QString, QString>> activeHoursSettings(const ActiveHours& hours);

// "every hour", "07:00 to 19:00", "daylight at 51.51, -0.13 (30 min before sunrise to sunset)".
QString describe(const ActiveHours& hours);

} // namespace hours
