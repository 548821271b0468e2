// Pictures: the format and stamp chosen in the window or in Config.ini, saving beside the
// window, and how long the disk holds the pictures.
#include "form_fixture.h"
#include "window/load_and_wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSemaphore>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::int64_t Picture640 = 54 + 640 * 3 * 480; // a BMP of the fake camera's size

// A file this process cannot write, even as root: a read-only bind mount of the file on itself
// (as root), or no write permission (otherwise).
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path) : path_(QFile::encodeName(path)) {
        if (geteuid() != 0) {
            ok_ = ::chmod(path_.constData(), 0444) == 0;
            return;
        }
        mounted_ = ::mount(path_.constData(), path_.constData(), nullptr, MS_BIND, nullptr) == 0;
        ok_ = mounted_ && ::mount(nullptr, path_.constData(), nullptr,
                                  MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFile() {
        if (mounted_) ::umount(path_.constData());
    }
    bool ok() const { return ok_; }

private:
    QByteArray path_;
    bool mounted_ = false, ok_ = false;
};

class PicturesTest : public FormTest {
protected:
    QByteArray config() const {
        QFile file(programFolder.filePath(QStringLiteral("Config.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString lastMessage() const {
        return messages.shown.empty() ? QString() : messages.shown.back().text;
    }
    void takeOnePicture(window::Form1& f) {
        f.cmdStart->click();
        f.cmdTakePic->click();
        f.cmdStop->click();
    }
};

// A choice holds for the next picture at once, and is written back into its own line of
// Config.ini (added to MAIN when missing); every other byte of the file stays.
TEST_F(PicturesTest, AChoiceIsUsedAndWrittenBackInItsLineOnly) {
    writeConfig("; my camera\r\n[MAIN]\r\nWidth=640\r\nHeight=480\r\npictureformat = BMP\r\n"
                "Framerate=33\r\n\r\n[OTHER]\r\nTimeStamp=0\r\n");
    auto& f = loadedForm();
    f.cboSaveAs->setCurrentText(QStringLiteral("JPEG"));
    f.chkTimeStamp->click();
    takeOnePicture(f);
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.jpg"}));
    EXPECT_EQ(config().toStdString(),
              "; my camera\r\n[MAIN]\r\nWidth=640\r\nHeight=480\r\npictureformat = JPEG\r\n"
              "Framerate=33\r\nTimeStamp=1\r\n\r\n[OTHER]\r\nTimeStamp=0\r\n");
}

// When Config.ini cannot be written, the choice holds for the session all the same, the window
// says so once, and the file stays as it was.
TEST_F(PicturesTest, AnUnwritableConfigKeepsTheChoiceForTheSession) {
    const ReadOnlyFile readOnly(programFolder.filePath(QStringLiteral("Config.ini")));
    if (!readOnly.ok()) GTEST_SKIP() << "cannot make Config.ini read-only here";
    auto& f = loadedForm();
    const QByteArray before = config();
    f.cboSaveAs->setCurrentText(QStringLiteral("PNG"));
    f.chkTimeStamp->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              QStringLiteral("Your choice holds until the program ends, but it cannot be kept for "
                             "the next start.\r\n%1 cannot be written: it is read-only.")
                  .arg(QDir::toNativeSeparators(programFolder.filePath("Config.ini"))));
    takeOnePicture(f);
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.png"}));
    EXPECT_EQ(config(), before);
}

// A bad value is named with what is allowed, the default is used, and the file is not
// rewritten.
TEST_F(PicturesTest, BadValuesAreNamedAndTheDefaultsUsed) {
    const QByteArray file = "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\n"
                            "PictureFormat=GIF\r\nJpegQuality=0\r\nTimeStamp=yes\r\n"
                            "TimeStampFormat=\r\nFrozenAfter=-1\r\n";
    writeConfig(file);
    auto& f = makeForm();
    ASSERT_TRUE(window::loadAndWait(f));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "PictureFormat=GIF is not allowed in Config.ini: it must be BMP, PNG or JPEG. BMP "
              "is used.\r\n"
              "JpegQuality=0 is not allowed in Config.ini: it must be a whole number from 1 to "
              "100. 90 is used.\r\n"
              "TimeStamp=yes is not allowed in Config.ini: it must be 0 (off) or 1 (on). 0 is "
              "used.\r\n"
              "TimeStampFormat= is not allowed in Config.ini: it must be a Qt date-time format "
              "giving one line of up to 80 characters. yyyy-MM-dd HH:mm:ss is used.\r\n"
              "FrozenAfter=-1 is not allowed in Config.ini: it must be whole seconds from 0 (off) "
              "to 86400. 30 is used.");
    EXPECT_EQ(messages.shown[0].icon, window::MessageBoxes::Icon::Warning);
    takeOnePicture(f);
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp"}));
    EXPECT_EQ(config(), file);
}

// A disk slower than the pictures: what cannot be queued is counted as not saved, with the
// reason, and Stop tells the count once every picture is saved or counted.
TEST_F(PicturesTest, SavingSlowerThanThePicturesIsCountedNeverHidden) {
    QSemaphore disk; // each write waits for a permit
    whileWriting = [&] { disk.acquire(); };
    auto& f = loadedForm();
    f.cmdStart->click();
    for (int i = 0; i < 10; ++i)
        f.cmdTakePic->click();
    disk.release(10);
    f.cmdStop->click();
    EXPECT_EQ(lastMessage(), "10 picture(s) taken. 6 could not be saved.\r\n"
                             "Last reason: Picture 10: saving is slower than the interval");
    EXPECT_EQ(runFiles(),
              QStringList({"Picture 1.bmp", "Picture 2.bmp", "Picture 3.bmp", "Picture 4.bmp"}));
}

// How long the disk lasts goes by the free space above the run's reserve of ten pictures, the
// interval, and what a picture takes: a BMP's exact size, a PNG's from a trial save. The run's
// guard goes by the same size.
TEST_F(PicturesTest, DiskFullInFollowsTheIntervalAndTheFormat) {
    freeBytes = std::int64_t(5) << 30; // 5815 BMPs above the reserve
    auto& f = loadedForm();
    EXPECT_EQ(f.lblDiskFull->text(), "Disk full in: about 16 hours");
    f.txtInterval->setText(QStringLiteral("60"));
    EXPECT_EQ(f.lblDiskFull->text(), "Disk full in: about 4 days");
    freeBytes = 9 * Picture640;
    f.txtInterval->setText(QStringLiteral("3600"));
    EXPECT_EQ(f.lblDiskFull->text(), "Disk full in: less than an hour");

    f.cboSaveAs->setCurrentText(QStringLiteral("PNG"));
    f.waitForSaves();
    EXPECT_EQ(f.lblDiskFull->text(), "Disk full in: more than a year");
    f.cmdStart->click();
    EXPECT_TRUE(f.isRunning()) << lastMessage().toStdString();
}

// The run's size in the tooltip of the run length goes by the chosen format once a PNG or JPEG
// picture's size is known.
TEST_F(PicturesTest, TheRunLengthTipFollowsTheFormat) {
    auto& f = loadedForm();
    f.optStop2->click();
    f.txtStopAt->setText(QStringLiteral("15"));
    const QString bmp = f.lblCalc->toolTip();
    EXPECT_TRUE(bmp.startsWith("A run of 15 pictures at 640 x 480 takes 13.18 MiB"))
        << bmp.toStdString();
    f.cboSaveAs->setCurrentText(QStringLiteral("PNG"));
    f.waitForSaves(); // the trial picture that tells a PNG's size
    EXPECT_TRUE(f.lblCalc->toolTip().startsWith("A run of 15 pictures at 640 x 480 takes "));
    EXPECT_NE(f.lblCalc->toolTip(), bmp);
}

} // namespace
