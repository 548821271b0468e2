#pragma once

#include "video_process/video_job.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

namespace video_process {

// What the video process tells the window on its standard output, one line each:
//   progress DONE TOTAL               DONE of the TOTAL pictures are read
//   made FRAMES SKIPPED [FIRST]       the video is in place; FIRST names the first skipped file
//   failed TEXT                       no video, and the user's message why
// made or failed is the last line.
QByteArray progressLine(int done, int total);
QByteArray resultLine(const VideoResult& result);

struct VideoReply {
    enum class Kind { Progress, Made, Failed };
    Kind kind = Kind::Failed;
    int done = 0, total = 0; // progress
    VideoResult result;      // made or failed (its videoPath is the window's to fill in)
};

// The one gate for the video process's output: its bytes, as they arrive, become replies only
// when every line is one of the above, within the bounds of the job it was given (the number of
// pictures and other files). Anything else stops it for good, with a reason for the user.
class ReplyDecoder {
public:
    ReplyDecoder(int pictures, int foreign) : pictures_(pictures), foreign_(foreign) {}

    // Appends the replies `bytes` complete. False once the output is no longer replies.
    bool take(QByteArrayView bytes, std::vector<VideoReply>* replies);
    // The output has ended: false when it ended in the middle of a line.
    bool end();
    // Whether made or failed has come.
    bool over() const { return over_; }
    const QString& problem() const { return problem_; }

private:
    bool refuse(const QString& why);
    bool decodeLine(QByteArrayView line, std::vector<VideoReply>* replies);

    int pictures_, foreign_;
    QByteArray pending_;
    int line_ = 0;
    bool over_ = false;
    QString problem_;
};

} // namespace video_process
