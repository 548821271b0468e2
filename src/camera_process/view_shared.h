#pragma once

// What the files of the camera view share: its log category and the words for a camera process
// that went.
#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(cameraLog)

namespace camera_process::view {

inline const QString ProcessEnded = QStringLiteral("The camera process ended unexpectedly");
inline const QString ProcessHangs = QStringLiteral("The camera process does not answer");

inline bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

} // namespace camera_process::view
