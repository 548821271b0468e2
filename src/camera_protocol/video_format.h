#pragma once

#include <QList>
#include <QString>

namespace camera {

// No camera gives pictures with a side longer than this; anything said to be larger is damaged.
inline constexpr qint64 MaxPictureSide = 16384;

// One way the camera can deliver pictures: what the user picks in the format dialog.
struct VideoFormat {
    QString pixelFormat; // "YUY2", "BGRx", ... or "MJPG" for motion JPEG
    int width = 0;
    int height = 0;
    int fpsNumerator = 0; // 0: the source gives no frame rate
    int fpsDenominator = 1;

    bool isJpeg() const { return pixelFormat == QLatin1String("MJPG"); }

    // "YUY2  640 x 480  30 fps", as listed in the dialog.
    QString label() const;

    friend bool operator==(const VideoFormat&, const VideoFormat&) = default;
};

// The format selected when the camera connects: 640 x 480, or else the size nearest to it by
// pixel count (on a log scale, ties to the larger), at the fastest rate up to 30 fps that size
// offers (faster only when nothing at or below 30 fps exists). -1 for an empty list.
int defaultFormatIndex(const QList<VideoFormat>& formats);

} // namespace camera
