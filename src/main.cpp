#include "camera_process/process_camera_view.h"
#include "controls/camera_controls.h"
#include "events/command_runner.h"
#include "events/on_event.h"
#include "instance/one_program.h"
#include "power/sleep_guard.h"
#include "settings/mod_ini.h"
#include "shutdown/quit_signals.h"
#include "video/video_maker_flow.h"
#include "web/run_page.h"
#include "window/clock.h"
#include "window/font_warm_up.h"
#include "window/form1.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QTimer>
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Webcam Lumivex"));
    const QString folder = QCoreApplication::applicationDirPath();

    // One program a folder: started again (a click while it runs from login, say), it brings
    // the window that runs to the front and leaves the run to it.
    instance::OneProgram oneProgram;
    QString notAlone;
    switch (oneProgram.claim(folder, &notAlone)) {
    case instance::OneProgram::Claim::OtherRaised:
        // Fontconfig's start must be over before Qt ends: ended beside it, fontconfig loses
        // what it was reading (the leak checker sees it on a busy machine).
        warmUp.join();
        return 0;
    case instance::OneProgram::Claim::Failed:
        qWarning("%s", qPrintable(notAlone));
        break;
    case instance::OneProgram::Claim::Ours:
        break;
    }
    QObject::connect(&oneProgram, &instance::OneProgram::raiseRequested, &instance::bringToFront);

    // The camera runs in a process of its own. It starts once the format dialog is on the
    // screen: loading GStreamer beside Qt's start on two processors held up the dialog by more
    // than it gained the camera.
    camera_process::ProcessCameraView camera(
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
        QStringLiteral("/lumivex-camera"));
    controls::CameraControls cameraSettings(camera.controls(),
                                            folder + QStringLiteral("/Cameras.ini"));
    window::QtMessageBoxes messages;
    window::SystemClock clock;
    window::TimerAlarm alarm(clock);
    // Videos are made in a process of their own, started for each video.
    video::VideoMakerFlow video(messages, QLocale(), folder + QStringLiteral("/lumivex-video"));
    // The desktop's buses are connected to once start-up is over (below).
    power::SleepGuard sleepGuard;
    window::Form1Deps deps{
        camera, messages,       clock, alarm, folder, QLocale(), window::freeBytesAt,
        &video, &cameraSettings};
    deps.sleepGuard = &sleepGuard;

    // Looking in from elsewhere: the run's web page and the command on every event, when
    // Config.ini turns them on. What stops them is said once the window is up.
    const web::WebSettings webSettings = web::readWebSettings(
        [&folder](const QString& key) {
            return modIni::ReadIniValue(QStringLiteral("MAIN"), key, QStringLiteral("Config.ini"),
                                        QString(), folder);
        },
        folder);
    QStringList lookInProblems = webSettings.problems;
    runs::RunWatchers watchers;
    std::unique_ptr<web::RunPage> page;
    if (webSettings.port) {
        page = std::make_unique<web::RunPage>(folder, webSettings);
        if (QString why; page->start(&why)) {
            watchers.add(&page->board());
            deps.lookIn = {[&page] { return page->link(); },
                           [&page](QString* error) { return page->newKey(error); }};
        } else {
            lookInProblems << QStringLiteral("The run's page is off: %1").arg(why);
            page.reset();
        }
    }
    std::unique_ptr<events::CommandRunner> commands;
    std::unique_ptr<events::OnEvent> onEvent;
    if (!webSettings.onEvent.isEmpty()) {
        commands = std::make_unique<events::CommandRunner>(webSettings.onEvent);
        onEvent = std::make_unique<events::OnEvent>(*commands);
        watchers.add(onEvent.get());
    }
    if (!watchers.empty()) deps.runWatcher = &watchers;
    // The panel waits until the camera is set up: the format dialog comes first at start-up.
    window::Form1 form(std::move(deps), window::Form1::Panel::AfterLoad);

    // A shutdown, a logout or Ctrl+C: the run's pictures are saved and its log says the program
    // ended, so that the next start takes the run up again.
    ending::QuitSignals quitSignals;
    QObject::connect(&quitSignals, &ending::QuitSignals::quitRequested, &form,
                     [&form, &commands](const QString& name) {
                         form.endBySignal(name);
                         // The command for the run's end is given a moment to run.
                         if (commands) commands->finish(std::chrono::seconds(5));
                         QApplication::closeAllWindows(); // the format dialog, if it is open
                         QCoreApplication::quit();
                     });

    warmUp.join();
    // Start-up goes on from the event loop as the camera answers; a failed one has told the
    // user, and the program ends at once, without the shutdown.
    QObject::connect(
        &form, &window::Form1::loaded, &app,
        [&](bool ok) {
            if (!ok) {
                QCoreApplication::exit(quitSignals.received() ? 0 : 1);
                return;
            }
            form.show();
            // Connecting to the buses takes milliseconds (more without a session bus, where Qt
            // looks for one through the X server), which the format dialog need not wait for.
            QTimer::singleShot(0, &sleepGuard, [&sleepGuard] {
                sleepGuard.useBuses(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
            });
            if (!lookInProblems.isEmpty())
                messages.show(lookInProblems.join(QStringLiteral("\r\n")),
                              QStringLiteral("Config.ini"), window::MessageBoxes::Icon::Warning);
        },
        Qt::QueuedConnection);
    form.Load();
    const int status = app.exec();
    if (commands) commands->finish(std::chrono::seconds(5));
    return status;
}
