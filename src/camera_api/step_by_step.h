#pragma once

#include "camera_api/camera_view.h"

#include <chrono>

namespace camera {

// For tools, benchmarks and tests that drive a camera view one step at a time: each step's
// answer waited for in an event loop of its own, up to `limit`. The program never waits so.

// create(), then its answer: the view's widget, or null as created() gave it.
QWidget* createAndWait(CameraView& view, QWidget* parent, QSize size, const QString& source,
                       QString* error,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(90000));
// connectDriver(), then its answer: true when the camera runs (or is waited for).
bool connectAndWait(CameraView& view, QString* error,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(30000));
// videoFormatDialog() or useVideoFormat(label), then the end of the format change.
void formatDialogAndWait(CameraView& view,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(30000));
bool useFormatAndWait(CameraView& view, const QString& label,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(30000));

} // namespace camera
