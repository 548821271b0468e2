#include "window/disk_space.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <cmath>

namespace window {

std::int64_t freeBytesAt(const QString& path) {
    QFileInfo info(path);
    // Walk up to a folder that exists: the run folder or even the pictures folder may not yet.
    for (int depth = 0; !info.exists() && depth < 64; ++depth) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath()) break;
        info = QFileInfo(parent);
    }
    const QStorageInfo storage(info.absoluteFilePath());
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

QString diskFullText(std::int64_t freeBytes, std::int64_t pictureBytes,
                     std::int64_t intervalSeconds) {
    if (freeBytes < 0 || pictureBytes <= 0) return QStringLiteral("unknown");
    if (intervalSeconds <= 0) return QStringLiteral("never (no timed pictures)");
    const double pictures =
        double(std::max<std::int64_t>(0, freeBytes / pictureBytes - ReservePictures));
    const double hours = pictures * double(intervalSeconds) / 3600.0;
    if (hours >= 365 * 24) return QStringLiteral("more than a year");
    const auto about = [](double amount, const char* one, const char* many) {
        const auto whole = std::int64_t(std::llround(amount));
        return whole == 1 ? QStringLiteral("about 1 %1").arg(QLatin1String(one))
                          : QStringLiteral("about %1 %2").arg(whole).arg(QLatin1String(many));
    };
    if (hours >= 24) return about(hours / 24, "day", "days");
    if (hours >= 1) return about(hours, "hour", "hours");
    return QStringLiteral("less than an hour");
}

} // namespace window
