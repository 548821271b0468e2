#include "settings/mod_ini.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringView>

// The settings file is read by this small reader of our own rather than by an operating-system
// profile reader: the program runs where no such reader exists, and owning the parser lets us
// guarantee it stays linear and safe on any file content.
namespace modIni {
namespace {

bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\n' || u == u'\v' || u == u'\f';
}

QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool sameName(QStringView a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QStringView unquoted(QStringView value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.sliced(1, value.size() - 2);
    }
    return value;
}

} // namespace

std::optional<QString> lookUp(const QByteArray& contents, const QString& section,
                              const QString& key) {
    QByteArrayView bytes(contents);
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    // Exactly one byte-order mark is dropped (above), so the decoder must keep any other.
    // Bytes that are not UTF-8 become replacement characters; NUL bytes stay ordinary characters.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder(bytes);
    const QString wantedSection = trimmed(section).toString();
    const QString wantedKey = trimmed(key).toString();

    // One pass over the lines. A section may appear more than once; every occurrence is searched
    // in file order and the first matching key anywhere wins, so a repeated section adds keys
    // but never overrides one given earlier. Lines before the first section belong to none.
    bool inSection = false;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        const QStringView line = trimmed(QStringView(text).sliced(start, end - start));
        start = end + 1;

        if (line.isEmpty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            if (close > 0) {
                inSection = sameName(trimmed(line.sliced(1, close - 1)), wantedSection);
                continue;
            }
            // Without a closing bracket the line is no section header; it is read as a key line.
        }
        if (!inSection) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) continue; // a line without '=' holds no value
        if (sameName(trimmed(line.first(equals)), wantedKey))
            return unquoted(trimmed(line.sliced(equals + 1))).toString();
    }
    return std::nullopt;
}

QString ReadIniValue(const QString& section, const QString& key, const QString& fileName,
                     const QString& defaultValue, const QString& programFolder) {
    const QString path = programFolder + u'/' + fileName;
    if (!QFileInfo(path).isFile()) return defaultValue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return defaultValue;
    const std::optional<QString> value = lookUp(file.readAll(), section, key);
    if (!value || value->isEmpty()) return defaultValue;
    if (value->size() <= MaxValueLength) return *value;
    // Never cut a surrogate pair in half.
    qsizetype length = MaxValueLength;
    if (value->at(length - 1).isHighSurrogate()) --length;
    return value->first(length);
}

} // namespace modIni
