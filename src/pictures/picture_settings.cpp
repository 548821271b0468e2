#include "pictures/picture_settings.h"

#include <QDateTime>

namespace pictures {

namespace {

// Digits only: "+5", " 5" or "5.0" are no quality.
std::optional<int> wholeNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    return text.toInt();
}

QString problem(const QString& key, const QString& value, const QString& allowed,
                const QString& used) {
    return QStringLiteral("%1=%2 is not allowed in Config.ini: %3. %4 is used.")
        .arg(key, value, allowed, used);
}

} // namespace

PictureSettings readPictureSettings(const std::function<QString(const QString& key)>& setting) {
    PictureSettings read;
    PictureOptions& options = read.options;

    if (const QString value = setting(PictureFormatKey); !value.isEmpty()) {
        if (const auto format = formatNamed(value))
            options.format = *format;
        else
            read.problems << problem(PictureFormatKey, value,
                                     QStringLiteral("it must be BMP, PNG or JPEG"),
                                     formatName(options.format));
    }
    if (const QString value = setting(QStringLiteral("JpegQuality")); !value.isEmpty()) {
        const auto quality = wholeNumber(value);
        if (quality && *quality >= 1 && *quality <= 100)
            options.jpegQuality = *quality;
        else
            read.problems << problem(QStringLiteral("JpegQuality"), value,
                                     QStringLiteral("it must be a whole number from 1 to 100"),
                                     QString::number(options.jpegQuality));
    }
    if (const QString value = setting(TimeStampKey); !value.isEmpty()) {
        if (value == QLatin1String("0") || value == QLatin1String("1"))
            options.timeStamp = value == QLatin1String("1");
        else
            read.problems << problem(TimeStampKey, value,
                                     QStringLiteral("it must be 0 (off) or 1 (on)"),
                                     QStringLiteral("0"));
    }
    // Written but empty ("TimeStampFormat=") is a bad value too, unlike a key not written.
    if (const QString value = setting(QStringLiteral("TimeStampFormat"));
        !value.isEmpty() || !value.isNull()) {
        // Any Qt date-time format will do, as long as it gives one line of text of a sensible
        // length.
        const QString sample = QDateTime(QDate(2026, 12, 6), QTime(7, 40, 39)).toString(value);
        if (!sample.trimmed().isEmpty() && sample.size() <= 80 && !sample.contains(u'\n') &&
            !sample.contains(u'\r'))
            options.timeStampFormat = value;
        else
            read.problems << problem(QStringLiteral("TimeStampFormat"), value,
                                     QStringLiteral("it must be a Qt date-time format giving one "
                                                    "line of up to 80 characters"),
                                     options.timeStampFormat);
    }
    return read;
}

} // namespace pictures
