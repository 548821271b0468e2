// The video process: started by the window process with a job on its standard input, it makes
// that one video and says how it goes on its standard output (video_replies.h), then ends. The
// window ends it to cancel; a picture that brings a decoder down takes only this process along.
#include "gst/gst_setup.h"
#include "video_process/video_encoder.h"
#include "video_process/video_job.h"
#include "video_process/video_replies.h"

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The largest job: ten million file names of some length.
constexpr qsizetype MaxJobBytes = qsizetype(1) << 30;

// Where the replies go: the standard output the window reads, kept for them alone.
int replies = STDOUT_FILENO;

// A whole line, or nothing: a window that has gone takes this process along (SIGPIPE).
void say(const QByteArray& line) {
    for (qsizetype written = 0; written < line.size();) {
        const ssize_t n =
            ::write(replies, line.constData() + written, std::size_t(line.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) std::_Exit(1);
        written += n;
    }
}

int fail(const QString& error) {
    video_process::VideoResult result;
    result.error = error;
    say(video_process::resultLine(result));
    return 1;
}

std::optional<QByteArray> readJob() {
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + n > MaxJobBytes) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(chunk, n);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // A window process that dies without a word takes this one along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::isatty(STDIN_FILENO)) {
        std::fprintf(stderr,
                     "lumivex-video is started by lumivex, with its job on standard input\n");
        return 2;
    }
    // Whatever a library prints goes to the standard error, never among the replies.
    replies = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (replies < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
    QCoreApplication app(argc, argv);
    const std::optional<QByteArray> bytes = readJob();
    if (!bytes) return fail(QStringLiteral("The video could not be made: its job cannot be read."));
    QString error;
    const std::optional<video_process::VideoJob> job = video_process::decodeJob(*bytes, &error);
    if (!job) return fail(QStringLiteral("The video could not be made: %1").arg(error));
    if (!gst::initGStreamer(&argc, &argv, &error)) return fail(error);

    video_process::VideoEncoder encoder;
    QObject::connect(&encoder, &video_process::VideoEncoder::progress,
                     [](int done, int total) { say(video_process::progressLine(done, total)); });
    QObject::connect(&encoder, &video_process::VideoEncoder::finished,
                     [](const video_process::VideoResult& result) {
                         say(video_process::resultLine(result));
                         QCoreApplication::exit(result.ok ? 0 : 1);
                     });
    if (!encoder.start(*job, &error)) return fail(error);
    return app.exec();
}
