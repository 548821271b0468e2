// The cost of a picture and the memory of a long run, on the real camera view: a GStreamer
// pipeline from videotestsrc, the camera view's grabFrame and saveFrame (the
// program's BMP writer).
//
//   bench_camera snapshot FOLDER PICTURES   snapshot_640x480, snapshot_1920x1080
//   bench_camera rss FOLDER PICTURES FIRST  rss_growth_kib
#include "bench_util.h"
#include "camera_process/process_camera_view.h"
#include "gst/gst_setup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWidget>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

using bench::die;
using bench::SteadyClock;

// A source that has the next frame ready almost at once, so that a grab measures the program
// rather than the wait for a camera. Not live: the pipeline paces it by the frame rate given,
// which keeps it from spinning a processor core. BGRx is what the view converts to anyway.
QString fastSource(int width, int height, int fps) {
    return QStringLiteral("videotestsrc ! video/x-raw,format=BGRx,width=%1,height=%2,"
                          "framerate=%3/1")
        .arg(width)
        .arg(height)
        .arg(fps);
}

void connectCamera(camera_process::ProcessCameraView& view, const QString& source, QSize size) {
    QString error;
    if (!view.create(nullptr, size, source, &error)) die(QStringLiteral("create: ") + error);
    if (!view.connectDriver(&error)) die(QStringLiteral("connect: ") + error);
    if (view.pictureSize() != size)
        die(QStringLiteral("the camera delivers %1x%2, not %3x%4")
                .arg(view.pictureSize().width())
                .arg(view.pictureSize().height())
                .arg(size.width())
                .arg(size.height()));
}

// Asking for a picture as the window does it: grab, then save under its final name.
bool takePicture(camera_process::ProcessCameraView& view, const QString& path, QString* error) {
    return view.grabFrame(error) && view.saveFrame(path, error);
}

// The baseline: the same bytes written with plain POSIX calls, as durably as our save
// (QSaveFile syncs the file before renaming it into place).
void writePlainly(const QByteArray& bytes, const QString& path) {
    const QByteArray final = QFile::encodeName(path);
    const QByteArray temporary = final + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) die(QStringLiteral("open: ") + QString::fromLocal8Bit(std::strerror(errno)));
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) die(QStringLiteral("write: ") + QString::fromLocal8Bit(strerror(errno)));
        data += written;
        left -= written;
    }
    if (::fsync(fd) != 0) die(QStringLiteral("fsync failed"));
    if (::close(fd) != 0) die(QStringLiteral("close failed"));
    if (::rename(temporary.constData(), final.constData()) != 0) die(QStringLiteral("rename"));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) die(QStringLiteral("cannot read ") + path);
    return file.readAll();
}

void snapshot(const QString& folder, int pictures, const char* metric, QSize size, int fps) {
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    connectCamera(view, fastSource(size.width(), size.height(), fps), size);
    QDir dir(folder);
    const qint64 expectedBytes = 54 + qint64((size.width() * 3 + 3) / 4 * 4) * size.height();

    QString error;
    QByteArray bytes;
    std::vector<double> ours, grabs, baseline;
    const int warmUp = 5;
    for (int i = 0; i < warmUp + pictures; ++i) {
        const QString ourPath = dir.filePath(QStringLiteral("Picture %1.bmp").arg(i + 1));
        const QString plainPath = dir.filePath(QStringLiteral("Plain %1.bmp").arg(i + 1));
        // Queued notices from the streaming thread are handled between pictures, as the
        // window's event loop does between ticks.
        QCoreApplication::processEvents();

        double oursMs = 0, grabMs = 0, plainMs = 0;
        const auto runOurs = [&] {
            const auto start = SteadyClock::now();
            if (!view.grabFrame(&error)) die(QStringLiteral("grab: ") + error);
            const auto grabbed = SteadyClock::now();
            if (!view.saveFrame(ourPath, &error)) die(QStringLiteral("save: ") + error);
            const auto saved = SteadyClock::now();
            oursMs = bench::millisecondsBetween(start, saved);
            grabMs = bench::millisecondsBetween(start, grabbed);
        };
        const auto runPlain = [&] {
            const auto start = SteadyClock::now();
            writePlainly(bytes, plainPath);
            plainMs = bench::millisecondsBetween(start, SteadyClock::now());
        };
        if (bytes.isEmpty()) {
            runOurs();
            bytes = readAll(ourPath);
            if (bytes.size() != expectedBytes || !bytes.startsWith("BM"))
                die(QStringLiteral("unexpected BMP of %1 bytes").arg(bytes.size()));
            continue; // the first picture only supplies the bytes
        }
        // Alternate the order so neither side always follows the other's disk writes.
        if (i % 2) {
            runOurs();
            runPlain();
        } else {
            runPlain();
            runOurs();
        }
        // The baseline writes what our save wrote for the previous picture: same size, same
        // header, same kind of rows.
        bytes = readAll(ourPath);
        if (i < warmUp) continue;
        ours.push_back(oursMs);
        grabs.push_back(grabMs);
        baseline.push_back(plainMs);
    }
    std::fprintf(stderr,
                 "%s: ours median %.2f ms (grab %.2f ms, p90 %.2f ms), plain median %.2f ms "
                 "(p90 %.2f ms), %d pictures each\n",
                 metric, bench::median(ours), bench::median(grabs), bench::percentile(ours, 0.9),
                 bench::median(baseline), bench::percentile(baseline, 0.9), pictures);
    bench::printRow(metric, bench::median(ours), bench::median(baseline), "ms");
    view.disconnectDriver();
    for (const QString& name : dir.entryList(QDir::Files))
        dir.remove(name);
}

void rss(const QString& folder, int pictures, int first) {
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    const QSize size(640, 480);
    connectCamera(view, fastSource(size.width(), size.height(), 1000), size);
    // The preview runs during a capture run, so it is part of what must stay flat.
    view.setPreviewRate(33);
    view.setPreview(true);
    QDir dir(folder);
    QString error;
    long afterFirst = 0;
    for (int i = 1; i <= pictures; ++i) {
        QCoreApplication::processEvents();
        const QString path = dir.filePath(QStringLiteral("Picture %1.bmp").arg(i));
        if (!takePicture(view, path, &error)) die(error);
        // Only one picture at a time is kept, so the run does not fill the folder's memory.
        if (!QFile::remove(path)) die(QStringLiteral("cannot remove ") + path);
        if (i == first) afterFirst = bench::residentKib();
        if (i % 1000 == 0)
            std::fprintf(stderr, "rss after %d pictures: %ld KiB\n", i, bench::residentKib());
    }
    QCoreApplication::processEvents();
    const long afterAll = bench::residentKib();
    std::fprintf(stderr, "rss: %ld KiB after %d pictures, %ld KiB after %d\n", afterFirst, first,
                 afterAll, pictures);
    bench::printRow("rss_growth_kib", double(afterAll - afterFirst), -1, "KiB", 0);
    view.disconnectDriver();
}

} // namespace

int main(int argc, char* argv[]) {
    // No display is needed: the preview paints off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = bench::startUp(&argc, &argv);
    const QString mode = args.value(1);
    const QString folder = args.value(2);
    if (mode == QLatin1String("snapshot")) {
        const int pictures = std::max(50, args.value(3, QStringLiteral("60")).toInt());
        snapshot(folder, pictures, "snapshot_640x480", QSize(640, 480), 1000);
        snapshot(folder, pictures, "snapshot_1920x1080", QSize(1920, 1080), 250);
    } else if (mode == QLatin1String("rss")) {
        rss(folder, args.value(3, QStringLiteral("10000")).toInt(),
            args.value(4, QStringLiteral("100")).toInt());
    } else {
        die(QStringLiteral("usage: bench_camera snapshot|rss FOLDER [PICTURES [FIRST]]"));
    }
    return 0;
}
