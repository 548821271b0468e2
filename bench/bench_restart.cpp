// The camera process ended from outside while the preview runs (test source, Qt painting the
// preview, as on any platform without X11): how long from the kill to the next frame painted,
// and whether the window process keeps any descriptor of the processes it has ended.
//   bench_restart TIMES FOLDER   (FOLDER: any existing folder, kept for the common arguments)
#include "bench_util.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>

namespace {

int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = bench::startUp(&argc, &argv);
    const int times = std::max(1, args.value(1).toInt());

    QWidget host;
    host.resize(320, 240);
    host.show();
    camera_process::ProcessCameraView view{QStringLiteral(LUMIVEX_CAMERA_PROGRAM)};
    QString error;
    auto* preview = qobject_cast<camera::PreviewWidget*>(
        view.create(&host, {320, 240}, QStringLiteral("videotestsrc is-live=true"), &error));
    if (!preview || !view.connectDriver(&error)) bench::die(error);
    view.setPreview(true);
    PaintWatch watch(preview);
    QTest::qWait(500);
    const int filesBefore = openFiles();

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
        while (watch.paints == paints || preview->isShowingLost()) {
            if (limit.elapsed() > 5000) bench::die(QStringLiteral("no frame painted"));
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        restarts.push_back(bench::millisecondsBetween(killed, bench::SteadyClock::now()));
    }
    QTest::qWait(500); // the last ended process is reaped
    const int filesAfter = openFiles();
    std::fprintf(stderr, "restart: median %.0f ms, 90th percentile %.0f ms of %d; open files %d -> %d\n",
                 bench::median(restarts), bench::percentile(restarts, 0.9), times, filesBefore,
                 filesAfter);
    bench::printRow("camera_restart_ms", bench::median(restarts), -1, "ms", 0);
    char metric[64];
    std::snprintf(metric, sizeof metric, "fd_growth_%d_restarts", times);
    bench::printRow(metric, filesAfter - filesBefore, -1, "fds", 0);
    view.disconnectDriver();
    return 0;
}
