// Videos made from real runs, checked by decoding them again.
#include "camera/bmp_writer.h"
#include "camera/gst_ptr.h"
#include "video/video_encoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

using video::VideoEncoder;
using video::VideoResult;

struct Decoded {
    int frames = 0;
    QSize size;
    std::vector<int> greys;    // the mean luma of each frame's top quarter
    GstClockTime length = 0;   // from the start of the first frame to the end of the last
    QStringList topLevelBoxes; // the MP4 file's boxes, in order
    QString error;
};

QStringList boxesOf(const QString& path) {
    QFile file(path);
    QStringList boxes;
    if (!file.open(QIODevice::ReadOnly)) return boxes;
    while (!file.atEnd()) {
        const QByteArray header = file.read(8);
        if (header.size() < 8) break;
        const quint32 size = quint32(uchar(header[0])) << 24 | quint32(uchar(header[1])) << 16 |
                             quint32(uchar(header[2])) << 8 | quint32(uchar(header[3]));
        boxes << QString::fromLatin1(header.mid(4, 4));
        if (size < 8 || !file.seek(file.pos() - 8 + size)) break;
    }
    return boxes;
}

// Decodes with the demuxer and decoder a player would use, into grey levels.
Decoded decode(const QString& path) {
    Decoded result;
    result.topLevelBoxes = boxesOf(path);
    GError* raw = nullptr;
    camera::ElementPtr pipeline = camera::adoptElement(gst_parse_launch(
        QStringLiteral("filesrc location=\"%1\" ! qtdemux ! avdec_h264 ! videoconvert ! "
                       "video/x-raw,format=GRAY8 ! appsink name=sink sync=false")
            .arg(path)
            .toUtf8()
            .constData(),
        &raw));
    camera::ErrorPtr error(raw);
    if (!pipeline) {
        result.error = QString::fromUtf8(error ? error->message : "no pipeline");
        return result;
    }
    camera::ElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstClockTime start = 0;
    while (GstSample* raw =
               gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), 10 * GST_SECOND)) {
        camera::SamplePtr sample = camera::adoptSample(raw);
        GstBuffer* buffer = gst_sample_get_buffer(sample.get());
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get()));
        const int width = GST_VIDEO_INFO_WIDTH(&info), height = GST_VIDEO_INFO_HEIGHT(&info);
        result.size = QSize(width, height);
        GstVideoFrame frame;
        gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ);
        const auto* pixels = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
        qint64 sum = 0;
        for (int y = 0; y < height / 4; ++y)
            for (int x = 0; x < width; ++x)
                sum += pixels[y * stride + x];
        gst_video_frame_unmap(&frame);
        result.greys.push_back(int(sum / (qint64(width) * (height / 4))));
        if (result.frames++ == 0) start = GST_BUFFER_PTS(buffer);
        result.length = GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer) - start;
    }
    camera::BusPtr bus(gst_element_get_bus(pipeline.get()));
    camera::MessagePtr message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (message) result.error = QStringLiteral("decoding failed");
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return result;
}

class VideoTest : public ::testing::Test {
protected:
    QTemporaryDir pictures;
    VideoEncoder encoder;
    std::optional<VideoResult> result;
    int progressSeen = 0;

    void SetUp() override {
        ASSERT_TRUE(pictures.isValid());
        QObject::connect(&encoder, &VideoEncoder::finished,
                         [this](const VideoResult& r) { result = r; });
        QObject::connect(&encoder, &VideoEncoder::progress, [this](int, int) { ++progressSeen; });
    }

    QString runDir(const QString& run) {
        QDir(pictures.path()).mkpath(run);
        return pictures.filePath(run);
    }
    // A picture of one grey level with a black lower half, so a frame upside down shows.
    static void writeGrey(const QString& path, QSize size, int level) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(qRgb(level, level, level));
        for (int y = size.height() / 2; y < size.height(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(y)), size.width(), qRgb(0, 0, 0));
        QString error;
        ASSERT_TRUE(camera::writeBmp(image, path, &error)) << error.toStdString();
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QStringList picturesFolder() const {
        return QDir(pictures.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    bool make(const QString& run, int fps, QString* error) {
        const QString dir = pictures.filePath(run);
        return encoder.start(dir, dir + QStringLiteral(".mp4"), fps, error);
    }
};

// One frame per picture in number order (10 after 5), upright, the gap and the foreign and
// damaged files skipped, a picture of another size (odd) scaled to the first one's, the length
// frames / fps, an MP4 a player can start at once, and nothing else left beside it.
TEST_F(VideoTest, MakesAPlayableVideoOfTheRunsPicturesInNumberOrder) {
    const QString dir = runDir(QStringLiteral("06Dec2026-074039"));
    const int numbers[] = {1, 2, 3, 5, 10}; // 4 and 6 to 9 could not be saved
    for (int i = 0; i < 5; ++i)
        writeGrey(dir + QStringLiteral("/Picture %1.bmp").arg(numbers[i]),
                  i == 1 ? QSize(65, 49) : QSize(64, 48), 20 + 50 * i);
    writeFile(dir + QStringLiteral("/Picture 7.bmp"), "BM not a picture");
    writeFile(dir + QStringLiteral("/notes.txt"), "a foreign file");

    QString error;
    ASSERT_TRUE(make(QStringLiteral("06Dec2026-074039"), 5, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 60000));
    ASSERT_TRUE(result->ok) << result->error.toStdString();
    EXPECT_EQ(result->frames, 5);
    EXPECT_EQ(result->skipped, 2);
    EXPECT_EQ(result->firstSkipped, "notes.txt");
    EXPECT_GT(progressSeen, 0);

    const Decoded video = decode(dir + QStringLiteral(".mp4"));
    ASSERT_TRUE(video.error.isEmpty()) << video.error.toStdString();
    EXPECT_EQ(video.frames, 5);
    EXPECT_EQ(video.size, QSize(64, 48));
    ASSERT_EQ(video.greys.size(), 5u);
    // The luma as coded (GRAY8 takes it as it is): limited range, black 16 and white 235.
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(video.greys[i], 16 + (20 + 50 * i) * 219 / 255, 3) << "frame " << i;
    EXPECT_EQ(video.length, GST_SECOND);
    EXPECT_EQ(video.topLevelBoxes.value(0), "ftyp");
    EXPECT_LT(video.topLevelBoxes.indexOf("moov"), video.topLevelBoxes.indexOf("mdat"));
    EXPECT_EQ(picturesFolder(), QStringList({"06Dec2026-074039", "06Dec2026-074039.mp4"}));
}

// A cancelled video leaves neither a video nor a temporary file, and the old video stays.
TEST_F(VideoTest, CancelLeavesTheOldVideoAndNothingElse) {
    const QString dir = runDir(QStringLiteral("run"));
    writeGrey(dir + QStringLiteral("/Picture 1.bmp"), QSize(640, 480), 100);
    for (int i = 2; i <= 300; ++i)
        ASSERT_EQ(
            ::link(QFile::encodeName(dir + "/Picture 1.bmp").constData(),
                   QFile::encodeName(dir + QStringLiteral("/Picture %1.bmp").arg(i)).constData()),
            0);
    writeFile(dir + QStringLiteral(".mp4"), "the old video");

    QString error;
    ASSERT_TRUE(make(QStringLiteral("run"), 25, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return progressSeen > 0; }, 30000));
    EXPECT_GT(picturesFolder().size(), 2); // the video is being written beside the run
    encoder.cancel();
    EXPECT_FALSE(encoder.busy());
    QTest::qWait(300);
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(picturesFolder(), QStringList({"run", "run.mp4"}));
    QFile old(dir + QStringLiteral(".mp4"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old video");
}

// No pictures, or none that can be read: an error that says so, and nothing written.
TEST_F(VideoTest, AFolderWithoutReadablePicturesIsAnError) {
    writeFile(runDir(QStringLiteral("empty")) + QStringLiteral("/notes.txt"), "no pictures");
    QString error;
    EXPECT_FALSE(make(QStringLiteral("empty"), 25, &error));
    EXPECT_EQ(error, "There are no readable pictures in \"empty\".");

    writeFile(runDir(QStringLiteral("damaged")) + QStringLiteral("/Picture 1.bmp"), "BM");
    ASSERT_TRUE(make(QStringLiteral("damaged"), 25, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 30000));
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(result->error, "There are no readable pictures in \"damaged\".");
    EXPECT_EQ(picturesFolder(), QStringList({"damaged", "empty"}));
}

// Without the H.264 encoder the message names the package that brings it.
TEST_F(VideoTest, AMissingEncoderNamesItsPackage) {
    writeGrey(runDir(QStringLiteral("run")) + QStringLiteral("/Picture 1.bmp"), QSize(64, 48), 0);
    GstRegistry* registry = gst_registry_get();
    GstPluginFeature* x264 = gst_registry_lookup_feature(registry, "x264enc");
    ASSERT_NE(x264, nullptr);
    gst_registry_remove_feature(registry, x264);
    QString error;
    const bool started = make(QStringLiteral("run"), 25, &error);
    gst_registry_add_feature(registry, x264);
    gst_object_unref(x264);
    EXPECT_FALSE(started);
    EXPECT_TRUE(error.contains("x264enc") && error.contains("gstreamer1.0-plugins-ugly"))
        << error.toStdString();
    EXPECT_EQ(picturesFolder(), QStringList({"run"}));
}

} // namespace
