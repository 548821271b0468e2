#include "camera/gst_camera_view.h"
#include "camera/gst_warm_up.h"
#include "window/clock.h"
#include "window/font_warm_up.h"
#include "window/form1.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <thread>

int main(int argc, char* argv[]) {
    // Start-up work that needs no GUI thread runs beside it while Qt starts and the window is
    // built, so that the format dialog comes sooner.
    std::jthread warmUp([] {
        window::warmUpFonts();
        camera::warmUpGStreamer();
    });
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Webcam Lumivex"));

    camera::GstCameraView camera;
    camera.prepareWindowSink();
    window::QtMessageBoxes messages;
    window::SystemClock clock;
    window::TimerAlarm alarm(clock);
    // The panel waits until the camera is set up: the format dialog comes first at start-up.
    window::Form1 form({camera, messages, clock, alarm, QCoreApplication::applicationDirPath()},
                       window::Form1::Panel::AfterLoad);

    warmUp.join();
    // A failed start-up has told the user; the program ends at once, without the shutdown.
    if (!form.Load()) return 1;
    form.show();
    return app.exec();
}
