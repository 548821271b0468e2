// Pictures on time: the real window's capture run at interval 1.
//
//   bench_ticks live FOLDER PICTURES   tick_max_error_ms: Form1 with the system clock, the
//                                      precise timer alarm and the GStreamer camera view, next
//                                      to a plain repeating 1000 ms QTimer taking the same
//                                      pictures from the same camera
//   bench_ticks day                    tick_drift_ms_24h: a simulated day at interval 1 with
//                                      wake-ups coming 0 to 15 ms late, as in the window tests
//   bench_ticks saving FOLDER PICTURES gui_stall_ms_saving: the longest the window's event loop
//                                      is held up during a run of 1920 x 1080 PNG pictures at
//                                      interval 1
//   bench_ticks silent FOLDER SECONDS  gui_stall_ms_silent_camera: the same during a run at
//                                      interval 1 while every camera process is stopped
//                                      (SIGSTOP) for SECONDS: a camera that delivers nothing
//   bench_ticks log FOLDER             log_cost_us: one row of the run's log, flushed to the
//                                      disk of FOLDER
#include "bench_util.h"
#include "camera_process/process_camera_view.h"
#include "gst/gst_setup.h"
#include "runs/run_log.h"
#include "window/clock.h"
#include "window/form1.h"
#include "window/load_and_wait.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>
#include <csignal>
#include <optional>

namespace {

using bench::die;

using namespace std::chrono_literals;
using window::Nanoseconds;

// Passes every call to the real camera view and notes when each grab was asked for: the
// moment the window takes the picture.
class GrabRecorder : public camera::CameraView {
public:
    GrabRecorder(camera::CameraView& inner, const window::Clock& clock)
        : inner_(inner), clock_(clock) {
        connect(&inner_, &CameraView::cameraLost, this, &CameraView::cameraLost);
        connect(&inner_, &CameraView::cameraBack, this, &CameraView::cameraBack);
        connect(&inner_, &CameraView::grabDone, this, &GrabRecorder::onGrabDone);
        connect(&inner_, &CameraView::created, this, &CameraView::created);
        connect(&inner_, &CameraView::connected, this, &CameraView::connected);
        connect(&inner_, &CameraView::formatChosen, this, &CameraView::formatChosen);
    }

    std::vector<Nanoseconds> grabs;
    double longestGrabMs = 0;
    int failures = 0;

    void create(QWidget* parent, QSize size, const QString& source) override {
        inner_.create(parent, size, source);
    }
    void connectDriver() override { inner_.connectDriver(); }
    void setPreviewRate(int milliseconds) override { inner_.setPreviewRate(milliseconds); }
    void setPreview(bool on) override { inner_.setPreview(on); }
    void videoFormatDialog() override { inner_.videoFormatDialog(); }
    void requestGrab(qint64 ticket) override {
        asked_.insert(ticket, clock_.monotonic());
        grabs.push_back(clock_.monotonic());
        inner_.requestGrab(ticket);
    }
    void disconnectDriver() override { inner_.disconnectDriver(); }
    QSize pictureSize() const override { return inner_.pictureSize(); }

private:
    void onGrabDone(qint64 ticket, const QImage& frame, const QDateTime& captured,
                    const QString& error) {
        if (const auto asked = asked_.find(ticket); asked != asked_.end()) {
            longestGrabMs = std::max(
                longestGrabMs,
                std::chrono::duration<double, std::milli>(clock_.monotonic() - *asked).count());
            asked_.erase(asked);
        }
        failures += frame.isNull();
        emit grabDone(ticket, frame, captured, error);
    }

    QHash<qint64, Nanoseconds> asked_;
    camera::CameraView& inner_;
    const window::Clock& clock_;
};

// Message boxes would stop the run to wait for a user; here they are only written down.
class LoggedMessages : public window::MessageBoxes {
public:
    void show(const QString& text, const QString& title, Icon) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    }
};

// The largest distance between picture k's due time, start + k seconds, and when it was taken.
double worstErrorMs(const std::vector<Nanoseconds>& taken, Nanoseconds start) {
    double worst = 0;
    for (std::size_t k = 1; k <= taken.size(); ++k) {
        const Nanoseconds due = start + std::chrono::seconds(k);
        worst = std::max(
            worst, std::abs(std::chrono::duration<double, std::milli>(taken[k - 1] - due).count()));
    }
    return worst;
}

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) < 0)
        die(QStringLiteral("cannot write ") + path);
}

// Starts the window through the format dialog, accepted as Enter would.
void loadAcceptingTheFormat(window::Form1& form) {
    QTimer acceptDialog;
    QObject::connect(&acceptDialog, &QTimer::timeout, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    acceptDialog.start(50);
    if (!window::loadAndWait(form)) die(QStringLiteral("the window did not start"));
}

// The real window on the real camera process, its grabs recorded; started through the format
// dialog, with a second for the preview to settle.
struct RecordedWindow {
    explicit RecordedWindow(const QString& folder)
        : form({recorder, messages, clock, alarm, folder}) {
        loadAcceptingTheFormat(form);
        form.show();
        QEventLoop settle;
        QTimer::singleShot(1000, &settle, &QEventLoop::quit);
        settle.exec();
    }

    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    window::SystemClock clock;
    window::TimerAlarm alarm{clock};
    GrabRecorder recorder{view, clock};
    LoggedMessages messages;
    window::Form1 form;
};

int live(const QString& folder, int pictures) {
    QDir dir(folder);
    writeFile(dir.filePath(QStringLiteral("Config.ini")),
              "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\n"
              "Source=videotestsrc is-live=true\r\n");
    if (!dir.mkpath(QStringLiteral("pictures")) || !dir.mkpath(QStringLiteral("plain")))
        die(QStringLiteral("cannot make folders in ") + folder);

    // Start-up ends in the modal format dialog; the default is accepted as a user pressing Enter,
    // and the preview settles before the run starts, as a user would let it.
    RecordedWindow window(folder);
    auto& [view, clock, alarm, recorder, messages, form] = window;

    form.txtInterval->setText(QStringLiteral("1"));
    form.cmdStart->click();
    if (!form.isRunning()) die(QStringLiteral("the run did not start"));
    const Nanoseconds oursStart = form.Timer->nextDue() - window::Ticker::Period;

    // The baseline takes its pictures half a second off ours, so neither waits on the other.
    std::vector<Nanoseconds> plainGrabs;
    int plainFailures = 0;
    Nanoseconds plainStart{};
    QTimer plainTimer;
    plainTimer.setInterval(1000);
    QObject::connect(&plainTimer, &QTimer::timeout, [&] {
        plainGrabs.push_back(clock.monotonic());
        const QString path =
            dir.filePath(QStringLiteral("plain/Picture %1.bmp").arg(plainGrabs.size()));
        QString error;
        if (!view.grabFrame(&error) || !view.saveFrame(path, &error)) ++plainFailures;
    });
    QTimer::singleShot(500, [&] {
        plainStart = clock.monotonic();
        plainTimer.start();
    });

    QEventLoop run;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (recorder.grabs.size() >= std::size_t(pictures) &&
            plainGrabs.size() >= std::size_t(pictures))
            run.quit();
    });
    check.start(100);
    run.exec();
    form.cmdStop->click();
    plainTimer.stop();
    recorder.grabs.resize(std::size_t(pictures));
    plainGrabs.resize(std::size_t(pictures));

    if (recorder.failures || form.lngNotSaved || plainFailures)
        die(QStringLiteral("%1 of our pictures and %2 of the baseline's failed")
                .arg(recorder.failures + form.lngNotSaved)
                .arg(plainFailures));
    const double ours = worstErrorMs(recorder.grabs, oursStart);
    const double plain = worstErrorMs(plainGrabs, plainStart);
    const auto lastMs = [](const std::vector<Nanoseconds>& taken, Nanoseconds start) {
        return std::chrono::duration<double, std::milli>(taken.back() - start -
                                                         std::chrono::seconds(taken.size()))
            .count();
    };
    std::fprintf(stderr,
                 "tick: %d pictures each; ours worst %.2f ms, last %+.2f ms; plain QTimer worst "
                 "%.2f ms, last %+.2f ms\n",
                 pictures, ours, lastMs(recorder.grabs, oursStart), plain,
                 lastMs(plainGrabs, plainStart));
    bench::printRow("tick_max_error_ms", ours, plain, "ms");
    return 0;
}

// Simulated time, as the window tests use it.
class SimulatedClock : public window::Clock {
public:
    Nanoseconds now{1h};
    Nanoseconds monotonic() const override { return now; }
    QDateTime localNow() const override { return {QDate(2026, 12, 6), QTime(7, 40, 39)}; }
};

class SimulatedAlarm : public window::Alarm {
public:
    std::optional<Nanoseconds> deadline;
    void wakeAt(Nanoseconds at) override { deadline = at; }
    void cancel() override { deadline.reset(); }
};

// A camera that only notes when each picture was asked for; nothing is written.
class CountingCamera : public camera::CameraView {
public:
    explicit CountingCamera(const window::Clock& clock) : clock_(clock) {}
    std::vector<Nanoseconds> grabs;

    void create(QWidget* parent, QSize size, const QString&) override {
        auto* widget = new QWidget(parent);
        widget->resize(size);
        QMetaObject::invokeMethod(
            this, [this, widget] { emit created(widget, {}); }, Qt::QueuedConnection);
    }
    void connectDriver() override {
        QMetaObject::invokeMethod(
            this, [this] { emit connected({}); }, Qt::QueuedConnection);
    }
    void setPreviewRate(int) override {}
    void setPreview(bool) override {}
    void videoFormatDialog() override {
        QMetaObject::invokeMethod(this, &CameraView::formatChosen, Qt::QueuedConnection);
    }
    // Nothing to save: every picture is counted as not saved, and nothing is written.
    void requestGrab(qint64 ticket) override {
        grabs.push_back(clock_.monotonic());
        emit grabDone(ticket, {}, {}, QStringLiteral("There is no picture to save"));
    }
    void disconnectDriver() override {}
    QSize pictureSize() const override { return {640, 480}; }

private:
    const window::Clock& clock_;
};

int day(const QString& folder) {
    QDir dir(folder);
    writeFile(dir.filePath(QStringLiteral("Config.ini")),
              "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\n");
    dir.mkpath(QStringLiteral("pictures"));
    SimulatedClock clock;
    SimulatedAlarm alarm;
    CountingCamera camera(clock);
    LoggedMessages messages;
    window::Form1 form({camera, messages, clock, alarm, folder, QLocale(),
                        [](const QString&) { return std::int64_t(1) << 40; }});
    if (!window::loadAndWait(form)) die(QStringLiteral("the window did not start"));
    form.txtInterval->setText(QStringLiteral("1"));
    form.cmdStart->click();
    const Nanoseconds start = clock.now;

    // Each wake-up comes 0 to 15 ms after its deadline (the same generator as the tests).
    std::uint32_t seed = 12345;
    const Nanoseconds end = start + 24h + 500ms;
    while (alarm.deadline && *alarm.deadline <= end) {
        seed = seed * 1664525u + 1013904223u;
        clock.now = *alarm.deadline + std::chrono::microseconds(seed % 15000);
        alarm.deadline.reset();
        emit alarm.rang();
    }
    if (camera.grabs.size() != 86400)
        die(QStringLiteral("%1 pictures in a day instead of 86400").arg(camera.grabs.size()));
    const double worst = worstErrorMs(camera.grabs, start);
    const double last = std::chrono::duration<double, std::milli>(camera.grabs.back() - start -
                                                                  std::chrono::seconds(86400))
                            .count();
    std::fprintf(stderr, "day: 86400 pictures, worst %.2f ms off, the last %.2f ms late\n", worst,
                 last);
    bench::printRow("tick_drift_ms_24h", worst, -1, "ms");
    return 0;
}

} // namespace

int saving(const QString& folder, int pictures) {
    QDir dir(folder);
    writeFile(dir.filePath(QStringLiteral("Config.ini")),
              "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\nPictureFormat=PNG\r\n"
              "Source=videotestsrc is-live=true ! video/x-raw,width=1920,height=1080,"
              "framerate=30/1\r\n");
    if (!dir.mkpath(QStringLiteral("pictures"))) die(QStringLiteral("cannot make ") + folder);
    RecordedWindow window(folder);
    auto& [view, clock, alarm, recorder, messages, form] = window;
    if (view.pictureSize() != QSize(1920, 1080)) die(QStringLiteral("not 1920 x 1080"));
    recorder.longestGrabMs = 0;

    form.txtInterval->setText(QStringLiteral("1"));
    bench::GapMeter meter;
    meter.start();
    form.cmdStart->click();
    if (!form.isRunning()) die(QStringLiteral("the run did not start"));
    QEventLoop run;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (form.lngTaken >= pictures) run.quit();
    });
    check.start(100);
    run.exec();
    meter.stop();
    form.cmdStop->click();
    if (form.lngNotSaved) die(QStringLiteral("%1 pictures not saved").arg(form.lngNotSaved));
    std::fprintf(stderr,
                 "saving: %d PNG pictures of 1920 x 1080 at interval 1, longest gap %.1f ms (the "
                 "longest grab %.1f ms)%s\n",
                 pictures, meter.longestMs(), recorder.longestGrabMs,
                 meter.stalls().isEmpty()
                     ? ""
                     : qPrintable(QStringLiteral("; stalls: ") + meter.stalls().join(", ")));
    bench::printRow("gui_stall_ms_saving", meter.longestMs(), -1, "ms", 0);
    return 0;
}

int silent(const QString& folder, int seconds) {
    QDir dir(folder);
    writeFile(dir.filePath(QStringLiteral("Config.ini")),
              "[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\n"
              "Source=videotestsrc is-live=true\r\n");
    if (!dir.mkpath(QStringLiteral("pictures"))) die(QStringLiteral("cannot make ") + folder);
    camera_process::ProcessCameraView view{LUMIVEX_CAMERA_PROGRAM};
    window::SystemClock clock;
    window::TimerAlarm alarm{clock};
    LoggedMessages messages;
    window::Form1 form({view, messages, clock, alarm, folder});
    loadAcceptingTheFormat(form);
    form.txtInterval->setText(QStringLiteral("1"));
    form.cmdStart->click();
    if (!form.isRunning()) die(QStringLiteral("the run did not start"));

    // Every camera process, the first and each one started in its place, is stopped as soon as
    // it is seen, and goes on only when the silence is over.
    QList<pid_t> stopped;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        const pid_t pid = view.cameraProcessId();
        if (pid > 0 && !stopped.contains(pid) && ::kill(pid, SIGSTOP) == 0) stopped << pid;
    });
    bench::GapMeter meter;
    meter.start();
    stopper.start(20);
    const qint32 before = form.lngTaken;
    QEventLoop wait;
    QTimer::singleShot(seconds * 1000, &wait, &QEventLoop::quit);
    wait.exec();
    stopper.stop();
    meter.stop();
    for (const pid_t pid : stopped)
        ::kill(pid, SIGCONT);
    const qint32 due = form.lngTaken - before;
    std::fprintf(stderr,
                 "silent camera: %d camera processes stopped in %d s; %d pictures fell due, %d "
                 "not saved; longest gap %.1f ms%s\n",
                 int(stopped.size()), seconds, due, form.lngNotSaved, meter.longestMs(),
                 meter.stalls().isEmpty()
                     ? ""
                     : qPrintable(QStringLiteral("; stalls: ") + meter.stalls().join(", ")));
    if (due < seconds - 1)
        die(QStringLiteral("only %1 pictures fell due in %2 s").arg(due).arg(seconds));
    form.cmdStop->click();
    bench::printRow("gui_stall_ms_silent_camera", meter.longestMs(), -1, "ms", 0);
    return 0;
}

// One row of the run's log as a picture adds it: written and flushed to the disk, by the log's
// own thread (the window does not wait for it).
int logCost(const QString& folder) {
    runs::RunLog log;
    QString error;
    if (!QDir().mkpath(folder) || !log.open(folder, &error)) die(error);
    constexpr int Rows = 500;
    const auto start = bench::SteadyClock::now();
    for (int n = 1; n <= Rows; ++n) {
        if (!log.append(
                {QDateTime::currentDateTime(), runs::event::Saved, n,
                 QStringLiteral("Picture %1.bmp, captured 2026-12-08T07:40:39.120+01:00").arg(n)},
                &error))
            die(error);
        log.flush(); // on the disk, as after a picture: the log's thread writes it meanwhile
    }
    const double us = bench::millisecondsBetween(start, bench::SteadyClock::now()) * 1000.0 / Rows;
    std::fprintf(stderr, "log: %d rows, %.0f us each with fdatasync\n", Rows, us);
    bench::printRow("log_cost_us", us, -1, "us", 0);
    return 0;
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = bench::startUp(&argc, &argv);
    const QString folder = args.value(2);
    if (args.value(1) == QLatin1String("live"))
        return live(folder, std::max(60, args.value(3, QStringLiteral("60")).toInt()));
    if (args.value(1) == QLatin1String("day")) return day(folder);
    if (args.value(1) == QLatin1String("saving"))
        return saving(folder, std::max(10, args.value(3, QStringLiteral("30")).toInt()));
    if (args.value(1) == QLatin1String("silent"))
        return silent(folder, std::max(5, args.value(3, QStringLiteral("20")).toInt()));
    if (args.value(1) == QLatin1String("log")) return logCost(folder);
    die(QStringLiteral("usage: bench_ticks live|day|saving|silent|log FOLDER [PICTURES]"));
}
