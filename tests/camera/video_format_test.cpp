#include "gst/gst_ptr.h"
#include "camera/video_format.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

namespace {

using camera::VideoFormat;

QList<VideoFormat> formatsOf(const char* caps) {
    gst::CapsPtr parsed(gst_caps_from_string(caps));
    EXPECT_TRUE(parsed) << caps;
    return camera::formatsFromCaps(parsed.get());
}

QStringList labels(const QList<VideoFormat>& formats) {
    QStringList list;
    for (const VideoFormat& format : formats)
        list.append(format.label());
    return list;
}

TEST(VideoFormatList, RangesGiveTheCommonSizesWithinThemAndOneFrameRate) {
    // What a test source offers: every size, every rate, dozens of pixel formats.
    const auto formats = formatsOf(
        "video/x-raw, format=(string){ AYUV64, ARGB, BGRx, RGBA, YUY2, I420, NV12, UYVY, Y42B, "
        "GRAY8, GRAY16_LE, v308 }, width=(int)[ 1, 2147483647 ], height=(int)[ 1, 2147483647 ], "
        "framerate=(fraction)[ 0/1, 2147483647/1 ]; "
        "video/x-bayer, format=(string){ bggr, rggb }, width=(int)[ 1, 2147483647 ], "
        "height=(int)[ 1, 2147483647 ], framerate=(fraction)[ 0/1, 2147483647/1 ]");
    QStringList expected;
    for (const char* pixel : {"BGRx", "YUY2", "I420", "NV12"})
        for (const char* size : {"320 x 240", "640 x 480", "1280 x 720", "1920 x 1080"})
            expected.append(QStringLiteral("%1  %2  30 fps").arg(pixel, size));
    EXPECT_EQ(labels(formats), expected);
    EXPECT_EQ(camera::defaultFormatIndex(formats), 1); // BGRx 640 x 480
}

TEST(VideoFormatList, RangesAreRespectedIncludingSteps) {
    EXPECT_EQ(labels(formatsOf("video/x-raw, format=YUY2, width=[ 16, 800 ], height=[ 16, 600 ], "
                               "framerate=[ 1/1, 15/1 ]")),
              (QStringList{"YUY2  320 x 240  15 fps", "YUY2  640 x 480  15 fps"}));
    // Of the common widths only 1920 is a multiple of 96.
    EXPECT_EQ(labels(formatsOf("video/x-raw, format=GRAY8, width=[ 96, 2400, 96 ], "
                               "height=[ 1, 2000 ], framerate=30/1")),
              (QStringList{"GRAY8  1920 x 1080  30 fps"}));
}

TEST(VideoFormatList, CameraListsStayAsTheCameraGivesThem) {
    const auto formats =
        formatsOf("video/x-raw, format=YUY2, width=1280, height=720, framerate={ 10/1, 5/1 }; "
                  "image/jpeg, width=640, height=480, framerate=30000/1001; "
                  "video/x-raw(memory:DMABuf), format=NV12, width=640, height=480, framerate=30/1; "
                  "video/x-raw, format=YUY2, width=1280, height=720, framerate=10/1");
    EXPECT_EQ(labels(formats), (QStringList{"YUY2  1280 x 720  10 fps", "YUY2  1280 x 720  5 fps",
                                            "MJPG  640 x 480  29.97 fps"}));
    EXPECT_EQ(camera::defaultFormatIndex(formats), 2);
    EXPECT_TRUE(formats[2].isJpeg());
}

TEST(VideoFormatDefault, VgaAtTheFastestRateUpTo30ElseTheNearestSize) {
    struct Case {
        const char* caps;
        const char* expected; // label of the default; empty: none
    };
    const Case cases[] = {
        // A camera listing its slowest rate first: the fastest at or below 30 fps wins.
        {"video/x-raw, format=YUY2, width=640, height=480, framerate={ 1/1, 25/1, 5/1 }",
         "YUY2  640 x 480  25 fps"},
        // Across pixel formats too; of equal rates the camera's first pixel format.
        {"video/x-raw, format=YUY2, width=640, height=480, framerate=5/1; "
         "image/jpeg, width=640, height=480, framerate={ 60/1, 30/1 }; "
         "video/x-raw, format=NV12, width=640, height=480, framerate=30/1",
         "MJPG  640 x 480  30 fps"},
        // Faster than 30 only when nothing slower exists, and then the slowest of those.
        {"video/x-raw, format=YUY2, width=640, height=480, framerate={ 120/1, 60/1 }",
         "YUY2  640 x 480  60 fps"},
        // No 640 x 480: the nearest pixel count (640 x 360 is nearer than 800 x 600).
        {"video/x-raw, format=YUY2, width=800, height=600, framerate=30/1; "
         "video/x-raw, format=YUY2, width=640, height=360, framerate=30/1",
         "YUY2  640 x 360  30 fps"},
        // Half and twice as many pixels are as near: the larger one.
        {"video/x-raw, format=YUY2, width=320, height=480, framerate=30/1; "
         "video/x-raw, format=YUY2, width=1280, height=480, framerate=30/1",
         "YUY2  1280 x 480  30 fps"},
        {"audio/x-raw, rate=44100", ""},
    };
    for (const Case& c : cases) {
        const auto formats = formatsOf(c.caps);
        const int index = camera::defaultFormatIndex(formats);
        EXPECT_EQ(index < 0 ? QString() : formats[index].label(), QString::fromUtf8(c.expected))
            << c.caps;
    }
    EXPECT_TRUE(formatsOf("ANY").isEmpty());
}

TEST(VideoFormatCaps, FixTheSourceToTheChosenFormat) {
    const VideoFormat raw{"YUY2", 640, 480, 30, 1};
    gst::CapsPtr rawCaps(raw.toCaps());
    gst::CapsPtr expected(
        gst_caps_from_string("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"));
    EXPECT_TRUE(gst_caps_is_equal(rawCaps.get(), expected.get()));

    const VideoFormat jpeg{"MJPG", 1280, 720, 0, 1}; // no rate known: none imposed
    gst::CapsPtr jpegCaps(jpeg.toCaps());
    gst::CapsPtr expectedJpeg(gst_caps_from_string("image/jpeg, width=1280, height=720"));
    EXPECT_TRUE(gst_caps_is_equal(jpegCaps.get(), expectedJpeg.get()));
    EXPECT_EQ(jpeg.label(), "MJPG  1280 x 720");

    // What the list offers, fixed, is accepted by the caps it came from.
    gst::CapsPtr offered(gst_caps_from_string(
        "video/x-raw, format={ YUY2, NV12 }, width=[ 1, 4000 ], height=[ 1, 4000 ], "
        "framerate=[ 0/1, 60/1 ]"));
    for (const VideoFormat& format : camera::formatsFromCaps(offered.get())) {
        gst::CapsPtr fixed(format.toCaps());
        EXPECT_TRUE(gst_caps_is_subset(fixed.get(), offered.get())) << format.label().toStdString();
    }
}

} // namespace
