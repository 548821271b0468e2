#include "settings/ini_writer.h"

#include "settings/mod_ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace modIni {

namespace {

QByteArray lineEnd(const QByteArray& contents) {
    const qsizetype newline = contents.indexOf('\n');
    return newline == 0 || (newline > 0 && contents[newline - 1] != '\r') ? QByteArray("\n")
                                                                          : QByteArray("\r\n");
}

} // namespace

QByteArray withValue(const QByteArray& contents, const QString& section, const QString& key,
                     const QString& value) {
    const KeyPlace place = findKey(contents, section, key);
    QByteArray result = contents;
    if (place.found())
        return result.replace(place.valueBegin, place.valueEnd - place.valueBegin, value.toUtf8());
    const QByteArray newline = lineEnd(contents);
    const QByteArray line = key.toUtf8() + '=' + value.toUtf8() + newline;
    if (place.sectionEnd >= 0) {
        // The section's last line may be the file's last, without a line end of its own.
        const bool ended = place.sectionEnd > 0 && contents[place.sectionEnd - 1] == '\n';
        return result.insert(place.sectionEnd, ended ? line : newline + line);
    }
    if (!result.isEmpty() && !result.endsWith('\n')) result += newline;
    return result + '[' + section.toUtf8() + ']' + newline + line;
}

bool WriteIniValue(const QString& section, const QString& key, const QString& value,
                   const QString& fileName, const QString& programFolder, QString* error) {
    return WriteIniValues({IniChange{section, key, value}}, fileName, programFolder, error);
}

bool WriteIniValues(const QList<IniChange>& changes, const QString& fileName,
                    const QString& programFolder, QString* error) {
    const QString path = programFolder + u'/' + fileName;
    const auto fail = [&](QString reason) {
        // Qt's own reasons may name the file again, and end without a full stop.
        const QFileInfo info(path);
        if (info.exists() && !info.isWritable())
            reason = QStringLiteral("it is read-only");
        else if (!QFileInfo(info.absolutePath()).isWritable())
            reason = QStringLiteral("its folder is read-only");
        else if (!reason.isEmpty())
            reason[0] = reason[0].toLower();
        if (error)
            *error = QStringLiteral("%1 cannot be written: %2.")
                         .arg(QDir::toNativeSeparators(path), reason);
        return false;
    };
    QByteArray contents;
    if (QFile::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
        contents = file.readAll();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    QByteArray changed = contents;
    for (const IniChange& change : changes)
        changed = withValue(changed, change.section, change.key, change.value);
    if (file.write(changed) != changed.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit()) return fail(file.errorString());
    return true;
}

} // namespace modIni
