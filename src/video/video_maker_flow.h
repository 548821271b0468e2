#pragma once

#include "video_process/video_process.h"
#include "window/message_boxes.h"
#include "window/video_maker.h"

#include <QLocale>
#include <QObject>
#include <QPointer>

class QProgressBar;
class QProgressDialog;

namespace video {

class MakeVideoDialog;

// The window's Make Video: the dialog, then the encoding in the video process (`videoProgram`)
// with a progress dialog that can cancel it, then the message that tells how it went. Nothing
// here waits: the choosing dialog is window-modal and opened with open(), the progress dialog is
// modeless (the window can be closed, which cancels the video), the video process reports back
// through signals. One video at a time: open() does nothing until the one before is over.
class VideoMakerFlow final : public QObject, public window::VideoMaker {
    Q_OBJECT
public:
    VideoMakerFlow(window::MessageBoxes& messages, QLocale locale, QString videoProgram,
                   video_process::EncoderSettings settings = {});
    ~VideoMakerFlow() override;

    void open(QWidget* window, const QString& picturesFolder,
              std::function<void()> finished) override;
    void cancel() override;

    bool busy() const { return bool(finished_); }

private:
    void start(const QString& picturesFolder, const QString& run, int fps, QWidget* window);
    void done(const video_process::VideoResult& result);
    void closeProgress();
    void over();

    window::MessageBoxes& messages_;
    QLocale locale_;
    video_process::EncoderSettings settings_;
    video_process::VideoProcess videoProcess_;
    QPointer<MakeVideoDialog> dialog_;
    QPointer<QProgressDialog> progress_;
    QPointer<QProgressBar> bar_;
    QString run_;
    std::function<void()> finished_; // set from open() until it is over
};

} // namespace video
