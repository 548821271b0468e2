#include "video_process/video_process.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <cstring>
#include <utility>

namespace video_process {

VideoProcess::VideoProcess(QString program, QObject* parent)
    : QObject(parent), program_(std::move(program)) {}

VideoProcess::~VideoProcess() {
    cancel();
}

bool VideoProcess::start(VideoJob job, QString* error) {
    if (busy()) {
        *error = QStringLiteral("A video is being made already.");
        return false;
    }
    if (job.pictures.isEmpty()) {
        *error = QStringLiteral("There are no readable pictures in \"%1\".")
                     .arg(QFileInfo(job.runDir).fileName());
        return false;
    }
    if (!reserveTemporaryVideo(&job, error)) return false;
    videoPath_ = job.videoPath;
    temporaryPath_ = job.temporaryPath;
    decoder_.emplace(int(job.pictures.size()), int(job.foreign.size()));

    auto* process = new QProcess(this);
    process_ = process;
    // What GStreamer says of itself goes where the window's own messages go.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this, &VideoProcess::readReplies);
    connect(process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        processEnded(exitCode, status == QProcess::CrashExit);
    });
    // Queued: a start that fails at once is told from the event loop, after start() returned.
    connect(
        process, &QProcess::errorOccurred, this,
        [this, process](QProcess::ProcessError e) {
            if (process_ == process && e == QProcess::FailedToStart)
                fail(QStringLiteral("the video process %1 cannot be started: %2")
                         .arg(program_, process->errorString()));
        },
        Qt::QueuedConnection);
    process->start(program_, {});
    // Written as the pipe takes it, while the event loop runs; the end of input ends the job.
    if (process->state() != QProcess::NotRunning) {
        process->write(encodeJob(job));
        process->closeWriteChannel();
    }
    return true;
}

void VideoProcess::readReplies() {
    if (!process_) return;
    std::vector<VideoReply> replies;
    const bool good = decoder_->take(process_->readAllStandardOutput(), &replies);
    for (VideoReply& reply : replies) {
        if (reply.kind == VideoReply::Kind::Progress) {
            emit progress(reply.done, reply.total);
            if (!process_) return; // cancelled meanwhile
            continue;
        }
        if (reply.result.ok) reply.result.videoPath = videoPath_;
        finish(std::move(reply.result));
        return;
    }
    if (!good)
        fail(QStringLiteral("the video process sent a damaged message (%1).")
                 .arg(decoder_->problem()));
}

void VideoProcess::processEnded(int exitCode, bool crashed) {
    if (!process_) return;
    readReplies(); // what it said before it went
    if (!process_) return;
    if (crashed) {
        // A process that dies of a signal has its number as its exit code.
        fail(QStringLiteral("the video process ended unexpectedly (signal %1, %2).")
                 .arg(exitCode)
                 .arg(QString::fromLocal8Bit(::strsignal(exitCode))));
    } else if (!decoder_->end()) {
        fail(QStringLiteral("the video process sent a damaged message (%1).")
                 .arg(decoder_->problem()));
    } else {
        fail(QStringLiteral("the video process ended without finishing it (exit code %1).")
                 .arg(exitCode));
    }
}

void VideoProcess::fail(const QString& why) {
    VideoResult result;
    result.error = QStringLiteral("The video could not be made: %1").arg(why);
    finish(std::move(result));
}

void VideoProcess::finish(VideoResult result) {
    // A process that has said its last is not needed any more, whatever it is doing.
    letGo();
    emit finished(result);
}

void VideoProcess::cancel() {
    letGo();
}

// Kills the process unless it has ended, and removes its temporary files: now, and again once it
// is gone, for a file it was creating as it was killed. The process object goes with the process.
void VideoProcess::letGo() {
    if (!process_) return;
    QProcess* process = std::exchange(process_, nullptr);
    decoder_.reset();
    process->disconnect(this);
    removeTemporaryVideo(temporaryPath_);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // The application keeps it until it is gone, after this object if need be.
    process->setParent(QCoreApplication::instance());
    connect(process, &QProcess::finished, process, [process, temporary = temporaryPath_] {
        removeTemporaryVideo(temporary);
        process->deleteLater();
    });
    process->kill();
}

} // namespace video_process
