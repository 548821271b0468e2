// Home of the interface's meta-object code, and the plain grab for cameras that answer at once.
#include "camera_api/camera_view.h"

namespace camera {

void CameraView::requestGrab(qint64 ticket) {
    QString error;
    if (!grabFrame(&error)) {
        emit grabDone(ticket, {}, {}, error);
        return;
    }
    const QImage frame = grabbedFrame();
    emit grabDone(ticket, frame, grabbedAt(),
                  frame.isNull() ? QStringLiteral("There is no picture to save") : QString());
}

} // namespace camera
