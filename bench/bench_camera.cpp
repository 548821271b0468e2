// The cost of a picture and the memory of a long run, on the real camera view: a GStreamer
// pipeline from videotestsrc, the camera view's grabFrame and saveFrame (the
// program's BMP writer), or grabFrame and the window's save queue for PNG and JPEG.
//
//   bench_camera snapshot FOLDER PICTURES   snapshot_640x480, snapshot_1920x1080
//   bench_camera encoded FOLDER PICTURES    snapshot_jpeg_1920x1080, snapshot_png_1920x1080
//   bench_camera rss FOLDER PICTURES FIRST  rss_growth_kib
#include "bench_util.h"
#include "camera_api/step_by_step.h"
#include "camera_process/process_camera_view.h"
#include "gst/gst_setup.h"
#include "pictures/bmp_writer.h"
#include "pictures/png_encoder.h"
#include "pictures/save_queue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWidget>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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
    if (!camera::createAndWait(view, nullptr, size, source, &error))
        die(QStringLiteral("create: ") + error);
    if (!camera::connectAndWait(view, &error)) die(QStringLiteral("connect: ") + error);
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

// Syncs the file at `temporary` and renames it to `path`: as durable as our save.
void syncAndRename(const QByteArray& temporary, const QString& path) {
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0 || ::close(fd) != 0) die(QStringLiteral("cannot sync"));
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        die(QStringLiteral("rename"));
}

// The JPEG baseline: libjpeg-turbo's own cjpeg at quality 90 on the frame as a PPM file (made
// beforehand), then the file synced and renamed into place.
void cjpegPlainly(const QString& ppm, const QString& path) {
    const QByteArray temporary = QFile::encodeName(path) + ".tmp";
    const QByteArray input = QFile::encodeName(ppm);
    const char* argv[] = {"cjpeg",           "-quality", "90", "-outfile", temporary.constData(),
                          input.constData(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "cjpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        die(QStringLiteral("cannot start cjpeg (libjpeg-turbo-progs)"));
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die(QStringLiteral("cjpeg failed"));
    syncAndRename(temporary, path);
}

// Holds no object with a destructor: libpng's errors jump out of it.
bool encodePlainPng(FILE* file, const unsigned char* rgb, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, pictures::PngCompressionLevel);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, rgb + std::size_t(y) * std::size_t(width) * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The PNG baseline: plain libpng at our compression level and its default filters, on 24-bit
// RGB rows made beforehand, then the file synced and renamed into place.
void pngPlainly(const std::vector<unsigned char>& rgb, QSize size, const QString& path) {
    const QByteArray temporary = QFile::encodeName(path) + ".tmp";
    FILE* file = std::fopen(temporary.constData(), "wb");
    if (!file || !encodePlainPng(file, rgb.data(), size.width(), size.height()) ||
        std::fclose(file) != 0)
        die(QStringLiteral("plain PNG failed"));
    syncAndRename(temporary, path);
}

std::vector<unsigned char> rgbRows(const QImage& frame) {
    const QImage rgb = frame.convertToFormat(QImage::Format_RGB888);
    std::vector<unsigned char> rows(std::size_t(rgb.width()) * 3 * std::size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(rows.data() + std::size_t(y) * std::size_t(rgb.width()) * 3,
                    rgb.constScanLine(y), std::size_t(rgb.width()) * 3);
    return rows;
}

void writePpm(const std::vector<unsigned char>& rgb, QSize size, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) die(QStringLiteral("ppm"));
    file.write(QStringLiteral("P6\n%1 %2\n255\n").arg(size.width()).arg(size.height()).toLatin1());
    file.write(reinterpret_cast<const char*>(rgb.data()), qint64(rgb.size()));
}

// A picture as the window saves it in PNG or JPEG: the grabbed frame handed to the save queue,
// which encodes and writes it; the time runs from the hand-over until its result is in (the
// grab before it is logged apart). The baseline encodes and writes the same frame with the
// format's own library as plainly as it can be done.
void encodedSnapshot(const QString& folder, int pictures, const char* metric,
                     pictures::PictureFormat format) {
    const QSize size(1920, 1080);
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    connectCamera(view, fastSource(size.width(), size.height(), 250), size);
    pictures::SaveQueue queue(camera::saveFileAtomically);
    pictures::PictureOptions options;
    options.format = format;
    const QString extension = pictures::formatExtension(format);
    QDir dir(folder);
    QString error;
    std::vector<double> ours, grabs, baseline;
    double oursBytes = 0, plainBytes = 0;
    const int warmUp = 3;
    for (int i = 0; i < warmUp + pictures; ++i) {
        const QString ourPath =
            dir.filePath(QStringLiteral("Picture %1.%2").arg(i + 1).arg(extension));
        const QString plainPath =
            dir.filePath(QStringLiteral("Plain %1.%2").arg(i + 1).arg(extension));
        QCoreApplication::processEvents();
        QImage frame;
        double oursMs = 0, grabMs = 0, plainMs = 0;
        const auto runOurs = [&] {
            const auto grab = SteadyClock::now();
            if (!view.grabFrame(&error)) die(QStringLiteral("grab: ") + error);
            const auto start = SteadyClock::now();
            grabMs = bench::millisecondsBetween(grab, start);
            frame = view.grabbedFrame();
            if (!queue.add({i + 1, ourPath, frame, view.grabbedAt(), options}) ||
                !queue.waitUntilIdle(std::chrono::seconds(30)))
                die(QStringLiteral("the save queue did not save"));
            const auto saved = SteadyClock::now();
            for (const auto& result : queue.takeResults())
                if (!result.ok) die(QStringLiteral("save: ") + result.error);
            oursMs = bench::millisecondsBetween(start, saved);
        };
        // The baseline gets our frame, made ready outside its timing.
        runOurs();
        const std::vector<unsigned char> rgb = rgbRows(frame);
        const QString ppm = dir.filePath(QStringLiteral("frame.ppm"));
        if (format == pictures::PictureFormat::Jpeg) writePpm(rgb, size, ppm);
        const auto start = SteadyClock::now();
        if (format == pictures::PictureFormat::Jpeg)
            cjpegPlainly(ppm, plainPath);
        else
            pngPlainly(rgb, size, plainPath);
        plainMs = bench::millisecondsBetween(start, SteadyClock::now());
        // Every other picture, ours again after the baseline, so that neither always follows
        // the other's disk writes; the first of ours only supplied the frame then.
        if (i % 2) runOurs();
        if (i < warmUp) continue;
        ours.push_back(oursMs);
        grabs.push_back(grabMs);
        baseline.push_back(plainMs);
        oursBytes += double(QFileInfo(ourPath).size());
        plainBytes += double(QFileInfo(plainPath).size());
    }
    std::fprintf(stderr,
                 "%s: ours median %.2f ms (grab %.2f ms, p90 %.2f ms, %.0f KiB), plain median "
                 "%.2f ms (p90 %.2f ms, %.0f KiB), %d pictures each\n",
                 metric, bench::median(ours), bench::median(grabs), bench::percentile(ours, 0.9),
                 oursBytes / pictures / 1024, bench::median(baseline),
                 bench::percentile(baseline, 0.9), plainBytes / pictures / 1024, pictures);
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
    } else if (mode == QLatin1String("encoded")) {
        const int pictures = std::max(20, args.value(3, QStringLiteral("40")).toInt());
        encodedSnapshot(folder, pictures, "snapshot_jpeg_1920x1080", pictures::PictureFormat::Jpeg);
        encodedSnapshot(folder, pictures, "snapshot_png_1920x1080", pictures::PictureFormat::Png);
    } else if (mode == QLatin1String("rss")) {
        rss(folder, args.value(3, QStringLiteral("10000")).toInt(),
            args.value(4, QStringLiteral("100")).toInt());
    } else {
        die(QStringLiteral("usage: bench_camera snapshot|encoded|rss FOLDER [PICTURES [FIRST]]"));
    }
    return 0;
}
