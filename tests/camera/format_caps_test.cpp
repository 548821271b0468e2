#include "camera/format_caps.h"
#include "gst/gst_ptr.h"

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

TEST(VideoFormatList, NothingUsableGivesNoFormats) {
    EXPECT_TRUE(formatsOf("ANY").isEmpty());
    EXPECT_TRUE(formatsOf("audio/x-raw, rate=44100").isEmpty());
}

TEST(VideoFormatCaps, FixTheSourceToTheChosenFormat) {
    const VideoFormat raw{"YUY2", 640, 480, 30, 1};
    gst::CapsPtr rawCaps(camera::formatCaps(raw));
    gst::CapsPtr expected(
        gst_caps_from_string("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1"));
    EXPECT_TRUE(gst_caps_is_equal(rawCaps.get(), expected.get()));

    const VideoFormat jpeg{"MJPG", 1280, 720, 0, 1}; // no rate known: none imposed
    gst::CapsPtr jpegCaps(camera::formatCaps(jpeg));
    gst::CapsPtr expectedJpeg(gst_caps_from_string("image/jpeg, width=1280, height=720"));
    EXPECT_TRUE(gst_caps_is_equal(jpegCaps.get(), expectedJpeg.get()));
    EXPECT_EQ(jpeg.label(), "MJPG  1280 x 720");

    // What the list offers, fixed, is accepted by the caps it came from.
    gst::CapsPtr offered(gst_caps_from_string(
        "video/x-raw, format={ YUY2, NV12 }, width=[ 1, 4000 ], height=[ 1, 4000 ], "
        "framerate=[ 0/1, 60/1 ]"));
    for (const VideoFormat& format : camera::formatsFromCaps(offered.get())) {
        gst::CapsPtr fixed(camera::formatCaps(format));
        EXPECT_TRUE(gst_caps_is_subset(fixed.get(), offered.get())) << format.label().toStdString();
    }
}

} // namespace
