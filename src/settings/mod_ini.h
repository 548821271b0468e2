#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Reading one value of the INI settings file. The program only ever reads it.
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

} // namespace modIni
