#include "camera/v4l2_nodes.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace camera {

namespace {

QString fixedText(const __u8* text, std::size_t size) {
    const auto* begin = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(begin, qsizetype(strnlen(begin, size)));
}

} // namespace

std::optional<V4l2Node> queryCaptureNode(const QString& path) {
    // Opening a node for its capabilities neither claims nor disturbs the camera: another
    // program streaming from it goes on.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    v4l2_capability caps{};
    int result;
    do {
        result = ::ioctl(fd, VIDIOC_QUERYCAP, &caps);
    } while (result < 0 && errno == EINTR);
    ::close(fd);
    if (result < 0) return std::nullopt;
    const __u32 nodeCaps =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    if (!(nodeCaps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))) return std::nullopt;
    return V4l2Node{path, fixedText(caps.card, sizeof caps.card),
                    fixedText(caps.bus_info, sizeof caps.bus_info)};
}

QList<V4l2Node> listCaptureNodes(const QString& devDir) {
    QStringList names = QDir(devDir).entryList({QStringLiteral("video*")}, QDir::System);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&numeric](const QString& a, const QString& b) { return numeric.compare(a, b) < 0; });
    QList<V4l2Node> nodes;
    for (const QString& name : names)
        if (auto node = queryCaptureNode(devDir + QLatin1Char('/') + name)) nodes.append(*node);
    return nodes;
}

} // namespace camera
