// Make Video as the window runs it: the dialog, the progress window and the closing message, with
// the video made by the real video process.
#include "pictures/bmp_writer.h"
#include "support/qt_printers.h"
#include "video/make_video_dialog.h"
#include "video/video_maker_flow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace {

class RecordingMessages : public window::MessageBoxes {
public:
    struct Shown {
        QString text, title;
    };
    std::vector<Shown> shown;
    void show(const QString& text, const QString& title, Icon) override {
        shown.push_back({text, title});
    }
};

// The dialog lists every folder newest first (by the moment in a run folder's name, else by
// when it last changed) with the newest chosen, tells what the choice gives, and the video of
// the chosen run is made with a progress window, announced by name, one at a time; a damaged
// picture is left out and named.
TEST(VideoMakerFlowTest, MakesTheVideoOfTheChosenRun) {
    QTemporaryDir programFolder;
    const QString pictures = programFolder.filePath(QStringLiteral("pictures"));
    for (const char* name : {"05Dec2026-235959", "06Dec2026-074039", "06Dec2026-074039-2",
                             "06Dec2026-074039-10", "holiday"})
        ASSERT_TRUE(QDir().mkpath(pictures + QLatin1Char('/') + QLatin1String(name)));
    const QDateTime night(QDate(2026, 12, 6), QTime(1, 0));
    const utimbuf times{night.toSecsSinceEpoch(), night.toSecsSinceEpoch()};
    ASSERT_EQ(::utime(QFile::encodeName(pictures + QStringLiteral("/holiday")).constData(), &times),
              0);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QString error;
    for (int i = 1; i <= 4; ++i)
        ASSERT_TRUE(camera::writeBmp(
            picture, pictures + QStringLiteral("/06Dec2026-074039-10/Picture %1.bmp").arg(i),
            &error));
    // Cut off in the middle of its pixels, as a full disk or a lost camera card may leave it.
    const QString damaged = pictures + QStringLiteral("/06Dec2026-074039-10/Picture 2.bmp");
    ASSERT_TRUE(QFile::resize(damaged, QFileInfo(damaged).size() / 2));

    RecordingMessages messages;
    video::VideoMakerFlow flow(messages, QLocale(QLocale::English), LUMIVEX_VIDEO_PROGRAM);
    QWidget window;
    int finished = 0;
    flow.open(&window, pictures, [&] { ++finished; });
    auto* dialog = window.findChild<video::MakeVideoDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Make Video");
    QStringList runs;
    for (int i = 0; i < dialog->runs->count(); ++i)
        runs << dialog->runs->itemText(i);
    EXPECT_EQ(runs, QStringList({"06Dec2026-074039-10", "06Dec2026-074039-2", "06Dec2026-074039",
                                 "holiday", "05Dec2026-235959"}));
    EXPECT_EQ(dialog->run(), "06Dec2026-074039-10");
    EXPECT_EQ(dialog->fps(), 25);
    EXPECT_EQ(dialog->summary->text(), "4 picture(s): a video of 0.2 seconds.");
    dialog->framesPerSecond->setValue(1);
    EXPECT_EQ(dialog->summary->text(), "4 picture(s): a video of 4.0 seconds.");

    flow.open(&window, pictures, [&] { ++finished; }); // a second one is refused
    EXPECT_EQ(window.findChildren<video::MakeVideoDialog*>().size(), 1);
    dialog->accept();
    auto* progress = window.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->windowTitle(), "Making Video");
    EXPECT_EQ(finished, 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0; }, 30000));
    EXPECT_EQ(finished, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Info");
    // The damaged picture is left out and named, as any file that is not a picture is.
    EXPECT_EQ(messages.shown[0].text,
              "The video 06Dec2026-074039-10.mp4 is made: 3 picture(s).\r\n1 file(s) were "
              "skipped, the first \"Picture 2.bmp\": not a readable picture.");
    EXPECT_TRUE(QFile::exists(pictures + QStringLiteral("/06Dec2026-074039-10.mp4")));
}

// The video processes this test program has started, by their process ids.
std::vector<pid_t> videoProcesses() {
    std::vector<pid_t> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // "pid (comm) state ppid ..."
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(lumivex-video)") && rest.size() > 1 && rest[1].toInt() == ::getpid() &&
            rest[0] != "Z")
            found.push_back(entry.toInt());
    }
    return found;
}

// Cancelled, or its video process killed half-way: the old video stays and nothing else is left;
// the kill is told with its reason, and the next video is made as if nothing had happened.
TEST(VideoMakerFlowTest, ACancelledOrKilledVideoLeavesTheOldVideoAndTheWindowFine) {
    QTemporaryDir pictures;
    QDir(pictures.path()).mkpath(QStringLiteral("run"));
    const QString dir = pictures.filePath(QStringLiteral("run"));
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QString error;
    ASSERT_TRUE(camera::writeBmp(picture, dir + QStringLiteral("/Picture 1.bmp"), &error));
    for (int i = 2; i <= 300; ++i)
        ASSERT_EQ(
            ::link(QFile::encodeName(dir + "/Picture 1.bmp").constData(),
                   QFile::encodeName(dir + QStringLiteral("/Picture %1.bmp").arg(i)).constData()),
            0);
    QFile old(dir + QStringLiteral(".mp4"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the old video");
    old.close();
    const auto folder = [&] {
        return QDir(pictures.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    };

    RecordingMessages messages;
    video::VideoMakerFlow flow(messages, QLocale(QLocale::English), LUMIVEX_VIDEO_PROGRAM);
    QWidget window;
    int finished = 0;
    // Opens Make Video on `run` and waits until the video is on its way.
    const auto makeVideoOf = [&](const QString& run) {
        flow.open(&window, pictures.path(), [&] { ++finished; });
        auto* dialog = window.findChild<video::MakeVideoDialog*>();
        ASSERT_NE(dialog, nullptr);
        dialog->runs->setCurrentText(run);
        dialog->accept();
        auto* progress = window.findChild<QProgressDialog*>();
        ASSERT_NE(progress, nullptr);
        auto* bar = progress->findChild<QProgressBar*>();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() > 0 || finished; }, 30000));
    };

    makeVideoOf(QStringLiteral("run"));
    ASSERT_EQ(finished, 0);
    EXPECT_GT(folder().size(), 2); // the video is being written beside the run
    QTest::mouseClick(window.findChild<QProgressDialog*>()->findChild<QPushButton*>(),
                      Qt::LeftButton);
    EXPECT_EQ(finished, 1);
    QTest::qWait(300);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(folder(), QStringList({"run", "run.mp4"}));
    ASSERT_TRUE(QTest::qWaitFor([] { return videoProcesses().empty(); }, 10000));

    makeVideoOf(QStringLiteral("run"));
    const std::vector<pid_t> running = videoProcesses();
    ASSERT_EQ(running.size(), 1u);
    ::kill(running[0], SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 2; }, 10000));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Error");
    EXPECT_EQ(messages.shown[0].text, "The video could not be made: the video process ended "
                                      "unexpectedly (signal 9, Killed).");
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
    EXPECT_EQ(folder(), QStringList({"run", "run.mp4"}));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old video");
    old.close();

    ASSERT_TRUE(QDir(pictures.path()).mkpath(QStringLiteral("small")));
    ASSERT_TRUE(QFile::copy(dir + QStringLiteral("/Picture 1.bmp"),
                            pictures.filePath(QStringLiteral("small/Picture 1.bmp"))));
    makeVideoOf(QStringLiteral("small"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 3; }, 30000));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "The video small.mp4 is made: 1 picture(s).");
}

} // namespace
