#pragma once

#include "gst/bus_watch.h"
#include "gst/gst_ptr.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace video {

// How the pictures become H.264: the elements by factory name, and x264's speed preset and
// constant-quality factor (what other encoders call the CRF).
struct EncoderSettings {
    QString encoder = QStringLiteral("x264enc");
    QString muxer = QStringLiteral("mp4mux");
    QString speedPreset = QStringLiteral("faster");
    int quality = 23;
};

// What making one video came to.
struct VideoResult {
    bool ok = false;
    QString error;        // why not, when not ok
    QString videoPath;    // the finished video, when ok
    int frames = 0;       // pictures in the video
    int skipped = 0;      // files in the run folder that gave no picture
    QString firstSkipped; // the name of the first of them
};

class Feeder;

// Makes an MP4 video of a run folder's pictures, one frame per picture in picture-number order.
// The pictures are read one at a time on GStreamer's streaming thread as the encoder asks for
// them; the encoding runs on GStreamer's threads. Progress and the end arrive as signals on the
// thread that owns this object. The video is written under a temporary name beside the final
// one and renamed when complete, so the final name only ever holds a whole video.
class VideoEncoder : public QObject {
    Q_OBJECT
public:
    explicit VideoEncoder(EncoderSettings settings = {}, QObject* parent = nullptr);
    ~VideoEncoder() override;

    // Starts making `videoPath` from the pictures in `runDir` at `fps` frames per second. False
    // with `error` when it cannot start (no pictures, an element missing); otherwise finished()
    // follows.
    bool start(const QString& runDir, const QString& videoPath, int fps, QString* error);
    // Stops making the video and removes what was written; no finished() follows.
    void cancel();
    bool busy() const { return pipeline_ != nullptr; }

signals:
    void progress(int done, int total);
    void finished(const video::VideoResult& result);

private:
    void handleBusMessage(GstMessage* message);
    void finish(VideoResult result);
    void stopPipeline();
    void removeTemporaryFiles();

    EncoderSettings settings_;
    gst::ElementPtr pipeline_;
    std::unique_ptr<gst::BusWatch> bus_;
    std::shared_ptr<Feeder> feeder_;
    QString videoPath_, temporaryPath_, dataPath_;
};

} // namespace video
