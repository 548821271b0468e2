// The window's decoder of what the camera process says.
#include "camera_protocol/reply.h"
#include "camera_protocol/wire_format.h"

#include <QCborArray>
#include <gtest/gtest.h>

namespace {

using camera_process::decodeReply;
using camera_process::Message;

// Every format the decoder lets through is one the window keeps, so that `chosen` points at the
// format the camera process meant: a rate over 0 is refused, not dropped.
TEST(ReplyDecode, AFormatTheWindowCannotUseIsRefusedByName) {
    QCborMap broken = camera_process::formatToWire({"YUY2", 640, 480, 30, 1});
    broken.insert(QLatin1String("fpsD"), 0);
    const QCborArray formats{camera_process::formatToWire({"MJPG", 1280, 720, 30, 1}), broken,
                             camera_process::formatToWire({"YUY2", 320, 240, 30, 1})};
    QString error;
    EXPECT_FALSE(
        decodeReply(Message(QStringLiteral("formats"),
                            {{QLatin1String("formats"), formats}, {QLatin1String("chosen"), 2}}),
                    &error));
    EXPECT_EQ(error, "The camera process sent a damaged message (formats: formats[1].fpsD)");
    EXPECT_FALSE(camera_process::formatFromWire(broken));
    // Nor is a number narrowed into range: 2^32 + 640 is no width of 640.
    QCborMap wide = camera_process::formatToWire({"YUY2", 640, 480, 30, 1});
    wide.insert(QLatin1String("width"), (qint64(1) << 32) + 640);
    EXPECT_FALSE(camera_process::formatFromWire(wide));

    QCborArray good = formats;
    good.removeAt(1);
    const auto decoded =
        decodeReply(Message(QStringLiteral("formats"),
                            {{QLatin1String("formats"), good}, {QLatin1String("chosen"), 1}}),
                    &error);
    ASSERT_TRUE(decoded);
    const auto* told = std::get_if<camera_process::reply::Formats>(&*decoded);
    ASSERT_TRUE(told);
    ASSERT_EQ(told->formats.size(), 2);
    EXPECT_EQ(told->formats[1].label(), camera::VideoFormat({"YUY2", 320, 240, 30, 1}).label());
    EXPECT_EQ(told->chosen, 1);
}

// A grab's answer is one whole picture: its size, its bytes and its block agree, or it is refused
// by the field that does not, before any memory is mapped for it.
TEST(ReplyDecode, AGrabbedPictureIsRefusedByTheFieldThatDoesNotAgree) {
    const QCborMap whole{{QLatin1String("id"), 7},
                         {QLatin1String("block"), 2},
                         {QLatin1String("bytes"), 4 * 8 * 6},
                         {QLatin1String("width"), 8},
                         {QLatin1String("height"), 6},
                         {QLatin1String("captured"), 1000}};
    QString error;
    const auto decoded = decodeReply(Message(QStringLiteral("grabbed"), whole), &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    const auto* grabbed = std::get_if<camera_process::reply::Grabbed>(&*decoded);
    ASSERT_TRUE(grabbed);
    EXPECT_EQ(camera_process::grabAnswered(*decoded), 7);
    EXPECT_EQ(grabbed->block, 2);
    EXPECT_EQ(grabbed->captured, QDateTime::fromMSecsSinceEpoch(1000, Qt::UTC));

    const struct {
        const char* field;
        QCborValue value;
        const char* named;
    } damaged[] = {
        {"bytes", 4 * 8 * 6 + 1, "bytes"},   // not the size's
        {"width", qint64(1) << 32, "width"}, // not narrowed into range
        {"id", 0, "id"},                     // answers no grab
        {"block", "2", "block"},             // not a number
        {"height", QCborValue(), "height"},  // missing
    };
    for (const auto& row : damaged) {
        QCborMap fields = whole;
        if (row.value.isUndefined())
            fields.remove(QLatin1String(row.field));
        else
            fields.insert(QLatin1String(row.field), row.value);
        error.clear();
        EXPECT_FALSE(decodeReply(Message(QStringLiteral("grabbed"), fields), &error)) << row.field;
        EXPECT_EQ(error, QStringLiteral("The camera process sent a damaged message (grabbed: %1)")
                             .arg(QLatin1String(row.named)));
    }
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
