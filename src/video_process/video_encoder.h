#pragma once

#include "gst/bus_watch.h"
#include "gst/gst_ptr.h"
#include "video_process/video_job.h"

#include <QObject>
#include <QString>
#include <memory>

namespace video_process {

class Feeder;

// Makes an MP4 video of a run folder's pictures, one frame per picture in the job's order.
// The pictures are read one at a time on GStreamer's streaming thread as the encoder asks for
// them; the encoding runs on GStreamer's threads. Progress and the end arrive as signals on the
// thread that owns this object. The video is written to the job's temporary file beside the
// final one and renamed when complete, so the final name only ever holds a whole video.
class VideoEncoder : public QObject {
    Q_OBJECT
public:
    explicit VideoEncoder(QObject* parent = nullptr);
    ~VideoEncoder() override;

    // Starts making the job's video. False with `error` when it cannot start (no pictures, an
    // element missing), its temporary file removed; otherwise finished() follows.
    bool start(const VideoJob& job, QString* error);
    // Stops making the video and removes what was written; no finished() follows.
    void cancel();
    bool busy() const { return pipeline_ != nullptr; }

signals:
    void progress(int done, int total);
    void finished(const video_process::VideoResult& result);

private:
    void handleBusMessage(GstMessage* message);
    void finish(VideoResult result);
    void stopPipeline();
    void removeTemporaryFiles();

    gst::ElementPtr pipeline_;
    std::unique_ptr<gst::BusWatch> bus_;
    std::shared_ptr<Feeder> feeder_;
    QString videoPath_, temporaryPath_;
};

} // namespace video_process
