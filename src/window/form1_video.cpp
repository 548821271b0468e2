// Make Video: the window hands the making of a timelapse video to its video maker.
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

void Form1::videoFinished() {
    makingVideo_ = false;
    cmdMakeVideo->setEnabled(!isRunning() && !makingVideo_);
}

} // namespace window
