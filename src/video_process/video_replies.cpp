#include "video_process/video_replies.h"

#include "video_process/line_fields.h"

namespace video_process {

namespace {

// Longer than any message the process writes (a GStreamer error with its details).
constexpr qsizetype MaxLine = 16 * 1024;

} // namespace

QByteArray progressLine(int done, int total) {
    return "progress " + QByteArray::number(done) + ' ' + QByteArray::number(total) + '\n';
}

QByteArray resultLine(const VideoResult& result) {
    if (!result.ok)
        return "failed " +
               textField(result.error.isEmpty() ? QStringLiteral("unknown error") : result.error) +
               '\n';
    QByteArray line =
        "made " + QByteArray::number(result.frames) + ' ' + QByteArray::number(result.skipped);
    if (result.skipped > 0) line += ' ' + textField(result.firstSkipped);
    return line + '\n';
}

bool ReplyDecoder::refuse(const QString& why) {
    problem_ = line_ > 0 ? QStringLiteral("line %1: %2").arg(line_).arg(why) : why;
    pending_.clear();
    return false;
}

bool ReplyDecoder::take(QByteArrayView bytes, std::vector<VideoReply>* replies) {
    if (!problem_.isEmpty()) return false;
    pending_.append(bytes.data(), bytes.size());
    qsizetype start = 0;
    for (qsizetype end; (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
        ++line_;
        if (end - start > MaxLine) return refuse(QStringLiteral("too long"));
        if (!decodeLine(QByteArrayView(pending_).sliced(start, end - start), replies)) return false;
    }
    pending_.remove(0, start);
    if (pending_.size() > MaxLine) {
        ++line_;
        return refuse(QStringLiteral("too long"));
    }
    return true;
}

bool ReplyDecoder::end() {
    if (!problem_.isEmpty()) return false;
    if (pending_.isEmpty()) return true;
    ++line_;
    return refuse(QStringLiteral("cut short"));
}

bool ReplyDecoder::decodeLine(QByteArrayView line, std::vector<VideoReply>* replies) {
    if (over_) return refuse(QStringLiteral("more after the last message"));
    const QList<QByteArrayView> fields = [&] {
        QList<QByteArrayView> list;
        for (qsizetype at = 0, space; at <= line.size(); at = space + 1) {
            space = line.indexOf(' ', at);
            if (space < 0) space = line.size();
            list << line.sliced(at, space - at);
        }
        return list;
    }();
    VideoReply reply;
    const QByteArrayView word = fields[0];
    if (word == "progress" && fields.size() == 3) {
        const auto done = readCountField(fields[1], pictures_);
        const auto total = readCountField(fields[2], pictures_);
        if (!done || !total || *total != pictures_)
            return refuse(QStringLiteral("a progress beyond the pictures"));
        reply.kind = VideoReply::Kind::Progress;
        reply.done = *done;
        reply.total = *total;
    } else if (word == "made" && (fields.size() == 3 || fields.size() == 4)) {
        const auto frames = readCountField(fields[1], pictures_);
        const auto skipped = readCountField(fields[2], pictures_ + foreign_);
        // Every file of the run is either a frame or skipped.
        if (!frames || *frames == 0 || !skipped || *frames + *skipped != pictures_ + foreign_)
            return refuse(QStringLiteral("counts that do not add up to the run"));
        if ((fields.size() == 4) != (*skipped > 0))
            return refuse(QStringLiteral("the first skipped file missing or out of place"));
        reply.kind = VideoReply::Kind::Made;
        reply.result.ok = true;
        reply.result.frames = *frames;
        reply.result.skipped = *skipped;
        if (*skipped > 0) {
            const auto first = readTextField(fields[3], Controls::AnyButNul);
            if (!first) return refuse(QStringLiteral("the first skipped file is no name"));
            reply.result.firstSkipped = *first;
        }
    } else if (word == "failed" && fields.size() == 2) {
        const auto text = readTextField(fields[1], Controls::Breaks);
        if (!text) return refuse(QStringLiteral("the reason is no text"));
        reply.kind = VideoReply::Kind::Failed;
        reply.result.error = *text;
    } else {
        return refuse(QStringLiteral("not a message of the video process"));
    }
    over_ = reply.kind != VideoReply::Kind::Progress;
    replies->push_back(std::move(reply));
    return true;
}

} // namespace video_process
