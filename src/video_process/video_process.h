#pragma once

#include "video_process/video_job.h"
#include "video_process/video_replies.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <optional>

namespace video_process {

// The video process, as the window sees it: one video made by `program` (lumivex-video), started
// with the job on its standard input, its replies read as they come through the one decoder,
// and ended by SIGKILL to cancel. Nothing here waits for the process: its output and its end
// arrive as signals. Whatever becomes of the process (it crashed on a picture, was killed, said
// something that is no reply), finished() says so once and nothing of the video is left but a
// video that was made.
class VideoProcess : public QObject {
    Q_OBJECT
public:
    explicit VideoProcess(QString program, QObject* parent = nullptr);
    ~VideoProcess() override;

    // Starts making the job's video (its temporary file is reserved here). False with `error`
    // when it cannot start (no pictures, the folder cannot be written); otherwise finished()
    // follows.
    bool start(VideoJob job, QString* error);
    // Ends the process and removes what it wrote; no finished() follows.
    void cancel();
    bool busy() const { return process_ != nullptr; }

signals:
    void progress(int done, int total);
    void finished(const video_process::VideoResult& result);

private:
    void readReplies();
    void processEnded(int exitCode, bool crashed);
    void fail(const QString& why);
    void finish(VideoResult result);
    void letGo();

    QString program_;
    QPointer<QProcess> process_;
    std::optional<ReplyDecoder> decoder_;
    QString videoPath_, temporaryPath_;
};

} // namespace video_process
