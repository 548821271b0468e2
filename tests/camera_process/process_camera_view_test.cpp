#include "bmp_file.h"
#include "camera/capture_device.h"
#include "camera_api/step_by_step.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `action` on the format dialog from inside its own event loop, then makes sure it closes
// so that a failing test cannot hang in the modal loop.
void whenFormatDialogShows(std::function<void(QDialog*, QListWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == "formatDialog" && widget->isVisible())
                dialog = qobject_cast<QDialog*>(widget);
        if (!dialog) {
            ADD_FAILURE() << "the format dialog is not shown";
            return;
        }
        auto* list = dialog->findChild<QListWidget*>("formatList");
        if (!list) {
            ADD_FAILURE() << "the format dialog has no list";
        } else {
            action(dialog, list);
        }
        if (dialog->isVisible()) dialog->reject();
    });
}

int rowStartingWith(QListWidget* list, const QString& text) {
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().startsWith(text)) return row;
    return -1;
}

class ProcessCameraViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(640, 480);
        host.show();
        camera_process::ProcessCameraView::Timing timing;
        timing.retryInterval = 300ms;
        view.setTiming(timing);
    }

    camera::PreviewWidget* start(const QString& source, QSize size = {320, 240}) {
        QString error;
        QWidget* widget = camera::createAndWait(view, &host, size, source, &error);
        EXPECT_TRUE(widget) << error.toStdString();
        if (!widget) return nullptr;
        EXPECT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
        return qobject_cast<camera::PreviewWidget*>(widget);
    }

    QImage grab() {
        QString error;
        EXPECT_TRUE(view.grabFrame(&error)) << error.toStdString();
        return view.grabbedFrame();
    }

    QWidget host; // declared first: the view goes before the widget it created
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    QTemporaryDir dir;
};

TEST_F(ProcessCameraViewTest, InvalidSourceDescriptionsAreRefusedWithTheReason) {
    for (const QString source : {"videotestsrc is-live=true ! lumivex-no-such-element",
                                 "videotestsrc lumivex-no-such-property=1"}) {
        // The second time with the format dialog shown early: it goes with the failure.
        view.showFormatDialogEarly(source.contains("property"));
        QString error;
        EXPECT_EQ(camera::createAndWait(view, &host, {320, 240}, source, &error), nullptr);
        EXPECT_TRUE(error.contains(source)) << error.toStdString();
        EXPECT_TRUE(error.contains("lumivex-no-such")) << error.toStdString();
    }
    EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
}

TEST_F(ProcessCameraViewTest, SourceWithoutPicturesFailsToConnectSayingWhy) {
    // Found once the source is open: GStreamer must have nothing to complain about either.
    int complaints = 0;
    const guint handler = g_log_set_handler(
        "GStreamer", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
        [](const gchar*, GLogLevelFlags, const gchar* message, gpointer count) {
            ADD_FAILURE() << message;
            ++*static_cast<int*>(count);
        },
        &complaints);
    QString error;
    ASSERT_TRUE(camera::createAndWait(view, &host, {320, 240}, "audiotestsrc", &error))
        << error.toStdString();
    EXPECT_FALSE(camera::connectAndWait(view, &error));
    EXPECT_TRUE(error.contains("cannot be opened: its output cannot be turned into pictures"))
        << error.toStdString();
    EXPECT_TRUE(host.findChildren<QDialog*>().isEmpty());
    view.disconnectDriver();
    g_log_remove_handler("GStreamer", handler);
    EXPECT_EQ(complaints, 0);
}

TEST_F(ProcessCameraViewTest, SourceThatFailsWhileStartingLeavesNoFormatDialog) {
    // Opens fine, then fails once data flows: the format dialog was being readied meanwhile,
    // or was on the screen from the start.
    const QString text = dir.filePath("not-a-video.txt");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("no pictures in here\n");
    file.close();
    for (const bool early : {false, true}) {
        SCOPED_TRACE(early);
        view.showFormatDialogEarly(early);
        QString error;
        ASSERT_TRUE(camera::createAndWait(
            view, &host, {320, 240}, QStringLiteral("filesrc location=%1 ! decodebin").arg(text),
            &error))
            << error.toStdString();
        EXPECT_FALSE(camera::connectAndWait(view, &error));
        EXPECT_TRUE(error.contains("cannot be opened:")) << error.toStdString();
        EXPECT_TRUE(host.findChildren<QDialog*>().isEmpty());
    }
}

TEST_F(ProcessCameraViewTest, FormatDialogShownEarlyIsFilledInOnceTheCameraTellsItsFormats) {
    view.showFormatDialogEarly(true);
    QString shownFirst;
    // Runs while create() waits for the camera process, which has not even started yet.
    QTimer::singleShot(0, [&shownFirst] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != "formatDialog" || !widget->isVisible()) continue;
            auto* list = widget->findChild<QListWidget*>("formatList");
            const auto buttons = widget->findChildren<QPushButton*>();
            const bool okEnabled = std::any_of(buttons.begin(), buttons.end(), [](auto* b) {
                return b->text() == "OK" && b->isEnabled();
            });
            shownFirst = QStringLiteral("%1 entries, %2, OK %3")
                             .arg(list->count())
                             .arg(list->item(0)->text(), okEnabled ? "enabled" : "disabled");
            // Keys handed straight to the list meanwhile (as the accessibility bridge hands
            // them back) choose from the formats once they are listed: Down, Enter.
            QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        }
    });
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    EXPECT_EQ(shownFirst, "1 entries, Opening the camera…, OK disabled");
    ASSERT_TRUE(view.currentFormat());
    const int next = int(view.formats().indexOf(*view.currentFormat())) + 1;
    const auto dialogs = host.findChildren<QDialog*>("formatDialog");
    ASSERT_EQ(dialogs.size(), 1);
    ASSERT_FALSE(dialogs.first()->isVisible()) << "the keys typed meanwhile were lost";
    camera::formatDialogAndWait(view);
    EXPECT_EQ(view.currentFormat(), view.formats().value(next));
}

// A camera process that cannot start, or ends at once, is an error of start-up with its reason,
// never a camera that is not there.
TEST(ProcessCameraViewStartUp, ACameraProcessThatCannotRunFailsStartUpSayingSo) {
    for (const char* program : {"/nonexistent/lumivex-camera", "/bin/false"}) {
        SCOPED_TRACE(program);
        QWidget host;
        camera_process::ProcessCameraView view{QString::fromLatin1(program)};
        view.prepare();
        QString error;
        EXPECT_EQ(
            camera::createAndWait(view, &host, {320, 240}, "videotestsrc is-live=true", &error),
            nullptr);
        EXPECT_TRUE(error.contains("camera process")) << error.toStdString();
    }
}

TEST_F(ProcessCameraViewTest, NoCameraAtAllIsNullWithoutError) {
    if (camera::findFirstCaptureDevice()) GTEST_SKIP() << "this machine has a camera";
    QString error = "untouched";
    EXPECT_EQ(camera::createAndWait(view, &host, {320, 240}, QString(), &error), nullptr);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST_F(ProcessCameraViewTest, CameraThatCannotBeOpenedFailsToConnectSayingWhichAndWhy) {
    QString error;
    QWidget* widget = camera::createAndWait(view, &host, {320, 240},
                                            "v4l2src device=/dev/lumivex-missing-camera", &error);
    ASSERT_TRUE(widget) << error.toStdString();
    EXPECT_EQ(widget->parentWidget(), &host);
    EXPECT_EQ(widget->geometry(), QRect(0, 0, 320, 240));
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    EXPECT_FALSE(camera::connectAndWait(view, &error));
    EXPECT_TRUE(error.contains("/dev/lumivex-missing-camera")) << error.toStdString();
    EXPECT_TRUE(error.contains("cannot be opened:")) << error.toStdString();
    EXPECT_FALSE(view.grabFrame(&error));
    QTest::qWait(100);
    EXPECT_EQ(lost.count(), 0);
}

TEST_F(ProcessCameraViewTest, GrabsAreNewFramesInTheChosenFormat) {
    // The ball moves every frame, so two frames never look the same.
    ASSERT_TRUE(start("videotestsrc is-live=true pattern=ball"));
    ASSERT_TRUE(view.currentFormat());
    EXPECT_EQ(view.currentFormat()->width, 640);
    EXPECT_EQ(view.currentFormat()->height, 480);
    const QImage first = grab();
    QElapsedTimer timer;
    timer.start();
    const QImage second = grab(); // right away: the frame the first grab took is still newest
    EXPECT_LT(timer.elapsed(), 500);
    EXPECT_EQ(first.size(), QSize(640, 480));
    EXPECT_EQ(second.size(), QSize(640, 480));
    EXPECT_NE(first, second);
}

// Nothing waits for a format change: a picture asked for meanwhile is taken in the new format.
TEST_F(ProcessCameraViewTest, AGrabAskedForWhileTheFormatChangesIsTakenInTheNewOne) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    const auto formats = view.formats();
    const auto small = std::find_if(formats.begin(), formats.end(),
                                    [](const auto& format) { return format.width == 320; });
    ASSERT_NE(small, formats.end());
    QSignalSpy done(&view, &camera::CameraView::grabDone);
    ASSERT_TRUE(view.useVideoFormat(small->label()));
    view.requestGrab(7);
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(done.first().at(1).value<QImage>().size(), QSize(320, 240))
        << done.first().at(3).toString().toStdString();
}

TEST_F(ProcessCameraViewTest, SavedBitmapIsA24BitBottomUpCopyOfTheFrame) {
    // Colour bars: top and bottom differ, so an upside-down file shows.
    ASSERT_TRUE(start("videotestsrc is-live=true pattern=smpte"));
    const QImage frame = grab();
    const QString path = dir.filePath("00001.bmp");
    QString error;
    ASSERT_TRUE(view.saveFrame(path, &error)) << error.toStdString();

    const BmpFile bmp(readAll(path));
    ASSERT_EQ(bmp.size(), 54 + 640 * 3 * 480);
    EXPECT_EQ(bmp.magic(), QByteArray("BM"));
    EXPECT_EQ(bmp.u32(2), 54u + 640u * 3u * 480u);
    EXPECT_EQ(bmp.u32(10), 54u);
    EXPECT_EQ(bmp.u32(14), 40u);
    EXPECT_EQ(bmp.width(), 640);
    EXPECT_EQ(bmp.height(), 480);
    EXPECT_EQ(bmp.u16(28), 24u);
    EXPECT_EQ(bmp.u32(30), 0u);
    ASSERT_NE(frame.pixelColor(10, 10), frame.pixelColor(10, 470));
    for (int y = 0; y < 480; y += 7)
        for (int x = 0; x < 640; x += 5)
            ASSERT_EQ(bmp.pixel(x, y), frame.pixelColor(x, y)) << x << "," << y;
}

TEST_F(ProcessCameraViewTest, SavedBitmapHasTheCameraColour) {
    // A test pattern stands still on purpose: it is never taken for a frozen camera.
    view.setFrozenAfter(1);
    int lost = 0;
    QObject::connect(&view, &camera::CameraView::cameraLost, [&] { ++lost; });
    ASSERT_TRUE(start("videotestsrc is-live=true pattern=solid-color foreground-color=0xff2080c0"));
    QTest::qWait(2500);
    EXPECT_EQ(lost, 0);
    grab();
    const QString path = dir.filePath("solid.bmp");
    QString error;
    ASSERT_TRUE(view.saveFrame(path, &error)) << error.toStdString();
    const BmpFile bmp(readAll(path));
    ASSERT_EQ(bmp.size(), 54 + 640 * 3 * 480);
    for (const QPoint point :
         {QPoint(0, 0), QPoint(639, 0), QPoint(320, 240), QPoint(0, 479), QPoint(639, 479)})
        EXPECT_EQ(bmp.pixel(point.x(), point.y()), QColor(0x20, 0x80, 0xc0)) << point.x();
}

// Raw formats other than the screen's pass a converter on the way, which changing the format
// adds or takes away; the picture keeps the camera's colour and the chosen size either way.
TEST_F(ProcessCameraViewTest, EveryRawFormatGivesThePictureInTheCameraColour) {
    ASSERT_TRUE(start("videotestsrc is-live=true pattern=solid-color foreground-color=0xff2080c0"));
    struct Case {
        const char* format;
        QSize size;
    };
    for (const Case& c :
         {Case{"YUY2  320 x 240", {320, 240}}, Case{"BGRx  320 x 240", {320, 240}},
          Case{"I420  640 x 480", {640, 480}}, Case{"BGRx  640 x 480", {640, 480}}}) {
        SCOPED_TRACE(c.format);
        whenFormatDialogShows([&c](QDialog* dialog, QListWidget* list) {
            const int row = rowStartingWith(list, c.format);
            ASSERT_GE(row, 0);
            list->setCurrentRow(row);
            dialog->accept();
        });
        camera::formatDialogAndWait(view);
        ASSERT_TRUE(view.currentFormat());
        EXPECT_TRUE(view.currentFormat()->label().startsWith(QLatin1String(c.format)));
        const QImage frame = grab();
        ASSERT_EQ(frame.size(), c.size);
        const QColor colour = frame.pixelColor(c.size.width() / 2, c.size.height() / 2);
        EXPECT_NEAR(colour.red(), 0x20, 4);
        EXPECT_NEAR(colour.green(), 0x80, 4);
        EXPECT_NEAR(colour.blue(), 0xc0, 4);
    }
}

TEST_F(ProcessCameraViewTest, SaveFailsCleanlyWithoutAGrabOrIntoAMissingFolder) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    QString error;
    EXPECT_FALSE(view.saveFrame(dir.filePath("early.bmp"), &error));
    EXPECT_FALSE(error.isEmpty());

    grab();
    const QString path = dir.filePath("missing/00001.bmp");
    error.clear();
    EXPECT_FALSE(view.saveFrame(path, &error));
    EXPECT_TRUE(error.contains("No such directory")) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(ProcessCameraViewTest, SourceThatEndsIsLostOnceThenComesBack) {
    camera::PreviewWidget* preview = start("videotestsrc is-live=true num-buffers=30");
    ASSERT_TRUE(preview);
    view.setPreview(true);
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    EXPECT_FALSE(grab().isNull());
    ASSERT_TRUE(lost.wait(3000));
    EXPECT_FALSE(lost.first().first().toString().isEmpty());
    EXPECT_TRUE(view.isCameraLost());
    EXPECT_TRUE(preview->isShowingLost());

    // The picture grabbed before the loss went with the stream: nothing stale is saved.
    QString error;
    EXPECT_FALSE(view.saveFrame(dir.filePath("stale.bmp"), &error));
    EXPECT_FALSE(QFile::exists(dir.filePath("stale.bmp")));

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(view.grabFrame(&error));
    EXPECT_LT(timer.elapsed(), 100); // at once, not after the grab's wait
    EXPECT_TRUE(error.contains("lost")) << error.toStdString();

    // The retry restarts the source; its first frame ends the loss.
    ASSERT_TRUE(back.count() > 0 || back.wait(3000));
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(preview->isShowingLost());
}

// A picture due just after the camera came back waits for the end of its warm-up, and the camera
// process keeps answering meanwhile instead of being taken for one that hangs.
TEST_F(ProcessCameraViewTest, AGrabWithinTheWarmUpKeepsTheCameraProcessAnswering) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    view.setWarmUp(4);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    view.restartCamera("started afresh by the test");
    ASSERT_TRUE(back.wait(5000));
    const pid_t process = view.cameraProcessId();
    QSignalSpy done(&view, &camera::CameraView::grabDone);
    view.requestGrab(1);
    ASSERT_TRUE(done.wait(8000));
    EXPECT_FALSE(done.first().at(1).value<QImage>().isNull())
        << done.first().at(3).toString().toStdString();
    EXPECT_EQ(view.cameraProcessId(), process);
    EXPECT_FALSE(view.isCameraLost());
}

// How long a crashed process takes to write its crash report before it dies: the address
// sanitizer catches SIGSEGV and reports it first (half a second and more on a busy machine).
qint64 CrashReport([[maybe_unused]] int signal) {
#ifdef __SANITIZE_ADDRESS__
    return signal == SIGSEGV ? 1500 : 0;
#else
    return 0;
#endif
}

// Whatever happens to the camera process (killed, crashed in a plugin, stopped dead), the window
// carries on: the loss shows, grabs fail at once, and a new process brings the camera back.
TEST_F(ProcessCameraViewTest, ACameraProcessThatDiesOrHangsIsReplaced) {
    camera_process::ProcessCameraView::Timing timing;
    timing.retryInterval = 200ms;
    timing.answerTimeout = 600ms;
    view.setTiming(timing);
    ASSERT_TRUE(start("videotestsrc is-live=true pattern=ball"));
    for (const int signal : {SIGKILL, SIGSEGV, SIGSTOP}) {
        SCOPED_TRACE(signal);
        const pid_t before = view.cameraProcessId();
        ASSERT_GT(before, 0);
        QSignalSpy lost(&view, &camera::CameraView::cameraLost);
        QSignalSpy back(&view, &camera::CameraView::cameraBack);
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(::kill(before, signal), 0);
        ASSERT_TRUE(lost.wait(3000));
        EXPECT_LT(timer.elapsed(), signal == SIGSTOP ? 1500 : 500 + CrashReport(signal));
        QString error;
        EXPECT_FALSE(view.grabFrame(&error));
        ASSERT_TRUE(back.wait(5000));
        QElapsedTimer sinceBack;
        sinceBack.start();
        EXPECT_NE(view.cameraProcessId(), before);
        // The first picture after a return comes from the end of the camera's warm-up (1 s).
        EXPECT_EQ(grab().size(), QSize(640, 480));
        EXPECT_GE(sinceBack.elapsed(), 950);
        // The old process is gone for good (reaped), not left stopped or a zombie.
        QTest::qWait(100);
        EXPECT_NE(::kill(before, 0), 0);
    }
}

TEST_F(ProcessCameraViewTest, CameraThatFallsSilentIsLostByTheWatchdog) {
    camera_process::ProcessCameraView::Timing timing;
    timing.stallTimeout = 600ms;
    timing.startTimeout = 200ms;
    timing.retryInterval = 300ms;
    view.setTiming(timing);
    // Opens fine but delivers nothing, like a driver that hangs without an error.
    ASSERT_TRUE(start("videotestsrc is-live=true ! valve drop=true"));
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    QSignalSpy back(&view, &camera::CameraView::cameraBack);
    ASSERT_TRUE(lost.wait(3000));
    EXPECT_TRUE(lost.first().first().toString().contains("No picture"));
    QString error;
    EXPECT_FALSE(view.grabFrame(&error));
    // Retries that stay silent neither announce the loss again nor a return.
    QTest::qWait(1500);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(back.count(), 0);
}

// Pictures keep falling due while a camera is silent: the grabs queue in the camera process,
// and each is still answered within the time the window gives it, so that the silence is what
// ends the camera process, not a grab's answer come too late.
TEST_F(ProcessCameraViewTest, GrabsWhileTheCameraIsSilentAreEachAnsweredInTime) {
    camera_process::ProcessCameraView::Timing timing;
    timing.stallTimeout = 3000ms;
    timing.grabTimeout = 1000ms;
    view.setTiming(timing);
    ASSERT_TRUE(start("videotestsrc is-live=true ! valve drop=true"));
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    QStringList errors;
    QObject::connect(&view, &camera::CameraView::grabDone, &view,
                     [&](qint64, const QImage&, const QDateTime&, const QString& error) {
                         if (lost.isEmpty()) errors << error;
                     });
    qint64 ticket = 0;
    QTimer due;
    QObject::connect(&due, &QTimer::timeout, [&] { view.requestGrab(++ticket); });
    due.start(200);
    ASSERT_TRUE(lost.wait(6000));
    due.stop();
    EXPECT_TRUE(lost.first().first().toString().contains("No picture"))
        << lost.first().first().toString().toStdString();
    EXPECT_FALSE(errors.isEmpty());
    for (const QString& error : std::as_const(errors))
        EXPECT_FALSE(error.contains("does not answer")) << error.toStdString();
}

TEST_F(ProcessCameraViewTest, ANetworkCameraThatNeverAnswersNeverHoldsTheWindowUp) {
    // A listener whose connections the kernel accepts and nobody answers: a network camera that
    // hangs. Each retry connects to it again.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    const auto closeListener = qScopeGuard([listener] { ::close(listener); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 64), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    camera_process::ProcessCameraView::Timing timing;
    timing.stallTimeout = 400ms;
    timing.retryInterval = 200ms;
    timing.startTimeout = 1500ms; // what each retry would hold the window up if it waited
    view.setTiming(timing);
    QSignalSpy lost(&view, &camera::CameraView::cameraLost);
    ASSERT_TRUE(start(QStringLiteral("rtspsrc location=rtsp://127.0.0.1:%1/cam ! decodebin")
                          .arg(ntohs(address.sin_port))));
    ASSERT_TRUE(lost.wait(3000));

    // Several retries and give-ups later, the event loop never stood still for long.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    QTest::qWait(2500);
    // Far less than the start-up's wait; generous, for sanitizer builds on a busy machine.
    EXPECT_LT(longest, 600) << "ms the window was held up";
    EXPECT_TRUE(view.isCameraLost());
}

TEST_F(ProcessCameraViewTest, FormatDialogListsFormatsAndTheChoiceSetsThePictureSize) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    const int offered = int(view.formats().size());
    ASSERT_GT(offered, 1);
    EXPECT_EQ(view.pictureSize(), QSize(640, 480));
    whenFormatDialogShows([offered](QDialog* dialog, QListWidget* list) {
        EXPECT_EQ(dialog->windowTitle(), "Video Format");
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(list->count(), offered);
        ASSERT_TRUE(list->currentItem());
        EXPECT_TRUE(list->currentItem()->text().contains("640 x 480"));
        const int row = rowStartingWith(list, "BGRx  320 x 240");
        ASSERT_GE(row, 0);
        list->setCurrentRow(row);
        QTest::keyClick(list, Qt::Key_Return); // Enter takes the selected format
    });
    camera::formatDialogAndWait(view);
    ASSERT_TRUE(view.currentFormat());
    EXPECT_EQ(view.currentFormat()->width, 320);
    EXPECT_EQ(view.pictureSize(), QSize(320, 240));

    EXPECT_EQ(grab().size(), QSize(320, 240));
    const QString path = dir.filePath("small.bmp");
    QString error;
    ASSERT_TRUE(view.saveFrame(path, &error)) << error.toStdString();
    const BmpFile bmp(readAll(path));
    EXPECT_EQ(bmp.width(), 320);
    EXPECT_EQ(bmp.height(), 240);
    EXPECT_EQ(bmp.size(), 54 + 320 * 3 * 240);
}

TEST_F(ProcessCameraViewTest, CancelledFormatDialogKeepsTheFormatAndThePreview) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    whenFormatDialogShows([](QDialog*, QListWidget* list) {
        list->setCurrentRow(rowStartingWith(list, "YUY2  1280 x 720"));
        QTest::keyClick(list, Qt::Key_Escape);
    });
    camera::formatDialogAndWait(view);
    EXPECT_EQ(view.currentFormat()->width, 640);
    EXPECT_EQ(grab().size(), QSize(640, 480));
}

TEST_F(ProcessCameraViewTest, MotionJpegCameraIsDecoded) {
    ASSERT_TRUE(start("videotestsrc is-live=true ! jpegenc"));
    ASSERT_TRUE(view.currentFormat());
    EXPECT_TRUE(view.currentFormat()->isJpeg());
    EXPECT_EQ(grab().size(), QSize(640, 480));
    // A raw format replaces the decoder; back to JPEG brings it back.
    whenFormatDialogShows([](QDialog* dialog, QListWidget* list) {
        list->setCurrentRow(rowStartingWith(list, "MJPG  320 x 240"));
        dialog->accept();
    });
    camera::formatDialogAndWait(view);
    EXPECT_EQ(grab().size(), QSize(320, 240));
}

TEST_F(ProcessCameraViewTest, SourceWhoseOutputAppearsLaterIsFollowed) {
    // Like a network camera: the decoder's output pad exists only once data flows; in the
    // second, the source's own output too ("rtspsrc ! decodebin").
    for (const char* later : {"", " ! decodebin"}) {
        SCOPED_TRACE(later);
        ASSERT_TRUE(start(QStringLiteral("videotestsrc is-live=true ! "
                                         "video/x-raw,width=320,height=200 ! jpegenc ! decodebin") +
                          later));
        EXPECT_EQ(grab().size(), QSize(320, 200));
    }
}

TEST_F(ProcessCameraViewTest, PreviewRateLimitsRepaints) {
    camera::PreviewWidget* preview = start("videotestsrc is-live=true");
    ASSERT_TRUE(preview);
    PaintCounter paints(preview);
    view.setPreviewRate(200);
    view.setPreview(true);
    QTest::qWait(1200);
    const int limited = paints.count;
    EXPECT_GE(limited, 3);
    EXPECT_LE(limited, 10); // about 6 at 200 ms, against 36 unlimited; slack for a slow build

    view.setPreviewRate(0); // every frame, 30 a second
    paints.count = 0;
    QTest::qWait(1000);
    EXPECT_GE(paints.count, 18);

    // A grab takes a frame beside the preview, which goes on.
    grab();
    paints.count = 0;
    QTest::qWait(300);
    EXPECT_GE(paints.count, 4);

    view.setPreview(false);
    QTest::qWait(50);
    paints.count = 0;
    QTest::qWait(400);
    EXPECT_EQ(paints.count, 0);
}

TEST_F(ProcessCameraViewTest, DisconnectReleasesTheCameraAndMayBeRepeated) {
    ASSERT_TRUE(start("videotestsrc is-live=true"));
    grab();
    // Connecting readies the format dialog for start-up; a disconnect leaves none behind.
    EXPECT_EQ(host.findChildren<QDialog*>().size(), 1);
    view.disconnectDriver();
    EXPECT_TRUE(host.findChildren<QDialog*>().isEmpty());
    view.disconnectDriver();
    QString error;
    EXPECT_FALSE(view.grabFrame(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(view.saveFrame(dir.filePath("after.bmp"), &error));
    // And the camera can be connected again.
    ASSERT_TRUE(camera::connectAndWait(view, &error)) << error.toStdString();
    EXPECT_EQ(grab().size(), QSize(640, 480));
}

} // namespace

// A preview whose native window Qt makes anew tells its sink the new one (the old is gone, and
// drawing into it is an X error).
TEST(PreviewWidgetWindow, ANativeWindowMadeAnewIsTold) {
    struct Preview : camera::PreviewWidget {
        void makeWindowAnew() {
            destroy();
            create();
        }
    } preview;
    const WId first = preview.videoWindow();
    QSignalSpy changed(&preview, &camera::PreviewWidget::videoWindowChanged);
    preview.makeWindowAnew();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_NE(preview.videoWindow(), first);
}
