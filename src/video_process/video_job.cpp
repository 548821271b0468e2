#include "video_process/video_job.h"

#include "video_process/line_fields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace video_process {

namespace {

constexpr QByteArrayView Magic = "lumivex-video-job 1";

// The fixed head of a job, one value a line, in this order.
enum Key { Run, Video, Temporary, Fps, Encoder, Muxer, Preset, Quality, KeyCount };
constexpr QByteArrayView KeyNames[KeyCount] = {"run",     "video", "temporary", "fps",
                                               "encoder", "muxer", "preset",    "quality"};

void appendLine(QByteArray* out, QByteArrayView key, const QByteArray& value) {
    out->append(key.data(), key.size());
    out->append(' ');
    out->append(value);
    out->append('\n');
}

// A file name of the run folder: a name, not a path.
bool isFileName(const QString& name) {
    return !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

} // namespace

QByteArray encodeJob(const VideoJob& job) {
    QByteArray out(Magic.data(), Magic.size());
    out.append('\n');
    appendLine(&out, KeyNames[Run], textField(job.runDir));
    appendLine(&out, KeyNames[Video], textField(job.videoPath));
    appendLine(&out, KeyNames[Temporary], textField(job.temporaryPath));
    appendLine(&out, KeyNames[Fps], QByteArray::number(job.fps));
    appendLine(&out, KeyNames[Encoder], textField(job.settings.encoder));
    appendLine(&out, KeyNames[Muxer], textField(job.settings.muxer));
    appendLine(&out, KeyNames[Preset], textField(job.settings.speedPreset));
    appendLine(&out, KeyNames[Quality], QByteArray::number(job.settings.quality));
    for (const QString& name : job.pictures)
        appendLine(&out, "picture", textField(name));
    for (const QString& name : job.foreign)
        appendLine(&out, "foreign", textField(name));
    out.append("end\n");
    return out;
}

std::optional<VideoJob> decodeJob(const QByteArray& bytes, QString* error) {
    const auto refuse = [&](int line, const QString& why) -> std::optional<VideoJob> {
        *error = QStringLiteral("line %1 of the job: %2").arg(line).arg(why);
        return std::nullopt;
    };
    if (!bytes.endsWith('\n')) return refuse(0, QStringLiteral("it does not end with a line"));
    const QList<QByteArray> lines = QByteArrayView(bytes).chopped(1).toByteArray().split('\n');
    if (lines.value(0) != Magic) return refuse(1, QStringLiteral("not a job of this version"));
    if (lines.size() < 2 + KeyCount) return refuse(int(lines.size()), QStringLiteral("cut short"));
    VideoJob job;
    QString* texts[KeyCount] = {
        &job.runDir,           &job.videoPath,      &job.temporaryPath,        nullptr,
        &job.settings.encoder, &job.settings.muxer, &job.settings.speedPreset, nullptr};
    for (int key = 0; key < KeyCount; ++key) {
        const QByteArray& line = lines[1 + key];
        const qsizetype space = line.indexOf(' ');
        if (space < 0 || QByteArrayView(line).first(space) != KeyNames[key])
            return refuse(2 + key, QStringLiteral("\"%1\" expected")
                                       .arg(QString::fromLatin1(KeyNames[key].toByteArray())));
        const QByteArrayView value = QByteArrayView(line).sliced(space + 1);
        if (texts[key]) {
            const auto text = readTextField(value, Controls::AnyButNul);
            if (!text) return refuse(2 + key, QStringLiteral("not a text"));
            *texts[key] = *text;
        } else {
            const auto count = readCountField(value, key == Fps ? MaxFps : 51);
            if (!count || (key == Fps && *count == 0))
                return refuse(2 + key, QStringLiteral("out of range"));
            (key == Fps ? job.fps : job.settings.quality) = *count;
        }
    }
    qsizetype at = 1 + KeyCount;
    for (; at < lines.size() && lines[at] != "end"; ++at) {
        const QByteArray& line = lines[at];
        const bool picture = line.startsWith("picture ");
        if (!picture && !(line.startsWith("foreign ") && job.foreign.size() < MaxFiles))
            return refuse(int(at + 1), QStringLiteral("not a file of the run"));
        if (picture && (!job.foreign.isEmpty() || job.pictures.size() >= MaxFiles))
            return refuse(int(at + 1), QStringLiteral("a picture out of place"));
        const auto name = readTextField(QByteArrayView(line).sliced(8), Controls::AnyButNul);
        if (!name || !isFileName(*name))
            return refuse(int(at + 1), QStringLiteral("not a file name"));
        (picture ? job.pictures : job.foreign) << *name;
    }
    if (at != lines.size() - 1)
        return refuse(int(at + 1), QStringLiteral("no end, or more after it"));
    return job;
}

bool reserveTemporaryVideo(VideoJob* job, QString* error) {
    const QFileInfo target(job->videoPath);
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) {
        *error = QStringLiteral("The video cannot be written in \"%1\": %2")
                     .arg(QDir::toNativeSeparators(target.absolutePath()), reserve.errorString());
        return false;
    }
    // Readable by others like any file the user saves; a temporary file starts private.
    reserve.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                           QFileDevice::ReadGroup | QFileDevice::ReadOther);
    job->temporaryPath = reserve.fileName();
    return true;
}

QString muxerDataPath(const QString& temporaryPath) {
    return temporaryPath + QStringLiteral(".data");
}

void removeTemporaryVideo(const QString& temporaryPath) {
    if (temporaryPath.isEmpty()) return;
    QFile::remove(temporaryPath);
    QFile::remove(muxerDataPath(temporaryPath));
}

} // namespace video_process
