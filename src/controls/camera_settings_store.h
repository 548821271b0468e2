#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

namespace modIni {
struct IniChange;
}

namespace controls {

// The settings kept for each camera, in Cameras.ini beside the program: one section per camera
// (by the identity the reconnect uses), one line per control the user set (by the control's
// short name, as v4l2-ctl shows it), and whether it is held steady during a run. The file is
// changed in place (Config.ini's writer): the user's comments and order stay.
class CameraSettingsStore {
public:
    using Values = QMap<QString, std::int64_t>;

    explicit CameraSettingsStore(QString path) : path_(std::move(path)) {}

    Values values(const QString& camera) const;
    bool hold(const QString& camera) const;

    // A value kept in memory (values() includes it) until flush() writes all kept at once: a
    // slider moved step by step is written once it rests.
    void stage(const QString& camera, const QString& key, std::int64_t value);
    bool hasStaged() const { return !staged_.isEmpty(); }

    // Each returns false with a reason when the file cannot be written.
    bool flush(QString* error);
    bool setValue(const QString& camera, const QString& key, std::int64_t value, QString* error);
    bool clearValues(const QString& camera, QString* error);
    bool setHold(const QString& camera, bool hold, QString* error);

private:
    bool write(const QList<modIni::IniChange>& changes, QString* error);
    QString path_;
    QMap<QString, Values> staged_; // by camera
};

} // namespace controls
