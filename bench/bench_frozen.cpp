// The frozen-camera check's cost: the camera pipeline at 1920 x 1080, 30 frames a second, with
// the check on and off in turns, and the processor time of each turn.
#include "bench_util.h"
#include "camera/camera_pipeline.h"
#include "camera/source_element.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <sys/resource.h>
#include <vector>

namespace {

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor seconds per second of one pipeline's stream over `seconds`.
double turn(bool check, int seconds) {
    QString error;
    // A moving picture, as a working camera's: the check looks at it and finds it fine.
    gst::ElementPtr source = camera::makeSourceFromDescription(
        QStringLiteral("videotestsrc is-live=true pattern=ball ! "
                       "video/x-raw,format=BGRx,width=1920,height=1080,framerate=30/1"),
        &error);
    if (!source) bench::die(error);
    camera::CameraPipeline pipeline(std::move(source));
    if (check) pipeline.watchFrozen(camera::FrozenWatch(std::chrono::seconds(30)));
    QList<camera::VideoFormat> formats;
    if (!pipeline.open(&formats, &error) || !pipeline.complete(std::nullopt, nullptr, &error) ||
        !pipeline.start(&error) || !pipeline.waitStarted(std::chrono::seconds(5), &error))
        bench::die(error);
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit); // past the start
    loop.exec();
    const double before = processorSeconds();
    const auto from = bench::SteadyClock::now();
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double wall = bench::millisecondsBetween(from, bench::SteadyClock::now()) / 1000;
    return (processorSeconds() - before) / wall;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    bench::startUp(&argc, &argv);
    const int seconds = QCoreApplication::arguments().value(3, QStringLiteral("5")).toInt();
    // The check's own work, alone: a fingerprint of a 1920 x 1080 BGRx frame.
    std::vector<std::uint8_t> frame(std::size_t(1920) * 1080 * 4, 7);
    const auto from = bench::SteadyClock::now();
    std::uint64_t sum = 0;
    for (int i = 0; i < 1000; ++i) {
        frame[std::size_t(i) * 4096 % frame.size()] = std::uint8_t(i);
        sum += camera::frameFingerprint(frame.data(), frame.size(), 1920 * 4);
    }
    std::fprintf(stderr, "a fingerprint of 1920 x 1080: %.1f us (four a second at most) [%llu]\n",
                 bench::millisecondsBetween(from, bench::SteadyClock::now()),
                 static_cast<unsigned long long>(sum % 10));
    double on = 0, off = 0;
    for (int round = 0; round < 3; ++round) {
        off += turn(false, seconds);
        on += turn(true, seconds);
    }
    std::fprintf(stderr, "frozen check: on %.4f s/s, off %.4f s/s\n", on / 3, off / 3);
    bench::printRow("frozen_check_cpu", on / 3, off / 3, "cpu_s/s", 4);
}
