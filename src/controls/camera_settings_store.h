#pragma once

#include <QMap>
#include <QString>
#include <cstdint>
#include <functional>

class QSettings;

namespace controls {

// The settings kept for each camera, in Cameras.ini beside the program: one section per camera
// (by the identity the reconnect uses), one line per control the user set (by the control's
// short name, as v4l2-ctl shows it), and whether it is held steady during a run.
class CameraSettingsStore {
public:
    using Values = QMap<QString, std::int64_t>;

    explicit CameraSettingsStore(QString path) : path_(std::move(path)) {}

    Values values(const QString& camera) const;
    bool hold(const QString& camera) const;

    // Each returns false with a reason when the file cannot be written.
    bool setValue(const QString& camera, const QString& key, std::int64_t value, QString* error);
    bool clearValues(const QString& camera, QString* error);
    bool setHold(const QString& camera, bool hold, QString* error);

private:
    bool write(const QString& camera, const std::function<void(QSettings&)>& change,
               QString* error);
    QString path_;
};

} // namespace controls
