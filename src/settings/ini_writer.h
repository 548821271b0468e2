#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Changing one value of the INI settings file, leaving the rest of it as the user wrote it.
namespace modIni {

// `contents` with `key` in `section` set to `value` (one line, no blanks around it): only the
// value on the line that lookUp() reads changes. A missing key is added after the last key of
// the section's first occurrence, a missing section at the end of the file. Every other byte
// stays; an added line ends as the file's lines do (CR LF when it has none).
QByteArray withValue(const QByteArray& contents, const QString& section, const QString& key,
                     const QString& value);

// Sets `key` in `section` of the file `fileName` in `programFolder`, creating the file when it is
// missing. The file is replaced atomically: it is the old one or the new one, never half of
// either. False with a readable reason in `error` when it cannot be read or written.
bool WriteIniValue(const QString& section, const QString& key, const QString& value,
                   const QString& fileName, const QString& programFolder, QString* error);

// One value to set with WriteIniValues().
struct IniChange {
    QString section;
    QString key;
    QString value;
};
// Sets several values in one replacement of the file, as WriteIniValue() sets one.
bool WriteIniValues(const QList<IniChange>& changes, const QString& fileName,
                    const QString& programFolder, QString* error);

} // namespace modIni
