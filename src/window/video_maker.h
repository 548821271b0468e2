#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace window {

// Making a timelapse video of a run, as the window asks for it: open() lets the user choose a
// run and makes its video without the window waiting, and calls `finished` once it is over
// (made, failed, cancelled or not started); cancel() stops a video being made and leaves nothing
// of it. Tests substitute a recorder.
class VideoMaker {
public:
    virtual ~VideoMaker() = default;
    virtual void open(QWidget* window, const QString& picturesFolder,
                      std::function<void()> finished) = 0;
    virtual void cancel() = 0;
};

} // namespace window
