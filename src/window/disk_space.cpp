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

} // namespace window
