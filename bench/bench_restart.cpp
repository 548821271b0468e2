// The camera process ended from outside while the preview runs (test source, Qt painting the
// preview, as on any platform without X11): how long from the kill to the next frame painted,
// whether the window process keeps any descriptor of the processes it has ended, and how much
// its resident memory grows over the restarts with a picture grabbed and saved after each.
//   bench_restart TIMES FOLDER   (FOLDER: where the pictures are saved)
// With "cpu" for TIMES, on the display of $DISPLAY (the camera process draws the preview): the
// processor time of both processes per second of preview after ten restarts, against before.
//   bench_restart cpu FOLDER
#include "bench_util.h"
#include "camera_api/step_by_step.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// User and system time of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto end = text.rfind(')');
    if (end == std::string::npos) return 0;
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field && i <= 15; ++i)
        if (i == 14 || i == 15) ticks += std::stod(field); // utime, stime
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

// Both processes' processor time per second of wall time over `seconds` of preview.
double previewCpu(const camera_process::ProcessCameraView& view, int seconds) {
    const pid_t camera = view.cameraProcessId();
    const double before = cpuSeconds(::getpid()) + cpuSeconds(camera);
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const double after = cpuSeconds(::getpid()) + cpuSeconds(camera);
    if (view.cameraProcessId() != camera) bench::die(QStringLiteral("the camera process changed"));
    return (after - before) / (double(wall.elapsed()) / 1000.0);
}

int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    const bool cpu = argc > 1 && std::strcmp(argv[1], "cpu") == 0;
    if (!cpu) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = bench::startUp(&argc, &argv);
    const int times = cpu ? 10 : std::max(1, args.value(1).toInt());
    const QString folder = args.value(2);

    QWidget host;
    host.resize(320, 240);
    host.show();
    camera_process::ProcessCameraView view{QStringLiteral(LUMIVEX_CAMERA_PROGRAM)};
    QString error;
    auto* preview = qobject_cast<camera::PreviewWidget*>(camera::createAndWait(
        view, &host, {320, 240}, QStringLiteral("videotestsrc is-live=true"), &error));
    if (!preview || !camera::connectAndWait(view, &error)) bench::die(error);
    view.setPreview(true);
    PaintWatch watch(preview);
    QTest::qWait(500);
    const int filesBefore = openFiles();
    double cpuBefore = 0;
    if (cpu) {
        QTest::qWait(1500);
        cpuBefore = previewCpu(view, 10);
    }
    long rssFirst = 0;

    std::vector<double> restarts;
    for (int i = 0; i < times; ++i) {
        QSignalSpy back(&view, &camera::CameraView::cameraBack);
        const auto killed = bench::SteadyClock::now();
        ::kill(view.cameraProcessId(), SIGKILL);
        if (!back.wait(5000)) bench::die(QStringLiteral("the camera did not come back"));
        // Then the next frame on screen.
        const int paints = watch.paints;
        QElapsedTimer limit;
        limit.start();
        // (Where the camera process draws, the camera's return is enough.)
        while (!cpu && (watch.paints == paints || preview->isShowingLost())) {
            if (limit.elapsed() > 5000) bench::die(QStringLiteral("no frame painted"));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        restarts.push_back(bench::millisecondsBetween(killed, bench::SteadyClock::now()));
        if (cpu) continue;
        // A picture of a run after each: grabbed and saved.
        QString failure;
        if (!view.grabFrame(&failure) ||
            !view.saveFrame(QDir(folder).filePath(QStringLiteral("restart.bmp")), &failure))
            bench::die(failure);
        if (i == 0) rssFirst = bench::residentKib();
    }
    if (cpu) {
        QTest::qWait(2000); // the standby started, the first frames drawn
        const double cpuAfter = previewCpu(view, 10);
        std::fprintf(stderr, "preview: %.4f s/s before %d restarts, %.4f s/s after\n", cpuBefore,
                     times, cpuAfter);
        bench::printRow("preview_cpu_after_fault", cpuAfter, cpuBefore, "cpu_s/s", 4);
        view.disconnectDriver();
        return 0;
    }
    const long rssLast = bench::residentKib();
    QTest::qWait(500); // the last ended process is reaped
    const int filesAfter = openFiles();
    std::fprintf(
        stderr, "restart: median %.0f ms, 90th percentile %.0f ms of %d; open files %d -> %d\n",
        bench::median(restarts), bench::percentile(restarts, 0.9), times, filesBefore, filesAfter);
    bench::printRow("camera_restart_ms", bench::median(restarts), -1, "ms", 0);
    char metric[64];
    std::snprintf(metric, sizeof metric, "fd_growth_%d_restarts", times);
    bench::printRow(metric, filesAfter - filesBefore, -1, "fds", 0);
    std::fprintf(stderr,
                 "window's memory: %ld KiB after the first restart, %ld KiB after the last\n",
                 rssFirst, rssLast);
    std::snprintf(metric, sizeof metric, "window_rss_growth_%d_restarts", times);
    bench::printRow(metric, double(rssLast - rssFirst), -1, "KiB", 0);
    view.disconnectDriver();
    return 0;
}
