#include "hours/active_hours.h"

#include <cmath>

namespace hours {

namespace {

QString problem(const QString& key, const QString& value, const QString& allowed,
                const QString& used) {
    return QStringLiteral("%1=%2 is not allowed in Config.ini: %3. %4 is used.")
        .arg(key, value, allowed, used);
}

std::optional<QTime> clockTime(const QString& text) {
    const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (!time.isValid()) return std::nullopt;
    return time;
}

// "51.5074" or "-0.1278": a dot, never the locale's comma, so the file reads the same anywhere.
std::optional<double> degrees(const QString& text, double limit) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > limit) return std::nullopt;
    return value;
}

std::optional<int> minutes(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || std::abs(value) > 720) return std::nullopt;
    return value;
}

QString offsetText(int offset, const char* event) {
    if (offset == 0) return QLatin1String(event);
    return QStringLiteral("%1 min %2 %3")
        .arg(std::abs(offset))
        .arg(offset < 0 ? QLatin1String("before") : QLatin1String("after"), QLatin1String(event));
}

} // namespace

HoursSettings readActiveHours(const std::function<QString(const QString& key)>& setting) {
    HoursSettings read;
    ActiveHours& hours = read.hours;
    const QString kind = setting(ActiveHoursKey).trimmed();
    if (kind.isEmpty() || kind.compare(QLatin1String("All"), Qt::CaseInsensitive) == 0) {
        hours.kind = ActiveHours::Kind::Always;
    } else if (kind.compare(QLatin1String("Clock"), Qt::CaseInsensitive) == 0) {
        hours.kind = ActiveHours::Kind::Clock;
    } else if (kind.compare(QLatin1String("Daylight"), Qt::CaseInsensitive) == 0) {
        hours.kind = ActiveHours::Kind::Daylight;
    } else {
        read.problems << problem(ActiveHoursKey, kind,
                                 QStringLiteral("it must be All, Clock or Daylight"),
                                 QStringLiteral("All"));
    }
    const auto readTime = [&](const QString& key, QTime* time) {
        const QString text = setting(key);
        if (text.isEmpty()) return;
        if (const auto value = clockTime(text))
            *time = *value;
        else
            read.problems << problem(key, text, QStringLiteral("it must be a time as HH:MM"),
                                     time->toString(QStringLiteral("HH:mm")));
    };
    readTime(ActiveFromKey, &hours.from);
    readTime(ActiveToKey, &hours.to);
    if (hours.from == hours.to && hours.kind == ActiveHours::Kind::Clock) {
        read.problems << QStringLiteral("ActiveFrom and ActiveTo are the same time in Config.ini: "
                                        "every hour is used.");
        hours.kind = ActiveHours::Kind::Always;
    }
    const auto readDegrees = [&](const QString& key, double limit, double* value) {
        const QString text = setting(key);
        if (text.isEmpty()) return;
        if (const auto read_ = degrees(text, limit))
            *value = *read_;
        else
            read.problems << problem(
                key, text,
                QStringLiteral("it must be degrees from -%1 to %1, with a dot").arg(limit),
                QString::number(*value));
    };
    readDegrees(LatitudeKey, 90, &hours.latitude);
    readDegrees(LongitudeKey, 180, &hours.longitude);
    const auto readMinutes = [&](const QString& key, int* value) {
        const QString text = setting(key);
        if (text.isEmpty()) return;
        if (const auto read_ = minutes(text))
            *value = *read_;
        else
            read.problems << problem(key, text,
                                     QStringLiteral("it must be whole minutes from -720 to 720"),
                                     QString::number(*value));
    };
    readMinutes(SunriseOffsetKey, &hours.sunriseOffset);
    readMinutes(SunsetOffsetKey, &hours.sunsetOffset);
    return read;
}

QList<std::pair<QString, QString>> activeHoursSettings(const ActiveHours& hours) {
    const QString kind = hours.kind == ActiveHours::Kind::Clock      ? QStringLiteral("Clock")
                         : hours.kind == ActiveHours::Kind::Daylight ? QStringLiteral("Daylight")
                                                                     : QStringLiteral("All");
    return {{ActiveHoursKey, kind},
            {ActiveFromKey, hours.from.toString(QStringLiteral("HH:mm"))},
            {ActiveToKey, hours.to.toString(QStringLiteral("HH:mm"))},
            {LatitudeKey, QString::number(hours.latitude, 'f', 4)},
            {LongitudeKey, QString::number(hours.longitude, 'f', 4)},
            {SunriseOffsetKey, QString::number(hours.sunriseOffset)},
            {SunsetOffsetKey, QString::number(hours.sunsetOffset)}};
}

QString describe(const ActiveHours& hours) {
    switch (hours.kind) {
    case ActiveHours::Kind::Always:
        return QStringLiteral("every hour");
    case ActiveHours::Kind::Clock:
        return QStringLiteral("%1 to %2")
            .arg(hours.from.toString(QStringLiteral("HH:mm")),
                 hours.to.toString(QStringLiteral("HH:mm")));
    case ActiveHours::Kind::Daylight:
        return QStringLiteral("daylight at %1, %2 (%3 to %4)")
            .arg(QString::number(hours.latitude, 'f', 2), QString::number(hours.longitude, 'f', 2),
                 offsetText(hours.sunriseOffset, "sunrise"),
                 offsetText(hours.sunsetOffset, "sunset"));
    }
    return {};
}

} // namespace hours
