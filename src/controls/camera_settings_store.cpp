#include "controls/camera_settings_store.h"

#include "settings/ini_writer.h"
#include "settings/mod_ini.h"

#include <QFile>
#include <QFileInfo>

namespace controls {

namespace {

const QString HoldKey = QStringLiteral("HoldDuringRun");

// A camera's identity as its section's name, readable as it is: only what would end the header
// or its line is escaped (and the escape itself).
QString section(const QString& camera) {
    if (camera.isEmpty()) return QStringLiteral("camera");
    QString name;
    for (const QChar c : camera) {
        switch (c.unicode()) {
        case u'%':
            name += QLatin1String("%25");
            break;
        case u'[':
            name += QLatin1String("%5B");
            break;
        case u']':
            name += QLatin1String("%5D");
            break;
        case u'\n':
            name += QLatin1String("%0A");
            break;
        case u'\r':
            name += QLatin1String("%0D");
            break;
        default:
            name += c;
        }
    }
    return name;
}

// The name earlier versions of the program gave a camera's section (through QSettings):
// everything but letters, digits, '_', '-' and '.' as %XX or %UXXXX, '/' as '\\'.
QString earlierSection(const QString& camera) {
    if (camera.isEmpty()) return QStringLiteral("camera");
    QString name;
    for (const QChar c : camera) {
        const char16_t u = c.unicode();
        if (u == u'/')
            name += QLatin1Char('\\');
        else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                 u == u'_' || u == u'-' || u == u'.')
            name += c;
        else if (u <= 0xff)
            name += QStringLiteral("%%1").arg(uint(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            name += QStringLiteral("%U%1").arg(uint(u), 4, 16, QLatin1Char('0')).toUpper();
    }
    return name;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The camera's section in `contents`: its own name, or, for settings kept by an earlier version
// of the program, the name that version gave it, which then goes on being used.
QString sectionIn(const QByteArray& contents, const QString& camera) {
    const QString name = section(camera);
    if (!modIni::keysOf(contents, name).isEmpty()) return name;
    const QString earlier = earlierSection(camera);
    return modIni::keysOf(contents, earlier).isEmpty() ? name : earlier;
}

} // namespace

CameraSettingsStore::Values CameraSettingsStore::values(const QString& camera) const {
    const QByteArray contents = contentsOf(path_);
    const QString name = sectionIn(contents, camera);
    Values values;
    for (const QString& key : modIni::keysOf(contents, name)) {
        if (key.compare(HoldKey, Qt::CaseInsensitive) == 0) continue;
        bool ok = false;
        const qlonglong value =
            modIni::lookUp(contents, name, key).value_or(QString()).toLongLong(&ok);
        if (ok) values.insert(key, value); // an emptied value is no setting
    }
    const Values staged = staged_.value(camera);
    for (auto it = staged.constBegin(); it != staged.constEnd(); ++it)
        values.insert(it.key(), it.value());
    return values;
}

bool CameraSettingsStore::hold(const QString& camera) const {
    const QByteArray contents = contentsOf(path_);
    return modIni::lookUp(contents, sectionIn(contents, camera), HoldKey).value_or(QString()) ==
           QLatin1String("1");
}

void CameraSettingsStore::stage(const QString& camera, const QString& key, std::int64_t value) {
    staged_[camera].insert(key, value);
}

bool CameraSettingsStore::flush(QString* error) {
    QList<modIni::IniChange> changes;
    const QByteArray contents = contentsOf(path_);
    for (auto camera = staged_.constBegin(); camera != staged_.constEnd(); ++camera)
        for (auto it = camera->constBegin(); it != camera->constEnd(); ++it)
            changes.append(
                {sectionIn(contents, camera.key()), it.key(), QString::number(it.value())});
    staged_.clear();
    return write(changes, error);
}

bool CameraSettingsStore::setValue(const QString& camera, const QString& key, std::int64_t value,
                                   QString* error) {
    stage(camera, key, value);
    return flush(error);
}

bool CameraSettingsStore::clearValues(const QString& camera, QString* error) {
    staged_.remove(camera);
    // Emptied where they are: the file keeps its comments and order.
    QList<modIni::IniChange> changes;
    const QByteArray contents = contentsOf(path_);
    const QString name = sectionIn(contents, camera);
    for (const QString& key : modIni::keysOf(contents, name))
        if (key.compare(HoldKey, Qt::CaseInsensitive) != 0) changes.append({name, key, QString()});
    return write(changes, error);
}

bool CameraSettingsStore::setHold(const QString& camera, bool hold, QString* error) {
    return write({{sectionIn(contentsOf(path_), camera), HoldKey,
                   hold ? QStringLiteral("1") : QStringLiteral("0")}},
                 error);
}

bool CameraSettingsStore::write(const QList<modIni::IniChange>& changes, QString* error) {
    if (changes.isEmpty()) return true;
    const QFileInfo file(path_);
    QString reason;
    // Changed in place and replaced atomically: never half a file.
    if (modIni::WriteIniValues(changes, file.fileName(), file.absolutePath(), &reason)) return true;
    if (error) *error = QStringLiteral("The camera settings cannot be written to %1.").arg(path_);
    return false;
}

} // namespace controls
