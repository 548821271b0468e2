// The window's check of what the camera process says.
#include "camera_protocol/reply_check.h"
#include "camera_protocol/wire_format.h"

#include <QCborArray>
#include <gtest/gtest.h>

namespace {

using camera_process::Message;

// Every format the check lets through is one the window keeps, so that `chosen` points at the
// format the camera process meant: a rate over 0 is refused, not dropped.
TEST(ReplyCheck, AFormatTheWindowCannotUseIsRefusedByName) {
    QCborMap broken = camera_process::formatToWire({"YUY2", 640, 480, 30, 1});
    broken.insert(QLatin1String("fpsD"), 0);
    const QCborArray formats{camera_process::formatToWire({"MJPG", 1280, 720, 30, 1}), broken,
                             camera_process::formatToWire({"YUY2", 320, 240, 30, 1})};
    const Message reply(QStringLiteral("formats"),
                        {{QLatin1String("formats"), formats}, {QLatin1String("chosen"), 2}});
    EXPECT_EQ(camera_process::checkReply(reply),
              "The camera process sent a damaged message (formats: formats[1].fpsD)");
    EXPECT_FALSE(camera_process::formatFromWire(broken));
    // Nor is a number narrowed into range: 2^32 + 640 is no width of 640.
    QCborMap wide = camera_process::formatToWire({"YUY2", 640, 480, 30, 1});
    wide.insert(QLatin1String("width"), (qint64(1) << 32) + 640);
    EXPECT_FALSE(camera_process::formatFromWire(wide));

    QCborArray good = formats;
    good.removeAt(1);
    EXPECT_EQ(camera_process::checkReply(
                  Message(QStringLiteral("formats"),
                          {{QLatin1String("formats"), good}, {QLatin1String("chosen"), 1}})),
              QString());
}

TEST(MessageDecode, OnlyOneWholeMapIsAMessage) {
    const QByteArray bytes =
        Message(QStringLiteral("status"), {{QLatin1String("frames"), 3}}).encode();
    Message message;
    ASSERT_TRUE(Message::decode(bytes, &message));
    EXPECT_EQ(message.number(QLatin1String("frames")), 3);
    EXPECT_FALSE(Message::decode(bytes + '\x01', &message));
    EXPECT_FALSE(Message::decode(bytes.chopped(1), &message));
}

} // namespace
