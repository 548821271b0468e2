// The frozen-camera check's cost: the camera pipeline at 1920 x 1080, 30 frames a second, with
// the check on and off in turns, and the processor time of each turn.
#include "bench_util.h"
#include "camera/camera_pipeline.h"
#include "camera/source_element.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
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
    // Turns of each in the order off-on, on-off, ..., so that a machine that slows or speeds up
    // over the minute weighs on both alike; the medians, so that one disturbed turn does not.
    std::vector<double> on, off;
    for (int round = 0; round < 6; ++round) {
        const bool onFirst = round % 2 == 1;
        for (const bool check : {onFirst, !onFirst})
            (check ? on : off).push_back(turn(check, seconds));
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    };
    std::fprintf(stderr, "frozen check: on %.4f s/s, off %.4f s/s (medians of %zu turns)\n",
                 median(on), median(off), on.size());
    bench::printRow("frozen_check_cpu", median(on), median(off), "cpu_s/s", 4);
}
