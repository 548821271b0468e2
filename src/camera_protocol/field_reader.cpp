#include "camera_protocol/field_reader.h"

namespace camera_process {

QCborValue FieldReader::take(QLatin1StringView key, bool required) {
    const QCborValue value = message_.fields.value(key);
    if (required && value.isUndefined()) refuse(key);
    return value;
}

qint64 FieldReader::integer(QLatin1StringView key, qint64 low, qint64 high) {
    const QCborValue value = take(key, true);
    if (value.isUndefined()) return low;
    if (!value.isInteger() || value.toInteger() < low || value.toInteger() > high) {
        refuse(key);
        return low;
    }
    return value.toInteger();
}

qint64 FieldReader::integer(QLatin1StringView key, qint64 low, qint64 high, qint64 fallback) {
    if (message_.fields.value(key).isUndefined()) return fallback;
    return integer(key, low, high);
}

QString FieldReader::text(QLatin1StringView key) {
    const QCborValue value = take(key, false);
    if (value.isUndefined()) return {};
    if (!value.isString()) refuse(key);
    return value.toString();
}

bool FieldReader::flag(QLatin1StringView key) {
    const QCborValue value = take(key, false);
    if (value.isUndefined()) return false;
    if (!value.isBool()) refuse(key);
    return value.toBool();
}

QCborArray FieldReader::array(QLatin1StringView key) {
    const QCborValue value = take(key, false);
    if (value.isUndefined()) return {};
    if (!value.isArray()) refuse(key);
    return value.toArray();
}

QCborMap FieldReader::map(QLatin1StringView key) {
    const QCborValue value = take(key, false);
    if (value.isUndefined()) return {};
    if (!value.isMap()) refuse(key);
    return value.toMap();
}

void FieldReader::refuse(const QString& field) {
    if (field_.isEmpty()) field_ = field;
}

QString FieldReader::error() const {
    if (field_.isEmpty()) return {};
    return QStringLiteral("The camera process sent a damaged message (%1: %2)")
        .arg(message_.verb, field_);
}

} // namespace camera_process
