// The GUI thread while a network camera is lost: the real camera view, connected as at
// start-up with the preview on, on an RTSP camera served by bench/rtsp_camera. Once frames
// flow, the server is killed, and
//   lost: a listener that accepts connections and never answers takes its port;
//   back: a second server takes its port one second after the view reported the loss.
// For SECONDS from the kill, a 2 ms timer on the GUI thread notes the longest gap between its
// ticks: how long the event loop (and so the window) was held up at most.
//
//   bench_stall lost [SECONDS]   gui_stall_ms_lost_camera
//   bench_stall back [SECONDS]   gui_stall_ms_camera_back, camera_back_ms
#include "bench_util.h"
#include "camera_api/step_by_step.h"
#include "camera_process/process_camera_view.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

namespace {

using bench::die;
using bench::GapMeter;
using bench::SteadyClock;

// One bench/rtsp_camera process. It is started ahead and comes up on go(), which only writes
// a line to it: starting a process from the GUI thread would itself hold the event loop up.
class CameraServer {
public:
    CameraServer(const QString& mode, int port) {
        process_.setProgram(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/rtsp_camera"));
        process_.setArguments({mode, QString::number(port)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readLine(); });
        process_.start();
        if (!process_.waitForStarted()) die(QStringLiteral("cannot start ") + process_.program());
    }
    ~CameraServer() {
        process_.kill();
        process_.waitForFinished();
    }

    void go() { process_.write("go\n"); }
    // For the set-up only: waits until the server listens.
    void waitListening() {
        while (!listeningSince_)
            if (!process_.waitForReadyRead(10000)) die(QStringLiteral("the server did not start"));
    }
    // Kills the server; `then` runs once it is gone and so its port is free.
    void kill(std::function<void()> then) {
        QObject::connect(&process_, &QProcess::finished, std::move(then));
        process_.kill();
    }
    int port() const { return port_; }
    // When the server took its port, by its own clock reading (the monotonic clock is the
    // same in every process), so that a held-up event loop does not move it.
    std::optional<SteadyClock::time_point> listeningSince() const { return listeningSince_; }

private:
    void readLine() {
        if (!process_.canReadLine()) return;
        const QList<QByteArray> fields = process_.readLine().trimmed().split(' ');
        port_ = fields.value(0).toInt();
        listeningSince_ = SteadyClock::time_point(std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::nanoseconds(fields.value(1).toLongLong())));
    }

    QProcess process_;
    int port_ = 0;
    std::optional<SteadyClock::time_point> listeningSince_;
};

void waitForFrames(camera_process::ProcessCameraView& view) {
    const auto deadline = SteadyClock::now() + std::chrono::seconds(15);
    QString error;
    while (!view.grabFrame(&error)) {
        if (SteadyClock::now() > deadline) die(QStringLiteral("no frames: ") + error);
        QCoreApplication::processEvents();
    }
}

void runEventLoop(int seconds) {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

void measure(bool comesBack, int seconds) {
    CameraServer server(QStringLiteral("serve"), 0);
    server.go();
    server.waitListening();
    CameraServer replacement(comesBack ? QStringLiteral("serve") : QStringLiteral("mute"),
                             server.port());

    // As the window connects at start-up, on the defaults of the program's camera view. Low
    // latency, so that the time a returning camera takes is not the jitter buffer's.
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    const QString source =
        QStringLiteral("uridecodebin uri=rtsp://127.0.0.1:%1/cam").arg(server.port());
    QString error;
    QWidget* preview = camera::createAndWait(view, nullptr, QSize(320, 240), source, &error);
    if (!preview) die(QStringLiteral("create: ") + error);
    preview->show();
    if (!camera::connectAndWait(view, &error)) die(QStringLiteral("connect: ") + error);
    view.setPreviewRate(33);
    view.setPreview(true);
    waitForFrames(view);

    // What the event loop does with the camera delivering: the floor of the figure, which
    // the other programs on the machine raise.
    {
        GapMeter steady;
        steady.start();
        runEventLoop(3);
        steady.stop();
        std::fprintf(stderr, "frames flowing: longest gap %.0f ms in 3 s\n", steady.longestMs());
    }

    GapMeter meter;
    std::optional<SteadyClock::time_point> lostAt, backAt;
    QObject::connect(&view, &camera::CameraView::cameraLost, [&](const QString& reason) {
        std::fprintf(stderr, "camera lost: %s\n", qPrintable(reason));
        if (lostAt) return;
        lostAt = SteadyClock::now();
        if (comesBack) QTimer::singleShot(1000, [&] { replacement.go(); });
    });
    QObject::connect(&view, &camera::CameraView::cameraBack, [&] {
        if (!backAt) backAt = SteadyClock::now();
    });

    meter.start();
    const auto killed = SteadyClock::now();
    server.kill([&] {
        if (!comesBack) replacement.go();
    });
    runEventLoop(seconds);
    meter.stop();

    const char* name = comesBack ? "back" : "lost";
    if (!lostAt) die(QStringLiteral("the view never reported the camera lost"));
    std::fprintf(stderr, "%s: lost after %.0f ms; stalls over 50 ms in %d s: %s\n", name,
                 bench::millisecondsBetween(killed, *lostAt), seconds,
                 meter.stalls().isEmpty() ? "none" : qPrintable(meter.stalls().join(", ")));
    if (!comesBack) {
        bench::printRow("gui_stall_ms_lost_camera", meter.longestMs(), -1, "ms", 0);
    } else {
        if (!backAt || !replacement.listeningSince())
            die(QStringLiteral("the camera did not come back"));
        const double backMs = bench::millisecondsBetween(*replacement.listeningSince(), *backAt);
        std::fprintf(stderr,
                     "back: the server returned %.0f ms after the kill, frames %.0f ms after "
                     "that\n",
                     bench::millisecondsBetween(killed, *replacement.listeningSince()), backMs);
        bench::printRow("gui_stall_ms_camera_back", meter.longestMs(), -1, "ms", 0);
        bench::printRow("camera_back_ms", backMs, -1, "ms", 0);
    }
    view.disconnectDriver();
}

} // namespace

int main(int argc, char* argv[]) {
    // The preview is drawn as in the program: on X11 when there is a display, else off screen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString error;
    if (!gst::initGStreamer(&argc, &argv, &error)) die(error);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    const int seconds = args.value(2, QStringLiteral("20")).toInt();
    if ((mode != QLatin1String("lost") && mode != QLatin1String("back")) || seconds <= 0)
        die(QStringLiteral("usage: bench_stall lost|back [SECONDS]"));
    measure(mode == QLatin1String("back"), seconds);
    return 0;
}
