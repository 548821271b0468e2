#include "camera/gst_camera_view.h"
#include "camera/gst_setup.h"
#include "window/clock.h"
#include "window/form1.h"
#include "window/message_boxes.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    camera::initGStreamer(&argc, &argv);
    QApplication::setApplicationName(QStringLiteral("Webcam Lumivex"));

    camera::GstCameraView camera;
    window::QtMessageBoxes messages;
    window::SystemClock clock;
    window::TimerAlarm alarm(clock);
    window::Form1 form({camera, messages, clock, alarm, QCoreApplication::applicationDirPath()});

    // A failed start-up has told the user; the program ends at once, without the shutdown.
    if (!form.Load()) return 1;
    form.show();
    return app.exec();
}
