#include "video/video_maker_flow.h"

#include "video/make_video_dialog.h"
#include "video/run_list.h"

#include <QProgressBar>
#include <QProgressDialog>
#include <utility>

namespace video {

namespace {

QString pictureCount(int done, int total, const QLocale& locale) {
    return QStringLiteral("Picture %1 of %2").arg(locale.toString(done), locale.toString(total));
}

} // namespace

VideoMakerFlow::VideoMakerFlow(window::MessageBoxes& messages, QLocale locale, QString videoProgram,
                               video_process::EncoderSettings settings)
    : messages_(messages), locale_(std::move(locale)), settings_(std::move(settings)),
      videoProcess_(std::move(videoProgram)) {
    connect(&videoProcess_, &video_process::VideoProcess::finished, this, &VideoMakerFlow::done);
    connect(&videoProcess_, &video_process::VideoProcess::progress, this,
            [this](int done, int total) {
                // The bar is set directly: the dialog's own setValue() runs an event loop when
                // modal.
                if (!progress_ || !bar_) return;
                bar_->setMaximum(total);
                bar_->setValue(done);
                progress_->setLabelText(pictureCount(done, total, locale_));
            });
}

// The window may be gone by now: nobody is told.
VideoMakerFlow::~VideoMakerFlow() {
    finished_ = nullptr;
    cancel();
    delete dialog_.data();
}

void VideoMakerFlow::open(QWidget* window, const QString& picturesFolder,
                          std::function<void()> finished) {
    if (busy()) return; // one video at a time, however the button was reached
    finished_ = finished ? std::move(finished) : [] {};
    auto* dialog = new MakeVideoDialog(picturesFolder, locale_, window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog_ = dialog;
    connect(dialog, &QDialog::accepted, this, [this, dialog, picturesFolder, window] {
        start(picturesFolder, dialog->run(), dialog->fps(), window);
    });
    connect(dialog, &QDialog::rejected, this, &VideoMakerFlow::over);
    dialog->open();
}

void VideoMakerFlow::over() {
    if (auto finished = std::exchange(finished_, nullptr)) finished();
}

void VideoMakerFlow::start(const QString& picturesFolder, const QString& run, int fps,
                           QWidget* window) {
    if (run.isEmpty()) {
        over();
        messages_.show(QStringLiteral("There is no run to make a video of: the pictures folder "
                                      "has no run folders."),
                       QStringLiteral("Error"), window::MessageBoxes::Icon::Critical);
        return;
    }
    QString error;
    run_ = run;
    const QString runDir = picturesFolder + QLatin1Char('/') + run;
    const RunPictures scan = scanRun(runDir);
    video_process::VideoJob job{
        runDir,    scan.pictures, scan.foreign, runDir + QStringLiteral(".mp4"),
        QString(), fps,           settings_};
    if (!videoProcess_.start(std::move(job), &error)) {
        over();
        messages_.show(error, QStringLiteral("Error"), window::MessageBoxes::Icon::Critical);
        return;
    }
    auto* progress =
        new QProgressDialog(pictureCount(0, 0, locale_), QStringLiteral("Cancel"), 0, 0, window);
    progress->setObjectName(QStringLiteral("MakingVideo"));
    progress->setWindowTitle(QStringLiteral("Making Video"));
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    auto* bar = new QProgressBar(progress);
    bar->setRange(0, 0);
    progress->setBar(bar);
    bar_ = bar;
    progress_ = progress;
    connect(progress, &QProgressDialog::canceled, this, &VideoMakerFlow::cancel);
    progress->show();
}

void VideoMakerFlow::cancel() {
    videoProcess_.cancel();
    closeProgress();
    over();
}

void VideoMakerFlow::closeProgress() {
    if (!progress_) return;
    QProgressDialog* progress = progress_;
    progress_.clear();
    progress->disconnect(this);
    progress->close();
}

void VideoMakerFlow::done(const video_process::VideoResult& result) {
    closeProgress();
    over();
    if (!result.ok) {
        messages_.show(result.error, QStringLiteral("Error"), window::MessageBoxes::Icon::Critical);
        return;
    }
    QString text = QStringLiteral("The video %1.mp4 is made: %2 picture(s).")
                       .arg(run_, locale_.toString(result.frames));
    if (result.skipped > 0)
        text += QStringLiteral("\r\n%1 file(s) were skipped, the first \"%2\": not a readable "
                               "picture.")
                    .arg(locale_.toString(result.skipped), result.firstSkipped);
    messages_.show(text, QStringLiteral("Info"), window::MessageBoxes::Icon::Information);
}

} // namespace video
