#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace video_process {

// How the pictures become H.264: the elements by factory name, and x264's speed preset and
// constant-quality factor (what other encoders call the CRF).
struct EncoderSettings {
    QString encoder = QStringLiteral("x264enc");
    QString muxer = QStringLiteral("mp4mux");
    QString speedPreset = QStringLiteral("faster");
    int quality = 23;
};

// One video, as the window gives it to the video process: the run folder's pictures in
// picture-number order and its other files (skipped, but counted), where the video goes, and
// the temporary file beside it that the window has reserved, so that the window can remove it
// whatever becomes of the process.
struct VideoJob {
    QString runDir;
    QStringList pictures; // file names in runDir
    QStringList foreign;  // file names in runDir that are no pictures
    QString videoPath;
    QString temporaryPath;
    int fps = 25;
    EncoderSettings settings;
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

// The bounds a job keeps to, which the replies are checked against too.
constexpr int MaxFiles = 10'000'000;
constexpr int MaxFps = 1000;

// The job as the lines the video process reads from its standard input.
QByteArray encodeJob(const VideoJob& job);
// The job those lines give, or nothing with `error` when they are not a whole job.
std::optional<VideoJob> decodeJob(const QByteArray& bytes, QString* error);

// Reserves job->temporaryPath beside job->videoPath: on the same disk, so that the finished
// video's rename is atomic, and hidden. False with the user's message when it cannot be made.
bool reserveTemporaryVideo(VideoJob* job, QString* error);
// Removes the temporary video and what the muxer keeps beside it; nothing when there is none.
void removeTemporaryVideo(const QString& temporaryPath);
// Where the muxer keeps the media data until the index is written in front of it.
QString muxerDataPath(const QString& temporaryPath);

} // namespace video_process
