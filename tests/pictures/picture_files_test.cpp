// The files the save queue writes, read back by decoders and readers that are not ours.
#include "pictures/bmp_writer.h"
#include "pictures/save_queue.h"
#include "pictures/time_stamp.h"

#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

using pictures::PictureFormat;

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        ADD_FAILURE() << qPrintable(program) << ": "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput();
}

// The pixels of a picture file as ffmpeg decodes them, 24-bit RGB rows.
QByteArray decoded(const QString& path) {
    return run(QStringLiteral("ffmpeg"),
               {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
}

// A still frame with smooth shading, hard edges and text, as a camera might see a scene.
QImage stillFrame(QSize size) {
    QImage frame(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            frame.setPixel(x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), 96));
    QPainter painter(&frame);
    painter.setBrush(QColor(230, 40, 40));
    painter.drawEllipse(QRect(QPoint(20, 20), size / 3));
    painter.setPen(Qt::white);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Lumivex"));
    return frame;
}

class PictureFilesTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    pictures::SaveQueue queue{camera::saveFileAtomically};
    // 07:40:39.250 in Central Europe, an hour ahead of UTC in December.
    const QDateTime captured = QDateTime(QDate(2026, 12, 6), QTime(6, 40, 39, 250), Qt::UTC);

    void SetUp() override {
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        tzset();
    }
    void TearDown() override {
        qunsetenv("TZ");
        tzset();
    }

    // Saves `frame` through the queue as the window does; the file's path.
    QString save(const QImage& frame, PictureFormat format, bool stamp = false) {
        pictures::PictureOptions options;
        options.format = format;
        options.timeStamp = stamp;
        const QString path =
            dir.filePath(QStringLiteral("Picture 1.%1").arg(pictures::formatExtension(format)));
        EXPECT_TRUE(queue.add({1, path, frame, captured, options}));
        EXPECT_TRUE(queue.waitUntilIdle(std::chrono::seconds(10)));
        for (const auto& result : queue.takeResults())
            EXPECT_TRUE(result.ok) << result.error.toStdString();
        return path;
    }
};

// BMP stays byte for byte what the camera view writes; PNG is the same pixels; JPEG at the
// default quality 90 is close to them (peak signal to noise above 35 dB).
TEST_F(PictureFilesTest, EachFormatHoldsTheFrame) {
    const QImage frame = stillFrame(QSize(320, 240));
    QFile bmp(save(frame, PictureFormat::Bmp));
    ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
    QByteArray expected;
    camera::encodeBmp(frame, &expected);
    EXPECT_TRUE(bmp.readAll() == expected);

    const QByteArray pixels = decoded(bmp.fileName());
    ASSERT_EQ(pixels.size(), 320 * 240 * 3);
    EXPECT_TRUE(decoded(save(frame, PictureFormat::Png)) == pixels);

    const QByteArray jpeg = decoded(save(frame, PictureFormat::Jpeg));
    ASSERT_EQ(jpeg.size(), pixels.size());
    double squares = 0;
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        const double d = double(uchar(jpeg[i])) - double(uchar(pixels[i]));
        squares += d * d;
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / double(pixels.size())));
    EXPECT_GT(psnr, 35.0);
}

// The moment of capture, not of the save: EXIF in local time with its offset, PNG's tIME in UTC,
// as an independent reader reads them.
TEST_F(PictureFilesTest, TheFileSaysWhenTheFrameWasCaptured) {
    const QImage frame = stillFrame(QSize(64, 48));
    const QByteArray exif = run(QStringLiteral("exiftool"),
                                {"-s", "-s", "-s", "-EXIF:DateTimeOriginal",
                                 "-EXIF:OffsetTimeOriginal", save(frame, PictureFormat::Jpeg)});
    EXPECT_EQ(exif, "2026:12:06 07:40:39\n+01:00\n");
    const QByteArray time = run(QStringLiteral("exiftool"), {"-s", "-s", "-s", "-PNG:ModifyDate",
                                                             save(frame, PictureFormat::Png)});
    EXPECT_EQ(time, "2026:12:06 06:40:39\n");
    EXPECT_EQ(pictures::stampText(captured, pictures::DefaultTimeStampFormat),
              "2026-12-06 07:40:39");
}

// The stamp lies in the bottom-right corner, about 1/24 of the height (12 pixels at least), and
// the frame itself, which the preview shows, stays clean.
TEST_F(PictureFilesTest, TheStampSitsBottomRightAndLeavesTheFrameAlone) {
    for (const QSize size : {QSize(1920, 1080), QSize(160, 120)}) {
        SCOPED_TRACE(size.height());
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(qRgb(128, 128, 128));
        const QImage before = frame.copy();
        const QImage picture = pictures::stamped(frame, QStringLiteral("2026-12-06 07:40:39"));
        EXPECT_TRUE(frame == before);
        QRect changed;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (picture.pixel(x, y) != frame.pixel(x, y)) changed |= QRect(x, y, 1, 1);
        const int text = std::max(12, size.height() / 24);
        EXPECT_GT(changed.right(), size.width() - text);
        EXPECT_GT(changed.bottom(), size.height() - text / 2);
        EXPECT_GE(changed.height(), text);
        EXPECT_LE(changed.height(), 2 * text);
    }
}

} // namespace
