// Home of the interface's meta-object code.
#include "camera_api/camera_view.h"

namespace camera {

bool CameraView::useVideoFormat(const QString& label) {
    (void)label;
    QMetaObject::invokeMethod(this, &CameraView::formatChosen, Qt::QueuedConnection);
    return false;
}

} // namespace camera
