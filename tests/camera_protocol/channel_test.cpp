// The window's side of the socket to the camera process: a wait ends on time whatever the other
// side sends.
#include "camera_protocol/channel.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using camera_process::Channel;
using camera_process::Message;

// A camera process that sends status without pause while the window waits for an answer that
// never comes: the wait ends at its deadline, with no more set aside than the limit.
TEST(Channel, AFloodNeverHoldsAWaitPastItsDeadline) {
    camera_process::UniqueFd ours, theirs;
    QString error;
    ASSERT_TRUE(camera_process::makeSocketPair(&ours, &theirs, &error));
    Channel window(std::move(ours));
    Channel camera(std::move(theirs));
    std::atomic<bool> stop = false;
    std::thread flood([&] {
        while (!stop)
            camera.send(Message(QStringLiteral("status"), {{QLatin1String("frames"), 1}}));
    });
    const auto start = std::chrono::steady_clock::now();
    Message answer;
    const bool answered = window.waitFor(
        [](const Message& m) { return m.is(QLatin1String("grabbed")); }, 300ms, &answer);
    const auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    flood.join();
    EXPECT_FALSE(answered);
    EXPECT_LT(took, 1s);
    // What was set aside is handed out afterwards: a bounded amount, not all the flood.
    int delivered = 0;
    QObject::connect(&window, &Channel::received, [&] { ++delivered; });
    QCoreApplication::sendPostedEvents();
    EXPECT_GT(delivered, 0);
    EXPECT_LE(delivered, Channel::MaxSetAside);
}

} // namespace

namespace {

// A message larger than the socket takes is lost, not the link: the other end goes on hearing.
TEST(Channel, AMessageTooLargeForTheSocketLeavesTheChannelOpen) {
    camera_process::UniqueFd ours, theirs;
    QString error;
    ASSERT_TRUE(camera_process::makeSocketPair(&ours, &theirs, &error));
    Channel window(std::move(ours));
    Channel camera(std::move(theirs));
    const QString huge(8 << 20, QLatin1Char('x'));
    EXPECT_FALSE(
        camera.send(Message(QStringLiteral("formats"), {{QLatin1String("formats"), huge}})));
    EXPECT_TRUE(camera.tooLarge());
    EXPECT_TRUE(camera.isOpen());
    ASSERT_TRUE(camera.send(Message(QStringLiteral("failed"))));
    Message next;
    EXPECT_TRUE(window.waitFor([](const Message&) { return true; }, 1s, &next));
    EXPECT_TRUE(next.is(QLatin1String("failed")));
}

} // namespace
