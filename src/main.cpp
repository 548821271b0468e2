#include "camera_process/process_camera_view.h"
#include "controls/camera_controls.h"
#include "power/sleep_guard.h"
#include "shutdown/quit_signals.h"
#include "video/video_maker_flow.h"
#include "window/clock.h"
#include "window/font_warm_up.h"
#include "window/form1.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <sched.h>
#include <thread>

namespace {

// Keeps the calling thread off processor `cpu`, when there is another one to run on.
void keepOffProcessor(int cpu) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (cpu < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
    if (!CPU_ISSET(cpu, &allowed) || CPU_COUNT(&allowed) < 2) return;
    CPU_CLR(cpu, &allowed);
    sched_setaffinity(0, sizeof allowed, &allowed);
}

} // namespace

int main(int argc, char* argv[]) {
    // Start-up work that needs no GUI thread runs beside it while Qt starts and the window is
    // built, so that the format dialog comes sooner. It keeps off the processor the GUI thread
    // starts on: while Qt starts, the GUI thread and the X server take turns on it at every round
    // trip, and a helper there would make each turn wait for another processor to wake up.
    std::jthread warmUp([guiProcessor = sched_getcpu()] {
        keepOffProcessor(guiProcessor);
        window::warmUpFonts();
    });
    // The camera runs in a process of its own, started first: it loads GStreamer while Qt
    // starts and the window is built.
    const QString cameraProgram = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                                  QStringLiteral("/lumivex-camera");
    std::unique_ptr<camera_process::ChildProcess> cameraProcess =
        camera_process::ChildProcess::start(cameraProgram, nullptr);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Webcam Lumivex"));

    camera_process::ProcessCameraView camera(cameraProgram);
    if (cameraProcess) camera.prepare(std::move(cameraProcess));
    const QString folder = QCoreApplication::applicationDirPath();
    controls::CameraControls cameraSettings(camera, folder + QStringLiteral("/Cameras.ini"));
    window::QtMessageBoxes messages;
    window::SystemClock clock;
    window::TimerAlarm alarm(clock);
    video::VideoMakerFlow video(messages, QLocale());
    power::SleepGuard sleepGuard(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
    window::Form1Deps deps{
        camera, messages,       clock, alarm, folder, QLocale(), window::freeBytesAt,
        &video, &cameraSettings};
    deps.sleepGuard = &sleepGuard;
    // The panel waits until the camera is set up: the format dialog comes first at start-up.
    window::Form1 form(std::move(deps), window::Form1::Panel::AfterLoad);

    // A shutdown, a logout or Ctrl+C: the run's pictures are saved and its log says the program
    // ended, so that the next start takes the run up again.
    ending::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &ending::QuitSignals::quitRequested, &form,
                     [&form](const QString& name) {
                         form.endBySignal(name);
                         QApplication::closeAllWindows(); // the format dialog, if it is open
                         QCoreApplication::quit();
                     });

    warmUp.join();
    // A failed start-up has told the user; the program ends at once, without the shutdown.
    if (!form.Load()) return quitSignals.received() ? 0 : 1;
    if (quitSignals.received()) return 0;
    form.show();
    return app.exec();
}
