// What passes between the window and the video process: the job one way, the replies the other,
// and the window's side refusing a video process that says something else.
#include "video_process/video_job.h"
#include "video_process/video_process.h"
#include "video_process/video_replies.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace {

using namespace video_process;

// File names may hold anything but a slash and a zero byte, and come back as they were.
TEST(VideoMessagesTest, AJobComesBackWholeAndADamagedOneIsRefused) {
    VideoJob job{QStringLiteral("/pictures/06Dec2026-074039"),
                 {QStringLiteral("Picture 1.bmp"), QStringLiteral("Picture 2.jpg")},
                 {QStringLiteral("notes 100%.txt"), QString::fromUtf8("line\nbreak \xc3\xa9")},
                 QStringLiteral("/pictures/06Dec2026-074039.mp4"),
                 QStringLiteral("/pictures/.06Dec2026-074039.mp4.aB3xYz"),
                 30,
                 {QStringLiteral("x264enc"), QStringLiteral("mp4mux"), QStringLiteral("fast"), 20}};
    QString error;
    const std::optional<VideoJob> back = decodeJob(encodeJob(job), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(back->runDir, job.runDir);
    EXPECT_EQ(back->pictures, job.pictures);
    EXPECT_EQ(back->foreign, job.foreign);
    EXPECT_EQ(back->videoPath, job.videoPath);
    EXPECT_EQ(back->temporaryPath, job.temporaryPath);
    EXPECT_EQ(back->fps, 30);
    EXPECT_EQ(back->settings.speedPreset, "fast");
    EXPECT_EQ(back->settings.quality, 20);

    const QByteArray whole = encodeJob(job);
    for (const QByteArray& damaged :
         {whole.left(whole.size() - 4), whole + "picture x\n",
          QByteArray(whole).replace("fps 30", "fps 0"),
          QByteArray(whole).replace("Picture%202.jpg", "..%2Fetc"),
          QByteArray(whole).replace("Picture%201.bmp", "Picture 1.bmp"), QByteArray()})
        EXPECT_FALSE(decodeJob(damaged, &error)) << damaged.toStdString();
}

// Replies of a run of 3 pictures and 1 other file, fed in pieces: the good ones are taken, and
// each kind of damage stops the decoder with a reason.
TEST(VideoMessagesTest, RepliesAreTakenOnlyWithinTheJob) {
    VideoResult made;
    made.ok = true;
    made.frames = 2;
    made.skipped = 2;
    made.firstSkipped = QStringLiteral("odd name.txt");
    const QByteArray good = progressLine(1, 3) + progressLine(3, 3) + resultLine(made);
    ReplyDecoder decoder(3, 1);
    std::vector<VideoReply> replies;
    for (char c : good)
        ASSERT_TRUE(decoder.take(QByteArrayView(&c, 1), &replies))
            << decoder.problem().toStdString();
    ASSERT_TRUE(decoder.end());
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[1].done, 3);
    EXPECT_EQ(replies[2].kind, VideoReply::Kind::Made);
    EXPECT_EQ(replies[2].result.firstSkipped, "odd name.txt");

    for (const QByteArray& damaged : {
             QByteArray("progress 4 3\n"),                  // more than the pictures
             QByteArray("progress 1 2\n"),                  // another run's total
             QByteArray("progress -1 3\n"),                 // a sign
             QByteArray("progress 01 3\n"),                 // not the number's one form
             QByteArray("progress 1  3\n"),                 // an empty field
             QByteArray("made 3 0\n"),                      // a file missing from the count
             QByteArray("made 2 2\n"),                      // the first skipped file missing
             QByteArray("made 2 2 a b\n"),                  // a field too many
             QByteArray("failed %C3%28\n"),                 // not UTF-8
             QByteArray("failed bell%07\n"),                // a control character for the user
             QByteArray("failed no spaces\n"),              // a raw space in a text
             QByteArray("failed why\nprogress 1 3\n"),      // after the last line
             QByteArray("hello\n"), QByteArray(20000, 'x'), // a line without end
         }) {
        ReplyDecoder decoder(3, 1);
        std::vector<VideoReply> replies;
        const bool taken = decoder.take(damaged, &replies) && decoder.end();
        EXPECT_FALSE(taken) << damaged.left(40).toStdString();
        EXPECT_FALSE(decoder.problem().isEmpty());
    }
    ReplyDecoder cut(3, 1);
    EXPECT_TRUE(cut.take("progress 1 3\nprog", &replies));
    EXPECT_FALSE(cut.end());
}

// A video process that cannot start, or says something that is no reply (and is ended at once):
// the video fails with the reason, told from the event loop, and its temporary file goes.
TEST(VideoMessagesTest, AVideoProcessThatCannotStartOrSaysNonsenseFailsClearly) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("talker"));
    QFile script(program);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ncat >/dev/null\nprintf 'progress 1 2\\nprogress 2 2 \\001\\n'\n"
                 "exec sleep 60\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("run")));

    VideoJob job;
    job.runDir = dir.filePath(QStringLiteral("run"));
    job.pictures = QStringList{QStringLiteral("Picture 1.bmp"), QStringLiteral("Picture 2.bmp")};
    job.videoPath = job.runDir + QStringLiteral(".mp4");
    QString error;
    const QString missing = dir.filePath(QStringLiteral("lumivex-video"));
    VideoProcess absent(missing);
    std::optional<VideoResult> failed;
    QObject::connect(&absent, &VideoProcess::finished, [&](const VideoResult& r) { failed = r; });
    ASSERT_TRUE(absent.start(job, &error)) << error.toStdString();
    EXPECT_FALSE(failed.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.has_value(); }, 10000));
    EXPECT_TRUE(failed->error.startsWith("The video could not be made: the video process " +
                                         missing + " cannot be started: "))
        << failed->error.toStdString();

    VideoProcess process(program);
    std::optional<VideoResult> result;
    int progress = 0;
    QObject::connect(&process, &VideoProcess::finished, [&](const VideoResult& r) { result = r; });
    QObject::connect(&process, &VideoProcess::progress, [&](int, int) { ++progress; });
    ASSERT_TRUE(process.start(job, &error)) << error.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_FALSE(result->ok);
    EXPECT_EQ(result->error, "The video could not be made: the video process sent a damaged "
                             "message (line 2: not a message of the video process).");
    EXPECT_EQ(progress, 1);
    EXPECT_FALSE(process.busy());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"run", "talker"}));
}

} // namespace
