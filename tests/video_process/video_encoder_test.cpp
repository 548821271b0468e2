// Videos made from real runs by the video process's encoder, checked by decoding them again.
#include "pictures/bmp_writer.h"
#include "pictures/picture_encoder.h"
#include "video/run_list.h"
#include "video_process/video_encoder.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>
#include <optional>

namespace {

using video_process::VideoEncoder;
using video_process::VideoResult;

struct Decoded {
    QMap<QString, QString> stream; // what ffprobe says of the video stream
    int frames = 0;
    std::vector<int> greys;         // the mean grey of each frame's top quarter
    QStringList topLevelBoxes;      // the MP4 file's boxes, in order
    quint32 declaredMaxBitrate = 0; // the maximum bitrate in the 'btrt' box; 0: none declared
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

// The 'btrt' box (buffer size, maximum and average bitrate) of the video's sample description.
quint32 declaredMaxBitrate(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = file.readAll();
    const qsizetype at = bytes.indexOf("btrt");
    if (at < 0 || at + 16 > bytes.size()) return 0;
    return qFromBigEndian<quint32>(bytes.constData() + at + 8);
}

QByteArray output(const QString& program, const QStringList& arguments, QString* error) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = program + QStringLiteral(": ") + process.errorString() +
                 QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return process.readAllStandardOutput();
}

// Reads the video as a player would, with a decoder other than ours: the stream's description,
// and every frame in grey.
Decoded decode(const QString& path) {
    Decoded result;
    result.topLevelBoxes = boxesOf(path);
    result.declaredMaxBitrate = declaredMaxBitrate(path);
    const QByteArray probe =
        output(QStringLiteral("ffprobe"),
               {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                "stream=codec_name,pix_fmt,color_range,width,height,nb_read_frames,duration", "-of",
                "default=noprint_wrappers=1", path},
               &result.error);
    for (const QByteArray& line : probe.split('\n'))
        if (const int equals = line.indexOf('='); equals > 0)
            result.stream.insert(QString::fromUtf8(line.left(equals)),
                                 QString::fromUtf8(line.mid(equals + 1)).trimmed());
    const int width = result.stream.value("width").toInt();
    const int height = result.stream.value("height").toInt();
    if (!result.error.isEmpty() || width <= 0 || height <= 0) return result;
    const QByteArray grey = output(
        QStringLiteral("ffmpeg"),
        {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "gray", "-"}, &result.error);
    const qsizetype frameBytes = qsizetype(width) * height;
    result.frames = int(grey.size() / frameBytes);
    for (int f = 0; f < result.frames; ++f) {
        const auto* pixels = reinterpret_cast<const uchar*>(grey.constData()) + f * frameBytes;
        qint64 sum = 0;
        for (int i = 0; i < width * (height / 4); ++i)
            sum += pixels[i];
        result.greys.push_back(int(sum / (qint64(width) * (height / 4))));
    }
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
        // In the format the extension names, as the program saves it.
        pictures::PictureOptions options;
        options.format = *pictures::formatNamed(path.endsWith(".jpg") ? "JPEG" : path.right(3));
        QByteArray bytes;
        QString error;
        ASSERT_TRUE(pictures::PictureEncoder().encode(image, QDateTime(), options, &bytes, &error))
            << error.toStdString();
        ASSERT_TRUE(camera::saveFileAtomically(bytes, path, &error)) << error.toStdString();
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
    // As the window gives the job: the run scanned, the temporary file reserved.
    bool make(const QString& run, int fps, QString* error) {
        const QString dir = pictures.filePath(run);
        const video::RunPictures scan = video::scanRun(dir);
        video_process::VideoJob job{
            dir, scan.pictures, scan.foreign, dir + QStringLiteral(".mp4"), QString(), fps, {}};
        return video_process::reserveTemporaryVideo(&job, error) && encoder.start(job, error);
    }
};

// One frame per picture in number order (10 after 5), upright, the gap and the foreign and
// damaged files skipped, a picture of another size (odd) scaled to the first one's, the length
// frames / fps, an MP4 a player can start at once that declares no made-up bitrate, and nothing
// else left beside it.
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
    EXPECT_EQ(video.stream.value("codec_name"), "h264");
    EXPECT_EQ(video.stream.value("pix_fmt"), "yuv420p");
    EXPECT_EQ(video.stream.value("color_range"), "tv"); // limited range
    EXPECT_EQ(video.stream.value("width"), "64");
    EXPECT_EQ(video.stream.value("height"), "48");
    EXPECT_EQ(video.stream.value("nb_read_frames"), "5");
    EXPECT_EQ(video.stream.value("duration").toDouble(), 1.0);
    ASSERT_EQ(video.frames, 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(video.greys[i], 20 + 50 * i, 4) << "frame " << i;
    // The encoder's bitrate setting is no maximum of a constant-quality video.
    EXPECT_EQ(video.declaredMaxBitrate, 0u);
    EXPECT_EQ(video.topLevelBoxes.value(0), "ftyp");
    EXPECT_LT(video.topLevelBoxes.indexOf("moov"), video.topLevelBoxes.indexOf("mdat"));
    EXPECT_EQ(picturesFolder(), QStringList({"06Dec2026-074039", "06Dec2026-074039.mp4"}));
}

// PNG and JPEG runs, and runs that mix them with BMP, are read in number order; a PNG or JPEG
// cut short is skipped as a BMP is.
TEST_F(VideoTest, ReadsPngAndJpegPicturesAndMixedRuns) {
    const QString dir = runDir(QStringLiteral("mixed"));
    const char* names[] = {"Picture 1.png", "Picture 2.jpg", "Picture 3.bmp",
                           "Picture 4.jpg", "Picture 5.png", "Picture 10.jpg"};
    for (int i = 0; i < 6; ++i)
        writeGrey(dir + '/' + names[i], QSize(64, 48), 20 + 40 * i);
    for (const char* damaged : {"Picture 4.jpg", "Picture 5.png"}) {
        QFile file(dir + '/' + damaged);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.resize(file.size() - 40); // the end of the pixels is missing
    }
    QString error;
    ASSERT_TRUE(make(QStringLiteral("mixed"), 4, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 60000));
    ASSERT_TRUE(result->ok) << result->error.toStdString();
    EXPECT_EQ(result->skipped, 2);
    const Decoded video = decode(dir + QStringLiteral(".mp4"));
    ASSERT_EQ(video.frames, 4) << video.error.toStdString();
    const int expected[] = {20, 60, 100, 220};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(video.greys[i], expected[i], 4) << "frame " << i;
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
