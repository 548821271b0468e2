#include "video_process/line_fields.h"

#include <QList>
#include <QStringDecoder>

namespace video_process {

namespace {

bool isUnreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool allowed(char32_t c, Controls controls) {
    if (c == 0) return false;
    if (controls == Controls::AnyButNul) return true;
    if (c == '\t' || c == '\n' || c == '\r') return true;
    return c >= 0x20 && c != 0x7f && !(c >= 0x80 && c < 0xa0);
}

} // namespace

QByteArray textField(const QString& text) {
    return text.toUtf8().toPercentEncoding();
}

std::optional<QString> readTextField(QByteArrayView field, Controls controls) {
    if (field.isEmpty()) return std::nullopt;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (isUnreserved(field[i])) continue;
        if (field[i] != '%' || i + 2 >= field.size() || !isHex(field[i + 1]) ||
            !isHex(field[i + 2]))
            return std::nullopt;
        i += 2;
    }
    const QByteArray bytes = QByteArray::fromPercentEncoding(field.toByteArray());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) return std::nullopt;
    for (const uint c : text.toUcs4())
        if (!allowed(c, controls)) return std::nullopt;
    return text;
}

std::optional<int> readCountField(QByteArrayView field, int max) {
    if (field.isEmpty() || field.size() > 10 || (field.size() > 1 && field[0] == '0'))
        return std::nullopt;
    qint64 value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return int(value);
}

} // namespace video_process
