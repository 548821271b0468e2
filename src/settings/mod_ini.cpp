#include "settings/mod_ini.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringView>
#include <cstring>

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

// One line's bytes as text, as the whole file would decode them: every byte-order mark but the
// file's first (dropped before) stays a character, and bytes that are not UTF-8 become
// replacement characters.
QString decoded(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                       QStringConverter::Flag::Stateless);
    return decoder(bytes);
}

bool isBlankByte(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

// The lines are split and trimmed as bytes, which keeps the places in the file for the writer;
// names and values are compared as text. '\n', '=', '[', ']' and ';' are single bytes in UTF-8
// and never part of another character, so this reads exactly as decoding the whole file would.
KeyPlace findKey(const QByteArray& contents, const QString& section, const QString& key) {
    KeyPlace place;
    const char* data = contents.constData();
    const qsizetype size = contents.size();
    const QString wantedSection = trimmed(section).toString();
    const QString wantedKey = trimmed(key).toString();

    // One pass over the lines. A section may appear more than once; every occurrence is searched
    // in file order and the first matching key anywhere wins, so a repeated section adds keys
    // but never overrides one given earlier. Lines before the first section belong to none.
    bool inSection = false;
    bool inFirstOccurrence = false;
    qsizetype start = contents.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start <= size) {
        const char* newline =
            static_cast<const char*>(std::memchr(data + start, '\n', std::size_t(size - start)));
        const qsizetype end = newline ? newline - data : size;
        const qsizetype next = newline ? end + 1 : size;
        qsizetype begin = start;
        qsizetype last = end;
        while (begin < last && isBlankByte(data[begin]))
            ++begin;
        while (last > begin && isBlankByte(data[last - 1]))
            --last;
        start = end + 1;

        if (begin == last || data[begin] == ';') continue;
        const QByteArrayView line(data + begin, last - begin);
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            if (close > 0) {
                const bool wanted =
                    sameName(trimmed(decoded(line.sliced(1, close - 1))), wantedSection);
                inFirstOccurrence = wanted && place.sectionEnd < 0;
                if (inFirstOccurrence) place.sectionEnd = next;
                inSection = wanted;
                continue;
            }
            // Without a closing bracket the line is no section header; it is read as a key line.
        }
        if (!inSection) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) continue; // a line without '=' holds no value
        if (inFirstOccurrence) place.sectionEnd = next;
        if (sameName(trimmed(decoded(line.first(equals))), wantedKey)) {
            qsizetype value = begin + equals + 1;
            while (value < last && isBlankByte(data[value]))
                ++value;
            place.valueBegin = value;
            place.valueEnd = last;
            return place;
        }
    }
    return place;
}

QStringList keysOf(const QByteArray& contents, const QString& section) {
    // The lines as findKey() reads them.
    const QString wanted = trimmed(section).toString();
    QStringList keys;
    bool inSection = false;
    const QByteArrayView all(contents);
    qsizetype start = contents.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0) end = all.size();
        const QString line = trimmed(decoded(all.sliced(start, end - start))).toString();
        start = end + 1;
        if (line.isEmpty() || line.front() == u';') continue;
        const qsizetype close = line.indexOf(u']');
        if (line.front() == u'[' && close > 0) {
            inSection = sameName(trimmed(QStringView(line).sliced(1, close - 1)), wanted);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSection || equals < 0) continue;
        const QString key = trimmed(QStringView(line).first(equals)).toString();
        if (!keys.contains(key, Qt::CaseInsensitive)) keys << key;
    }
    return keys;
}

std::optional<QString> lookUp(const QByteArray& contents, const QString& section,
                              const QString& key) {
    const KeyPlace place = findKey(contents, section, key);
    if (!place.found()) return std::nullopt;
    const QString value = decoded(
        QByteArrayView(contents).sliced(place.valueBegin, place.valueEnd - place.valueBegin));
    return unquoted(value).toString();
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

std::optional<QString> ReadIniEntry(const QString& section, const QString& key,
                                    const QString& fileName, const QString& programFolder) {
    QFile file(programFolder + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return lookUp(file.readAll(), section, key);
}

} // namespace modIni
