#include "camera/vanished_devices.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <unistd.h>

namespace camera {

int releaseVanishedDevices() {
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    int released = 0;
    int null = -1;
    for (const QString& name :
         descriptors.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(name));
        // A removed device node reads as "/dev/video0 (deleted)".
        if (!target.startsWith(QLatin1String("/dev/video")) ||
            !target.endsWith(QLatin1String(" (deleted)")))
            continue;
        bool number = false;
        const int fd = name.toInt(&number);
        if (!number) continue;
        if (null < 0) null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null < 0) break;
        if (::dup3(null, fd, O_CLOEXEC) == fd) ++released;
    }
    if (null >= 0) ::close(null);
    return released;
}

} // namespace camera
