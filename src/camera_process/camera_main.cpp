// The camera process: started by the window process with one end of a socket pair, it runs
// the camera until the window ends it or goes away itself.
#include "camera_process/camera_server.h"
#include "gst/gst_setup.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>
#include <cstring>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

// The same category as the window's side: one rule shows both.
Q_LOGGING_CATEGORY(cameraProcessLog, "lumivex.camera", QtWarningMsg)

int main(int argc, char* argv[]) {
    // A window process that dies without a word takes this one along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    int socket = -1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--socket") == 0) socket = std::atoi(argv[i + 1]);
    if (socket < 0) {
        std::fprintf(stderr, "lumivex-camera is started by lumivex, with --socket FD\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    qCDebug(cameraProcessLog) << "camera process: started";
    QString error;
    if (!gst::initGStreamer(&argc, &argv, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    camera_process::CameraServer server{camera_process::UniqueFd(socket)};
    QObject::connect(&server, &camera_process::CameraServer::windowGone, &app,
                     &QCoreApplication::quit);
    server.warmUp();
    qCDebug(cameraProcessLog) << "camera process: GStreamer ready";
    return app.exec();
}
