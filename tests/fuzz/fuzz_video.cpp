// The two decoders between the window and the video process: the replies the window reads and
// the job the video process reads.
#include "video_process/video_job.h"
#include "video_process/video_replies.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // Fed whole and in two pieces, the replies decode the same; none breaks the job's bounds.
    std::vector<video_process::VideoReply> whole, pieces;
    video_process::ReplyDecoder a(5, 2), b(5, 2);
    const bool wholeTaken = a.take(bytes, &whole) && a.end();
    const qsizetype half = bytes.size() / 2;
    const bool piecesTaken =
        b.take(bytes.left(half), &pieces) && b.take(bytes.mid(half), &pieces) && b.end();
    if (wholeTaken != piecesTaken || whole.size() != pieces.size()) std::abort();
    for (const video_process::VideoReply& reply : whole) {
        if (reply.done > 5 || reply.result.frames > 5 ||
            (reply.result.ok && reply.result.frames + reply.result.skipped != 7))
            std::abort();
    }

    // A job that decodes encodes to the same bytes.
    QString error;
    if (const auto job = video_process::decodeJob(bytes, &error);
        job && video_process::encodeJob(*job) != bytes && !bytes.contains('%'))
        std::abort();
    return 0;
}
