#include "bmp_file.h"
#include "pictures/bmp_writer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A picture whose every pixel differs, 7 wide so that each row needs padding (21 -> 24 bytes).
QImage gradient(QImage::Format format) {
    QImage image(7, 3, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 30, y * 80, 200 - x));
    return image;
}

class BmpWriterTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(BmpWriterTest, WritesA24BitBottomUpBitmapWithPaddedRows) {
    const QImage image = gradient(QImage::Format_RGB32);
    QString error;
    ASSERT_TRUE(camera::writeBmp(image, path("a.bmp"), &error)) << error.toStdString();

    const BmpFile bmp(readAll(path("a.bmp")));
    ASSERT_GE(bmp.size(), 54);
    EXPECT_EQ(bmp.magic(), QByteArray("BM"));
    EXPECT_EQ(bmp.u32(2), 54u + 24u * 3u); // the file size the header gives
    EXPECT_EQ(bmp.size(), 54 + 24 * 3);
    EXPECT_EQ(bmp.u32(10), 54u); // pixels right after the two headers
    EXPECT_EQ(bmp.u32(14), 40u); // BITMAPINFOHEADER
    EXPECT_EQ(bmp.width(), 7);
    EXPECT_EQ(bmp.height(), 3); // positive: bottom-up
    EXPECT_EQ(bmp.u16(26), 1u); // planes
    EXPECT_EQ(bmp.u16(28), 24u);
    EXPECT_EQ(bmp.u32(30), 0u); // no compression
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(bmp.pixel(x, y), image.pixelColor(x, y)) << x << "," << y;
}

// Qt's own BMP writer is the reference: our encoder must give the same bytes, for sizes that
// need every amount of row padding and for pictures larger than one write block.
TEST_F(BmpWriterTest, BytesMatchQtsEncoderForEveryPadding) {
    for (const QSize size :
         {QSize(1, 1), QSize(2, 5), QSize(3, 2), QSize(4, 4), QSize(6, 2), QSize(7, 3), QSize(8, 2),
          QSize(13, 3), QSize(641, 481), QSize(1920, 1080)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                line[x] = qRgb((x * 7 + y) & 255, (y * 13) & 255, (x ^ y) & 255);
        }
        QString error;
        ASSERT_TRUE(camera::writeBmp(image, path("ours.bmp"), &error)) << error.toStdString();
        ASSERT_TRUE(image.save(path("qt.bmp"), "BMP"));
        const QByteArray ours = readAll(path("ours.bmp"));
        const QByteArray qt = readAll(path("qt.bmp"));
        ASSERT_EQ(ours.size(), qt.size());
        EXPECT_TRUE(ours == qt);
        EXPECT_EQ(camera::bmpFileBytes(size), ours.size()); // what the disk checks count on
    }
}

TEST_F(BmpWriterTest, AlphaAndIndexedPicturesAlsoBecome24Bit) {
    QImage indexed = gradient(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
    for (const QImage& image : {gradient(QImage::Format_ARGB32), indexed}) {
        QString error;
        ASSERT_TRUE(camera::writeBmp(image, path("b.bmp"), &error)) << error.toStdString();
        const BmpFile bmp(readAll(path("b.bmp")));
        EXPECT_EQ(bmp.u16(28), 24u);
        EXPECT_EQ(bmp.u32(10), 54u);
        EXPECT_EQ(bmp.pixel(6, 0), image.pixelColor(6, 0));
    }
}

TEST_F(BmpWriterTest, ReplacesAnExistingFileWhole) {
    QFile old(path("c.bmp"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    QString error;
    ASSERT_TRUE(camera::writeBmp(gradient(QImage::Format_RGB32), path("c.bmp"), &error));
    EXPECT_EQ(QFileInfo(path("c.bmp")).size(), 54 + 24 * 3);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"c.bmp"});
}

TEST_F(BmpWriterTest, MissingFolderFailsWithReasonAndLeavesNothing) {
    const QString missing = path("no-such-folder/d.bmp");
    QString error;
    EXPECT_FALSE(camera::writeBmp(gradient(QImage::Format_RGB32), missing, &error));
    EXPECT_TRUE(error.contains("No such directory")) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(BmpWriterTest, UnwritableTargetFailsAndLeavesNoTemporaryFile) {
    // A folder where the file should go: cannot be replaced by a file, even by root.
    ASSERT_TRUE(QDir(dir.path()).mkdir("e.bmp"));
    QString error;
    EXPECT_FALSE(camera::writeBmp(gradient(QImage::Format_RGB32), path("e.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(path("e.bmp")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"e.bmp"});
}

TEST_F(BmpWriterTest, NullPictureIsRefused) {
    QString error;
    EXPECT_FALSE(camera::writeBmp(QImage(), path("f.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path("f.bmp")));
}

} // namespace
