#pragma once

#include "gst/gst_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Small helpers shared by the benchmark programs. Each program prints its results as
// tab-separated rows "metric ours baseline ratio unit" on stdout; scripts/run-bench.sh
// gathers them into the results table. Progress and details go to stderr.
namespace bench {

[[noreturn]] inline void die(const QString& why) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(why));
    std::exit(1);
}

// What every benchmark program does once its QApplication exists: start GStreamer and check
// that the folder named by its second argument exists. Returns the arguments.
inline QStringList startUp(int* argc, char*** argv) {
    QString error;
    if (!gst::initGStreamer(argc, argv, &error)) die(error);
    const QStringList args = QCoreApplication::arguments();
    const QString folder = args.value(2);
    if (folder.isEmpty() || !QDir(folder).exists())
        die(QStringLiteral("no such folder: ") + folder);
    return args;
}

using SteadyClock = std::chrono::steady_clock;

inline double millisecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// One row of the results table. A baseline of less than zero means "none": the cell stays
// empty and so does the ratio.
inline void printRow(const char* metric, double ours, double baseline, const char* unit,
                     int decimals = 2) {
    if (baseline < 0) {
        std::printf("%s\t%.*f\t\t\t%s\n", metric, decimals, ours, unit);
    } else {
        const double ratio = baseline > 0 ? ours / baseline : 0;
        std::printf("%s\t%.*f\t%.*f\t%.2f\t%s\n", metric, decimals, ours, decimals, baseline, ratio,
                    unit);
    }
    std::fflush(stdout);
}

// Resident memory of this process in KiB, as the kernel counts it.
inline long residentKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// The longest gap between the ticks of a short repeating timer on the GUI thread. A tick only
// reads the clock, so the meter itself holds nothing up.
class GapMeter {
public:
    GapMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        started_ = last_ = SteadyClock::now();
        timer_.start();
    }
    void stop() {
        tick();
        timer_.stop();
    }
    double longestMs() const { return longest_; }
    // The stalls over 50 ms as "length ms at second", for the log.
    const QStringList& stalls() const { return stalls_; }

private:
    void tick() {
        const auto now = SteadyClock::now();
        const double gap = millisecondsBetween(last_, now);
        longest_ = std::max(longest_, gap);
        if (gap > 50)
            stalls_ << QStringLiteral("%1 ms at %2 s")
                           .arg(gap, 0, 'f', 0)
                           .arg(millisecondsBetween(started_, last_) / 1000, 0, 'f', 1);
        last_ = now;
    }

    QTimer timer_;
    SteadyClock::time_point started_, last_;
    double longest_ = 0;
    QStringList stalls_;
};

} // namespace bench
