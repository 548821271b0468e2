// The window trusts nothing the camera process says. A stand-in for the camera process that lies
// in each way a broken plugin or a bug of ours could is ended and replaced each time, the loss is
// shown with its reason, and every picture asked for is answered exactly once.
#include "camera_api/step_by_step.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Tells the lying camera something through its environment, for as long as it is in scope.
class LyingSetting {
public:
    LyingSetting(const char* name, const QByteArray& value) : name_(name) { qputenv(name, value); }
    ~LyingSetting() { qunsetenv(name_); }
    LyingSetting(const LyingSetting&) = delete;
    LyingSetting& operator=(const LyingSetting&) = delete;

private:
    const char* name_;
};

// Writes the fault the lying camera is to commit, whole.
bool writeFault(const QString& path, const QByteArray& fault) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(fault) == fault.size();
}

// The longest the event loop went without running a timer due every 5 ms, from construction to
// now (the stretch since the last tick counts too: a loop held up to the end never ticks).
class LoopGaps {
public:
    LoopGaps() {
        clock_.start();
        QObject::connect(&tick_, &QTimer::timeout, [this] { note(); });
        tick_.start(5);
    }
    qint64 longest() const {
        note();
        return longest_;
    }
    qint64 elapsed() const { return clock_.elapsed(); }

private:
    void note() const {
        longest_ = std::max(longest_, clock_.elapsed() - last_);
        last_ = clock_.elapsed();
    }
    QElapsedTimer clock_;
    QTimer tick_;
    mutable qint64 last_ = 0;
    mutable qint64 longest_ = 0;
};

class LyingCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("LYING_CAMERA_FAULT", dir.filePath("fault").toLocal8Bit());
        qputenv("LYING_CAMERA_STARTS", dir.filePath("starts").toLocal8Bit());
        host.resize(320, 240);
        host.show();
        camera_process::ProcessCameraView::Timing timing;
        timing.retryInterval = 200ms;
        timing.grabTimeout = 500ms;
        timing.answerTimeout = 1000ms;
        view.setTiming(timing);
        view.setWarmUp(0);
        QObject::connect(
            &view, &camera::CameraView::grabDone, &view,
            [this](qint64 ticket, const QImage& frame, const QDateTime&, const QString& error) {
                ++answers[ticket];
                lastFrame = frame;
                lastError = error;
            });
        QString error;
        preview = qobject_cast<camera::PreviewWidget*>(
            camera::createAndWait(view, &host, {320, 240}, "lying", &error));
        ASSERT_TRUE(preview) << error.toStdString();
        ASSERT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
        view.setPreview(true);
    }

    void lie(const char* fault) {
        QFile file(dir.filePath("fault"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(fault);
    }

    // Asks for a picture as a run does, and waits for its answer.
    QImage takePicture() {
        const qint64 ticket = ++tickets;
        view.requestGrab(ticket);
        EXPECT_TRUE(QTest::qWaitFor([&] { return answers.contains(ticket); }, 5000));
        return lastFrame;
    }

    QStringList started() {
        QFile file(dir.filePath("starts"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QWidget host;
    camera_process::ProcessCameraView view{LUMIVEX_LYING_CAMERA};
    camera::PreviewWidget* preview = nullptr;
    qint64 tickets = 0;
    QHash<qint64, int> answers;
    QImage lastFrame;
    QString lastError;
};

TEST_F(LyingCameraTest, EveryLieEndsTheCameraProcessAndTheRunGoesOn) {
    // The window's event loop is never held up long, flood or not.
    const LoopGaps gaps;

    ASSERT_EQ(takePicture().size(), QSize(64, 48));
    for (const char* fault :
         {"frame-ordinary-file", "frame-larger-than-memory", "frame-no-fields", "status-wrong-kind",
          "controls-wrong-kind", "controls-kind-changes", "unknown-verb", "not-a-message",
          "grab-ordinary-file", "grab-huge", "grab-wrong-bytes", "grab-negative", "grab-wrong-kind",
          "grab-no-fields", "grab-flood"}) {
        SCOPED_TRACE(fault);
        QSignalSpy lost(&view, &camera::CameraView::cameraLost);
        QSignalSpy back(&view, &camera::CameraView::cameraBack);
        const pid_t before = view.cameraProcessId();
        lie(fault);
        if (QByteArray(fault).startsWith("grab-")) {
            const QImage picture = takePicture();
            EXPECT_TRUE(picture.isNull());
            EXPECT_FALSE(lastError.isEmpty());
        }
        ASSERT_TRUE(lost.count() > 0 || lost.wait(4000));
        EXPECT_FALSE(lost.first().first().toString().isEmpty());
        EXPECT_TRUE(preview->isShowingLost());
        preview->grab(); // painted: nothing under the picture on screen was taken away
        ASSERT_TRUE(back.count() > 0 || back.wait(4000));
        EXPECT_EQ(lost.count(), 1);
        EXPECT_NE(view.cameraProcessId(), before);
        // The honest process that took its place delivers pictures and frames.
        EXPECT_EQ(takePicture().size(), QSize(64, 48));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->grab().toImage().isNull(); }, 2000));
    }
    // Every picture asked for was answered, once.
    EXPECT_EQ(answers.size(), tickets);
    for (auto it = answers.cbegin(); it != answers.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << "picture " << it.key();
    EXPECT_LT(gaps.longest(), 1000) << "ms the window was held up";
}

// A camera process that dies while the window waits for its picture is said to be gone once:
// the word of the wait, coming later, must not end the standby that already took its place.
TEST_F(LyingCameraTest, NewsOfAProcessAlreadyGoneLeavesItsSuccessorAlone) {
    QTest::qWait(2500); // the standby is started two seconds after the camera runs
    const QStringList before = started();
    ASSERT_EQ(before.size(), 2);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    lie("grab-die");
    QString error;
    EXPECT_FALSE(view.grabFrame(&error));
    ASSERT_TRUE(back.wait(4000));
    EXPECT_EQ(QString::number(view.cameraProcessId()), before.last());
    EXPECT_EQ(started().size(), 2) << "no process started afresh";
}

// A try's first frame may come later than the watchdog's limit (a network camera waits for its
// next key frame); it is given the time start-up gives it, and the camera comes back.
TEST_F(LyingCameraTest, ATryWhoseFirstFrameIsSlowBringsTheCameraBack) {
    camera_process::ProcessCameraView::Timing timing;
    timing.stallTimeout = 600ms;
    timing.startTimeout = 1000ms;
    timing.retryInterval = 200ms;
    view.setTiming(timing);
    const LyingSetting setting("LYING_CAMERA_FIRST_FRAME_MS", "1500");
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    ASSERT_EQ(::kill(view.cameraProcessId(), SIGKILL), 0);
    ASSERT_TRUE(lost.wait(2000));
    EXPECT_TRUE(back.wait(5000));
    EXPECT_EQ(lost.count(), 1);
}

// A run that starts or ends while the camera is lost still holds the automatics, or gives them
// back: what was asked is done with the first frame of the next camera process.
TEST_F(LyingCameraTest, HoldingAndGivingBackWhileLostIsDoneOnTheCamerasReturn) {
    QSignalSpy held(&view.controls(), &camera::ControlsPort::controlsHeld);
    QSignalSpy applied(&view.controls(), &camera::ControlsPort::controlsApplied);
    for (const bool runStarts : {true, false}) {
        SCOPED_TRACE(runStarts);
        QSignalSpy lost(&view, &camera::CameraView::cameraLost);
        QSignalSpy back(&view, &camera::CameraView::cameraBack);
        ASSERT_EQ(::kill(view.cameraProcessId(), SIGKILL), 0);
        ASSERT_TRUE(lost.wait(2000));
        if (runStarts) {
            view.controls().holdControls(true);
        } else {
            view.controls().holdControls(false);
            view.controls().applyControls({{QStringLiteral("auto_exposure"), 3}});
        }
        ASSERT_TRUE(back.wait(3000));
        QSignalSpy& answer = runStarts ? held : applied;
        EXPECT_TRUE(answer.count() > 0 || answer.wait(2000));
    }
    // Runs one after another on the same process: each is held.
    for (int run = 0; run < 2; ++run) {
        held.clear();
        view.controls().holdControls(true);
        EXPECT_TRUE(held.wait(2000)) << "run " << run;
        view.controls().holdControls(false);
    }
}

// A camera process that dies while start-up asks it for the camera, or while it starts the
// camera, is replaced once: the program starts as if nothing had happened.
TEST(LyingCameraStartUp, ACameraProcessThatDiesDuringStartUpIsReplaced) {
    for (const QByteArray fault : {"open-die", "connect-die"}) {
        SCOPED_TRACE(fault.constData());
        QTemporaryDir dir;
        qputenv("LYING_CAMERA_FAULT", dir.filePath("fault").toLocal8Bit());
        qputenv("LYING_CAMERA_STARTS", dir.filePath("starts").toLocal8Bit());
        ASSERT_TRUE(writeFault(dir.filePath("fault"), fault));
        QWidget host;
        camera_process::ProcessCameraView view{LUMIVEX_LYING_CAMERA};
        QString error;
        ASSERT_TRUE(camera::createAndWait(view, &host, {320, 240}, "lying", &error))
            << error.toStdString();
        ASSERT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
        QFile starts(dir.filePath("starts"));
        ASSERT_TRUE(starts.open(QIODevice::ReadOnly));
        EXPECT_EQ(starts.readAll().count('\n'), 2);
        EXPECT_FALSE(view.isCameraLost());
    }
}

// A damaged answer to a step of start-up fails that step, by the field that is wrong, at once:
// it is neither waited past nor handed to anything else.
TEST(LyingCameraStartUp, ADamagedAnswerFailsStartUpNamingTheField) {
    QTemporaryDir dir;
    const LyingSetting fault("LYING_CAMERA_FAULT", dir.filePath("fault").toLocal8Bit());
    ASSERT_TRUE(writeFault(dir.filePath("fault"), "connect-damaged"));
    QWidget host;
    camera_process::ProcessCameraView view{LUMIVEX_LYING_CAMERA};
    QString error;
    ASSERT_TRUE(camera::createAndWait(view, &host, {320, 240}, "lying", &error))
        << error.toStdString();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(camera::connectAndWait(view, &error));
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(error.contains("formats")) << error.toStdString();
}

// On a fresh machine the camera process first spends seconds loading GStreamer (its plugin
// registry is built then): start-up waits for that, and then for the camera as usual, without
// holding up the window's thread meanwhile.
TEST(LyingCameraStartUp, ACameraProcessSlowToLoadIsWaitedFor) {
    const LyingSetting setting("LYING_CAMERA_LOAD_MS", "6000");
    QWidget host;
    camera_process::ProcessCameraView view{LUMIVEX_LYING_CAMERA};
    camera_process::ProcessCameraView::Timing timing;
    timing.startTimeout = 100ms;
    view.setTiming(timing);
    const LoopGaps gaps;
    QString error;
    ASSERT_TRUE(camera::createAndWait(view, &host, {320, 240}, "lying", &error))
        << error.toStdString();
    ASSERT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
    EXPECT_FALSE(view.isCameraLost());
    EXPECT_GT(gaps.elapsed(), 6000);
    EXPECT_LT(gaps.longest(), 1000) << "the window's thread waited on the camera process";
}

// A run taken up waits for a camera that cannot be opened yet (a network camera still off);
// once it is there it starts in the run's format, with its kept settings looked up.
TEST(LyingCameraStartUp, ACameraDownAtAResumeIsWaitedForAndGetsTheRunsFormat) {
    QTemporaryDir dir;
    const QString down = dir.filePath("down");
    QFile(down).open(QIODevice::WriteOnly);
    const LyingSetting setting("LYING_CAMERA_DOWN", down.toLocal8Bit());
    QWidget host;
    camera_process::ProcessCameraView view{LUMIVEX_LYING_CAMERA};
    camera_process::ProcessCameraView::Timing timing;
    timing.retryInterval = 200ms;
    view.setTiming(timing);
    QSignalSpy found(&view.controls(), &camera::ControlsPort::cameraFound);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    view.waitForCamera(true);
    QString error;
    ASSERT_TRUE(camera::createAndWait(view, &host, {320, 240}, "lying", &error))
        << error.toStdString();
    ASSERT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
    EXPECT_TRUE(view.isCameraLost());
    EXPECT_TRUE(view.lostReason().contains("Connection refused"))
        << view.lostReason().toStdString();
    camera::useFormatAndWait(view, "BGRx  64 x 48  15 fps");
    found.clear(); // the process found the source; the camera itself is met later
    QFile::remove(down);
    ASSERT_TRUE(back.wait(5000));
    EXPECT_EQ(view.videoFormatLabel(), "BGRx  64 x 48  15 fps");
    ASSERT_EQ(found.count(), 1);
    EXPECT_EQ(found.first().first().toString(), "lying");
}

} // namespace
