#include "camera_protocol/video_format.h"

#include <gtest/gtest.h>

namespace {

using camera::VideoFormat;

TEST(VideoFormatDefault, VgaAtTheFastestRateUpTo30ElseTheNearestSize) {
    struct Case {
        QList<VideoFormat> formats;
        int expected; // index of the default; -1: none
    };
    const Case cases[] = {
        // A camera listing its slowest rate first: the fastest at or below 30 fps wins.
        {{{"YUY2", 640, 480, 1, 1}, {"YUY2", 640, 480, 25, 1}, {"YUY2", 640, 480, 5, 1}}, 1},
        // Across pixel formats too; of equal rates the camera's first pixel format.
        {{{"YUY2", 640, 480, 5, 1},
          {"MJPG", 640, 480, 60, 1},
          {"MJPG", 640, 480, 30, 1},
          {"NV12", 640, 480, 30, 1}},
         2},
        // Faster than 30 only when nothing slower exists, and then the slowest of those.
        {{{"YUY2", 640, 480, 120, 1}, {"YUY2", 640, 480, 60, 1}}, 1},
        // No 640 x 480: the nearest pixel count (640 x 360 is nearer than 800 x 600).
        {{{"YUY2", 800, 600, 30, 1}, {"YUY2", 640, 360, 30, 1}}, 1},
        // Half and twice as many pixels are as near: the larger one.
        {{{"YUY2", 320, 480, 30, 1}, {"YUY2", 1280, 480, 30, 1}}, 1},
        // 30000/1001 counts as up to 30 fps; a known rate beats none.
        {{{"MJPG", 640, 480, 0, 1}, {"MJPG", 640, 480, 30000, 1001}}, 1},
        {{}, -1},
    };
    for (const Case& c : cases) {
        const int index = camera::defaultFormatIndex(c.formats);
        EXPECT_EQ(index, c.expected)
            << (c.formats.isEmpty() ? "none" : c.formats.first().label().toStdString());
    }
    EXPECT_EQ((VideoFormat{"MJPG", 640, 480, 30000, 1001}.label()), "MJPG  640 x 480  29.97 fps");
}

} // namespace
