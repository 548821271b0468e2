// Making timelapse videos: the pictures to make them of, our encoder on the command line, and a
// timer that runs any command (ours or the reference encoder) and reports its wall time and
// peak memory.
//   bench_video pictures DIR N [links]   N pictures of 640 x 480 ("links": hard links to one)
//   bench_video encode RUN_DIR OUT FPS   the video of RUN_DIR's pictures, as the window makes it
//   bench_video measure COMMAND...       prints "seconds<TAB>peak_rss_mib<TAB>cpu_seconds"
#include "gst/gst_setup.h"
#include "pictures/bmp_writer.h"
#include "video/run_list.h"
#include "video_process/video_encoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void die(const QString& why) {
    std::fprintf(stderr, "bench_video: %s\n", qPrintable(why));
    std::exit(1);
}

// A scene that changes from picture to picture like a timelapse does: a sliding gradient, a
// moving block and a little sensor noise.
QImage scene(int index) {
    QImage image(640, 480, QImage::Format_RGB32);
    QRandomGenerator noise(quint32(index) + 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(noise.bounded(9)) - 4;
            const int r = std::clamp((x + index) % 256 + n, 0, 255);
            const int g = std::clamp((y + 2 * index) % 256 + n, 0, 255);
            const int b = std::clamp(128 + n, 0, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    const int left = (index * 3) % 560, top = (index * 2) % 400;
    for (int y = top; y < top + 80; ++y)
        for (int x = left; x < left + 80; ++x)
            image.setPixel(x, y, qRgb(240, 240, 240));
    return image;
}

int pictures(const QString& dir, int count, bool links) {
    QDir().mkpath(dir);
    QString error;
    const auto path = [&](int i) { return dir + QStringLiteral("/Picture %1.bmp").arg(i); };
    for (int i = 1; i <= count; ++i) {
        if (links && i > 1) {
            if (::link(QFile::encodeName(path(1)).constData(),
                       QFile::encodeName(path(i)).constData()))
                die(QStringLiteral("cannot link ") + path(i));
        } else if (!camera::writeBmp(scene(i), path(i), &error)) {
            die(error);
        }
    }
    return 0;
}

// The video process's encoder, given the job as the window gives it.
int encode(const QString& runDir, const QString& out, int fps) {
    video_process::VideoEncoder encoder;
    int status = 1;
    QObject::connect(&encoder, &video_process::VideoEncoder::finished,
                     [&](const video_process::VideoResult& r) {
                         if (!r.ok) std::fprintf(stderr, "bench_video: %s\n", qPrintable(r.error));
                         status = r.ok ? 0 : 1;
                         QCoreApplication::exit(status);
                     });
    const video::RunPictures scan = video::scanRun(runDir);
    video_process::VideoJob job{runDir, scan.pictures, scan.foreign, out, QString(), fps, {}};
    QString error;
    if (!video_process::reserveTemporaryVideo(&job, &error) || !encoder.start(job, &error))
        die(error);
    QCoreApplication::exec();
    return status;
}

int measure(char** command) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) die(QStringLiteral("cannot run"));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die(QStringLiteral("%1 failed").arg(QString::fromLocal8Bit(command[0])));
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%.3f\t%.1f\t%.3f\n", seconds, double(usage.ru_maxrss) / 1024.0, cpu);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("measure") && argc > 2) return measure(argv + 2);
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (mode == QLatin1String("pictures") && args.size() >= 4)
        return pictures(args[2], args[3].toInt(), args.value(4) == QLatin1String("links"));
    if (mode == QLatin1String("encode") && args.size() >= 5) {
        QString error;
        if (!gst::initGStreamer(&argc, &argv, &error)) die(error);
        return encode(args[2], args[3], args[4].toInt());
    }
    die(QStringLiteral("usage: bench_video pictures DIR N [links] | encode RUN_DIR OUT FPS | "
                       "measure COMMAND..."));
}
