#include "camera_protocol/video_format.h"

#include <cmath>

namespace camera {

namespace {

constexpr int preferredFps = 30;

// How far a size is from 640 x 480, by pixel count on a log scale: half as many pixels is as far
// as twice as many.
double distanceFromVga(const VideoFormat& format) {
    return std::abs(std::log(double(format.width) * format.height / (640.0 * 480.0)));
}

// Higher is better: the fastest rate up to 30 fps, then the slowest above it, then no known rate.
double rateScore(const VideoFormat& format) {
    if (format.fpsNumerator <= 0 || format.fpsDenominator <= 0) return -1e9;
    const double fps = double(format.fpsNumerator) / format.fpsDenominator;
    return fps <= preferredFps + 0.01 ? 1e6 + fps : -fps;
}

} // namespace

QString VideoFormat::label() const {
    QString text = QStringLiteral("%1  %2 x %3").arg(pixelFormat).arg(width).arg(height);
    if (fpsNumerator > 0) {
        if (fpsDenominator == 1)
            text += QStringLiteral("  %1 fps").arg(fpsNumerator);
        else
            text +=
                QStringLiteral("  %1 fps").arg(double(fpsNumerator) / fpsDenominator, 0, 'f', 2);
    }
    return text;
}

int defaultFormatIndex(const QList<VideoFormat>& formats) {
    int best = -1;
    for (qsizetype i = 0; i < formats.size(); ++i) {
        if (best < 0) {
            best = int(i);
            continue;
        }
        const VideoFormat& candidate = formats[i];
        const VideoFormat& chosen = formats[best];
        const double nearer = distanceFromVga(chosen) - distanceFromVga(candidate);
        if (nearer > 1e-9) {
            best = int(i);
        } else if (nearer > -1e-9) {
            // Equally near: the larger size, then the better rate; else the camera's own order.
            const qint64 candidateArea = qint64(candidate.width) * candidate.height;
            const qint64 chosenArea = qint64(chosen.width) * chosen.height;
            if (candidateArea > chosenArea ||
                (candidateArea == chosenArea && rateScore(candidate) > rateScore(chosen)))
                best = int(i);
        }
    }
    return best;
}

} // namespace camera
