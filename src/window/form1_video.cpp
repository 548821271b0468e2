// Make Video and the camera's settings: the window hands them to the objects that do them.
#include "window/form1.h"

#include <QPointer>
#include <QPushButton>

namespace window {

// One video at a time: the button stays disabled until the video maker is done.
void Form1::cmdMakeVideo_Click() {
    if (!deps_.video || makingVideo_) return;
    makingVideo_ = true;
    cmdMakeVideo->setEnabled(false);
    deps_.video->open(this, picturesFolder(), [self = QPointer<Form1>(this)] {
        if (self) self->videoFinished();
    });
}

void Form1::cmdCamera_Click() {
    if (deps_.cameraSettings) deps_.cameraSettings->showDialog(this);
}

void Form1::videoFinished() {
    makingVideo_ = false;
    cmdMakeVideo->setEnabled(!isRunning() && !makingVideo_);
}

} // namespace window
