#pragma once

#include "camera_protocol/message.h"

#include <QCborArray>
#include <QCborMap>
#include <QString>
#include <limits>

namespace camera_process {

// Reads the fields of one message from the other process, checking each one's kind and range
// before anything trusts it. The first field that is missing, of the wrong kind or out of range
// is named in error(); the values read after it are the fallbacks and must not be used.
class FieldReader {
public:
    explicit FieldReader(const Message& message) : message_(message) {}

    // An integer within [low, high]; required unless `fallback` is given.
    qint64 integer(QLatin1StringView key, qint64 low = std::numeric_limits<qint64>::min(),
                   qint64 high = std::numeric_limits<qint64>::max());
    qint64 integer(QLatin1StringView key, qint64 low, qint64 high, qint64 fallback);
    // Text; absent is empty.
    QString text(QLatin1StringView key);
    // A yes or no; absent is no.
    bool flag(QLatin1StringView key);
    // An array or a map; absent is empty.
    QCborArray array(QLatin1StringView key);
    QCborMap map(QLatin1StringView key);

    // Whether the message has `key` at all.
    bool has(QLatin1StringView key) const { return !message_.fields.value(key).isUndefined(); }

    bool ok() const { return field_.isEmpty(); }
    // "The camera process sent a damaged message (grabbed: width)"; empty when all was right.
    QString error() const;
    // Marks `field` wrong for a reason found outside this reader (sizes that do not agree).
    void refuse(const QString& field);

private:
    QCborValue take(QLatin1StringView key, bool required);

    const Message& message_;
    QString field_;
};

} // namespace camera_process
