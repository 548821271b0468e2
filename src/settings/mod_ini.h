#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// Reading one value of the INI settings file; ini_writer.h changes one.
namespace modIni {

// The longest value returned; longer values are cut to this many characters.
inline constexpr int MaxValueLength = 254;

// Reads `key` in `section` of the file `fileName` in `programFolder`. Returns `defaultValue`
// when the file, the section or the key is missing, or the value is empty.
QString ReadIniValue(const QString& section, const QString& key, const QString& fileName,
                     const QString& defaultValue, const QString& programFolder);

// Our stand-in for the operating system's profile reader: looks `key` up in `section` of the
// file contents. Section and key names match without regard to case, blanks around names and
// values are trimmed, the first matching key wins, lines starting with ';' are comments, a value
// in matching double or single quotes loses them; CR LF or LF line ends and a UTF-8 byte-order
// mark are accepted. Returns nothing when the key is not there.
std::optional<QString> lookUp(const QByteArray& contents, const QString& section,
                              const QString& key);

// Where lookUp() finds `key` in the file's bytes, for changing it in place.
struct KeyPlace {
    // The value's bytes, blanks around it left out (quotes kept); -1 when the key is not there.
    qsizetype valueBegin = -1, valueEnd = -1;
    // Just past the last key line of the section's first occurrence (past its header when it
    // has none); -1 when the section is not there.
    qsizetype sectionEnd = -1;
    bool found() const { return valueBegin >= 0; }
};
KeyPlace findKey(const QByteArray& contents, const QString& section, const QString& key);

// The names of the keys in `section` (every occurrence of it), in file order, each once as it
// is first written.
QStringList keysOf(const QByteArray& contents, const QString& section);

// The value as written, also when it is empty; none when the key is not there.
std::optional<QString> ReadIniEntry(const QString& section, const QString& key,
                                    const QString& fileName, const QString& programFolder);

} // namespace modIni
