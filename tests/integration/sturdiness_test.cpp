// The window and the real camera view together when things go wrong: a camera that comes and
// goes, a disk that fills, a file system that refuses a write, and a day-long run.
#include "camera_process/process_camera_view.h"
#include "window/fakes.h"
#include "window/form1.h"
#include "window/load_and_wait.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Files in a folder other than the pictures themselves and the run's log: temporary leftovers
// of failed saves.
QStringList strayFiles(const QString& folder) {
    QStringList stray;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!QRegularExpression(QStringLiteral("^Picture [0-9]+\\.bmp$")).match(name).hasMatch() &&
            name != QStringLiteral("Run log.csv"))
            stray << name;
    return stray;
}

QStringList pictureFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("Picture *")}, QDir::Files, QDir::Name);
}

class SturdinessTest : public ::testing::Test {
protected:
    QTemporaryDir programFolder;
    camera_process::ProcessCameraView camera{LUMIVEX_CAMERA_PROGRAM};
    FakeMessages messages;
    FakeClock clock;
    FakeAlarm alarm;
    window::FreeSpace freeSpace = window::freeBytesAt;
    std::unique_ptr<window::Form1> form;

    explicit SturdinessTest(const QString& base = QDir::tempPath())
        : programFolder(base + QStringLiteral("/lumivex-XXXXXX")) {}

    void SetUp() override {
        camera_process::ProcessCameraView::Timing timing;
        timing.retryInterval = 300ms;
        camera.setTiming(timing);
    }
    void TearDown() override { form.reset(); }

    // Starts the window on `source`; the format dialog is answered with Enter.
    window::Form1& load(const QString& source) {
        QFile config(programFolder.filePath(QStringLiteral("Config.ini")));
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[MAIN]\nWidth=320\nHeight=240\nFramerate=0\nSource=" + source.toUtf8() +
                     "\n");
        config.close();
        QDir(programFolder.path()).mkpath(QStringLiteral("pictures"));
        form = std::make_unique<window::Form1>(
            window::Form1Deps{camera, messages, clock, alarm, programFolder.path(), QLocale::c(),
                              [this](const QString& path) { return freeSpace(path); }});
        QTimer::singleShot(0, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
                    dialog->accept();
        });
        EXPECT_TRUE(window::loadAndWait(*form));
        EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text.toStdString();
        return *form;
    }

    // A second: long enough for the picture it took to be saved.
    void tick() {
        alarm.run(clock, clock.now + 1s);
        form->waitForSaves();
    }
    QString runFolder() const {
        return programFolder.filePath(QStringLiteral("pictures/") + form->strRunFolder);
    }
    QString lastMessage() const {
        return messages.shown.empty() ? QString() : messages.shown.back().text;
    }
};

TEST_F(SturdinessTest, ACameraLostAndBackKeepsTheRunGoingInItsFolder) {
    // A live source that ends after a second and a half, and starts again when retried.
    auto& f = load(QStringLiteral("videotestsrc is-live=true num-buffers=45"));
    QSignalSpy lost(&camera, &camera::CameraView::cameraLost);
    QSignalSpy back(&camera, &camera::CameraView::cameraBack);
    f.txtInterval->setText(QStringLiteral("1"));
    f.cmdStart->click();
    tick();
    EXPECT_EQ(f.lngNotSaved, 0) << f.strSaveError.toStdString();

    ASSERT_TRUE(lost.count() > 0 || lost.wait(5000));
    tick(); // due while the camera is away: counted and shown, the run goes on
    EXPECT_TRUE(f.isRunning());
    EXPECT_EQ(f.lngNotSaved, 1);
    EXPECT_EQ(f.lblPicturesTaken->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(messages.shown.empty());

    ASSERT_TRUE(back.wait(5000));
    tick();
    EXPECT_EQ(f.lngNotSaved, 1) << f.strSaveError.toStdString();
    const QString folder = runFolder();
    f.cmdStop->click();
    EXPECT_TRUE(lastMessage().startsWith("3 picture(s) taken. 1 could not be saved."))
        << lastMessage().toStdString();
    EXPECT_EQ(pictureFiles(folder), QStringList({"Picture 1.bmp", "Picture 3.bmp"}));
    EXPECT_TRUE(strayFiles(folder).isEmpty());
}

TEST_F(SturdinessTest, AWriteTheFileSystemRefusesLeavesNothingBehind) {
    // A file size limit makes every picture write fail in the kernel, as a full disk does.
    auto& f = load(QStringLiteral("videotestsrc is-live=true"));
    f.txtInterval->setText(QStringLiteral("1"));
    f.cmdStart->click();
    tick();
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = 100 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    tick();
    tick();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    tick();
    const QString folder = runFolder();
    f.cmdStop->click();
    EXPECT_TRUE(lastMessage().startsWith("4 picture(s) taken. 2 could not be saved."))
        << lastMessage().toStdString();
    EXPECT_EQ(pictureFiles(folder), QStringList({"Picture 1.bmp", "Picture 4.bmp"}));
    EXPECT_TRUE(strayFiles(folder).isEmpty()) << strayFiles(folder).join(", ").toStdString();
    EXPECT_EQ(QFileInfo(folder + "/Picture 4.bmp").size(), 54 + 640 * 3 * 480);
}

// A small file system of its own where the pictures go; needs root (CI runs as root).
class FullDiskTest : public SturdinessTest {
protected:
    QString mounted;
    bool mountTmpfs(const char* size) {
        const QString pictures = programFolder.filePath(QStringLiteral("pictures"));
        QDir().mkpath(pictures);
        const QByteArray options = QByteArray("size=") + size;
        if (::mount("tmpfs", QFile::encodeName(pictures).constData(), "tmpfs", 0,
                    options.constData()) != 0)
            return false;
        mounted = pictures;
        return true;
    }
    void unmount() {
        if (!mounted.isEmpty()) ::umount(QFile::encodeName(mounted).constData());
        mounted.clear();
    }
    void TearDown() override {
        SturdinessTest::TearDown();
        unmount();
    }
};

TEST_F(FullDiskTest, RunsStopBeforeTheDiskFillsAndFailedWritesLeaveNothing) {
    if (geteuid() != 0 || !mountTmpfs("32m")) GTEST_SKIP() << "needs root to mount a tmpfs";
    auto& f = load(QStringLiteral("videotestsrc is-live=true")); // 640 x 480: 921,654 bytes each
    const qint64 picture = 54 + 640 * 3 * 480;
    const qint64 disk = 32 * 1024 * 1024;

    // Fill the disk until less than ten pictures fit: the run cannot start.
    QFile filler(mounted + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(disk - 9 * picture, 'x'));
    filler.close();
    f.cmdStart->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("A run cannot start: the disk is almost full"))
        << messages.shown[0].text.toStdString();
    EXPECT_FALSE(f.isRunning());

    // Room for twelve: pictures until only ten would fit, then the run stops by itself.
    filler.resize(disk - 12 * picture - 64 * 1024);
    messages.shown.clear();
    f.txtInterval->setText(QStringLiteral("1"));
    f.cmdStart->click();
    ASSERT_TRUE(f.isRunning());
    for (int i = 0; i < 10 && f.isRunning(); ++i)
        tick();
    EXPECT_FALSE(f.isRunning());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(" picture(s) taken. The run stopped: the disk is "
                                                "almost full"))
        << messages.shown[0].text.toStdString();
    for (const QString& name : pictureFiles(runFolder())) {
        EXPECT_EQ(QFileInfo(runFolder() + "/" + name).size(), picture) << name.toStdString();
    }

    // When the free-space figure is wrong, the disk really fills: the write fails whole.
    freeSpace = [](const QString&) { return std::int64_t(1) << 40; };
    messages.shown.clear();
    f.cmdStart->click();
    ASSERT_TRUE(f.isRunning());
    for (int i = 0; i < 14; ++i)
        tick();
    const QString folder = runFolder();
    f.cmdStop->click();
    EXPECT_TRUE(lastMessage().contains("could not be saved")) << lastMessage().toStdString();
    for (const QString& name : pictureFiles(folder)) {
        EXPECT_EQ(QFileInfo(folder + "/" + name).size(), picture) << name.toStdString();
    }
    EXPECT_TRUE(strayFiles(folder).isEmpty()) << strayFiles(folder).join(", ").toStdString();
}

// A day at interval 1 in simulated time, with every picture really saved.
class DayRunTest : public SturdinessTest {
protected:
    DayRunTest()
        : SturdinessTest(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                   : QDir::tempPath()) {}
};

TEST_F(DayRunTest, EveryPictureOfADayIsSavedAndMemoryStaysFlat) {
    auto& f =
        load(QStringLiteral("videotestsrc ! video/x-raw,width=64,height=48,framerate=4000/1"));
    ASSERT_EQ(camera.pictureSize(), QSize(64, 48));
    f.txtInterval->setText(QStringLiteral("1"));
    f.cmdStart->click();
    long afterHundred = 0;
    for (int second = 1; second <= 86400; ++second) {
        tick();
        if (second == 100) afterHundred = residentKiB();
        if (second % 10000 == 0) {
            ASSERT_EQ(f.lngNotSaved, 0) << f.strSaveError.toStdString();
        }
    }
    const long growth = residentKiB() - afterHundred;
    EXPECT_EQ(f.lblPicturesTaken->text(), "86400");
    EXPECT_EQ(f.lngNotSaved, 0) << f.strSaveError.toStdString();
    const QString folder = runFolder();
    f.cmdStop->click();
    EXPECT_EQ(lastMessage(), "86400 picture(s) taken.");
#ifndef __SANITIZE_ADDRESS__ // the sanitizer holds freed memory back on purpose
    EXPECT_LT(growth, 1024) << "resident memory grew by " << growth << " KiB";
#else
    (void)growth;
#endif

    EXPECT_EQ(pictureFiles(folder).size(), 86400);
    for (int n : {1, 2, 43200, 86399, 86400}) {
        EXPECT_EQ(QFileInfo(folder + QStringLiteral("/Picture %1.bmp").arg(n)).size(),
                  54 + 64 * 3 * 48);
    }
}

} // namespace
