#include "window/disk_space.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

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

std::int64_t bmpFileBytes(QSize size) {
    if (size.isEmpty()) return 0;
    const std::int64_t row = (std::int64_t(size.width()) * 3 + 3) / 4 * 4;
    return 14 + 40 + row * size.height();
}

} // namespace window
