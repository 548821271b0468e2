#include "controls/camera_settings_store.h"

#include <QSettings>

namespace controls {

namespace {

const QString HoldKey = QStringLiteral("HoldDuringRun");

// QSettings keeps a section name as it is, escaping what an INI file cannot hold.
QString section(const QString& camera) {
    return camera.isEmpty() ? QStringLiteral("camera") : camera;
}

} // namespace

CameraSettingsStore::Values CameraSettingsStore::values(const QString& camera) const {
    QSettings file(path_, QSettings::IniFormat);
    file.beginGroup(section(camera));
    Values values;
    for (const QString& key : file.childKeys()) {
        if (key == HoldKey) continue;
        bool ok = false;
        const qlonglong value = file.value(key).toLongLong(&ok);
        if (ok) values.insert(key, value);
    }
    return values;
}

bool CameraSettingsStore::hold(const QString& camera) const {
    QSettings file(path_, QSettings::IniFormat);
    return file.value(section(camera) + QLatin1Char('/') + HoldKey, 0).toInt() == 1;
}

bool CameraSettingsStore::write(const QString& camera,
                                const std::function<void(QSettings&)>& change, QString* error) {
    QSettings file(path_, QSettings::IniFormat);
    file.beginGroup(section(camera));
    change(file);
    file.endGroup();
    file.sync(); // written to a temporary file and renamed: never half a file
    if (file.status() == QSettings::NoError) return true;
    if (error)
        *error = QStringLiteral("The camera settings cannot be written to %1.").arg(path_);
    return false;
}

bool CameraSettingsStore::setValue(const QString& camera, const QString& key,
                                   std::int64_t value, QString* error) {
    return write(camera, [&](QSettings& file) { file.setValue(key, qlonglong(value)); }, error);
}

bool CameraSettingsStore::clearValues(const QString& camera, QString* error) {
    return write(
        camera,
        [](QSettings& file) {
            for (const QString& key : file.childKeys())
                if (key != HoldKey) file.remove(key);
        },
        error);
}

bool CameraSettingsStore::setHold(const QString& camera, bool hold, QString* error) {
    return write(camera, [&](QSettings& file) { file.setValue(HoldKey, hold ? 1 : 0); }, error);
}

} // namespace controls
