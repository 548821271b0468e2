// Keeping the computer awake, against stand-ins for the desktop portal and logind on buses of
// the test's own (the real ones need a desktop session).
#include "power/sleep_guard.h"
#include "stand_ins.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace power_test;

const QString Why = QStringLiteral("A timelapse capture run is in progress");

class SleepGuardTest : public ::testing::Test {
protected:
    Bus sessionBus{QStringLiteral("session")}, systemBus{QStringLiteral("system")};
    Portal portal;
    Logind logind;
    std::unique_ptr<power::SleepGuard> guard;

    void SetUp() override {
        ASSERT_TRUE(sessionBus.isUp() && systemBus.isUp());
        // Made after the stand-ins and ended before them.
        guard = std::make_unique<power::SleepGuard>(sessionBus.client(), systemBus.client());
    }
    void TearDown() override { guard.reset(); }
};

// The portal comes first, even with logind there; the guard lets go on release() and when it
// ends.
TEST_F(SleepGuardTest, ThePortalHoldsTheComputerUntilReleased) {
    ASSERT_TRUE(portal.offer(sessionBus.service()));
    ASSERT_TRUE(logind.offer(systemBus.service()));
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    guard->hold(Why);
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through the desktop portal"));
    EXPECT_EQ(portal.window, QString());
    EXPECT_EQ(portal.flags, 4u | 8u); // suspend, and idle
    EXPECT_EQ(portal.reason, Why);
    EXPECT_TRUE(guard->isHeld());
    EXPECT_EQ(logind.calls, 0);

    guard->release();
    EXPECT_TRUE(waitFor([&] { return portal.request.closed == 1; }));
    EXPECT_FALSE(guard->isHeld());

    guard->hold(Why);
    ASSERT_TRUE(held.wait(5000));
    guard.reset();
    EXPECT_TRUE(waitFor([&] { return portal.request.closed == 2; }));
    EXPECT_EQ(portal.calls, 2);
}

TEST_F(SleepGuardTest, WithoutAPortalLogindHoldsAnOpenLockUntilReleased) {
    ASSERT_TRUE(logind.offer(systemBus.service()));
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    guard->hold(Why);
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through logind"));
    EXPECT_EQ(logind.asked,
              QStringList({QStringLiteral("sleep:idle"), QStringLiteral("Webcam Lumivex"), Why,
                           QStringLiteral("block")}));
    EXPECT_TRUE(logind.held());
    EXPECT_TRUE(guard->isHeld());

    guard->release();
    EXPECT_TRUE(waitFor([&] { return !logind.held(); }));
    EXPECT_FALSE(guard->isHeld());
}

// A portal that hangs must not keep the run unguarded for long.
TEST_F(SleepGuardTest, APortalThatDoesNotAnswerIsGivenUpForLogind) {
    portal.late = true; // and never answers
    ASSERT_TRUE(portal.offer(sessionBus.service()));
    ASSERT_TRUE(logind.offer(systemBus.service()));
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    QElapsedTimer clock;
    clock.start();
    guard->hold(Why);
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through logind"));
    EXPECT_EQ(portal.calls, 1);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_TRUE(logind.held());
}

// The run ended before the answer came: what the answer grants is let go of at once, and a hold
// asked for again meanwhile takes it instead.
TEST_F(SleepGuardTest, AnAnswerAfterReleaseIsLetGoOfAtOnce) {
    portal.late = true;
    ASSERT_TRUE(portal.offer(sessionBus.service()));
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    guard->hold(Why);
    ASSERT_TRUE(waitFor([&] { return portal.waiting(); }));
    guard->release();
    portal.answer();
    EXPECT_TRUE(waitFor([&] { return portal.request.closed == 1; }));
    EXPECT_FALSE(guard->isHeld());

    guard->hold(Why);
    ASSERT_TRUE(waitFor([&] { return portal.waiting(); }));
    guard->release();
    guard->hold(Why);
    portal.answer();
    ASSERT_TRUE(held.wait(5000));
    EXPECT_TRUE(guard->isHeld());
    EXPECT_EQ(held.count(), 1);
    EXPECT_EQ(portal.request.closed, 1);
    EXPECT_EQ(portal.calls, 2); // the hold asked for again waited for the answer on its way
}

TEST_F(SleepGuardTest, ALateLockFromLogindIsClosedAtOnceAfterRelease) {
    logind.late = true;
    ASSERT_TRUE(logind.offer(systemBus.service()));
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    guard->hold(Why);
    ASSERT_TRUE(waitFor([&] { return logind.waiting(); }));
    guard->release();
    logind.answer();
    EXPECT_TRUE(waitFor([&] { return !logind.held(); }));
    EXPECT_FALSE(guard->isHeld());
    EXPECT_EQ(held.count(), 0);
}

// Each hold() that gets nothing says so once, naming what failed.
TEST_F(SleepGuardTest, WhenNeitherAnswersEachHoldSaysSoOnce) {
    QSignalSpy held(guard.get(), &power::SleepGuard::held);
    QSignalSpy cannot(guard.get(), &power::SleepGuard::cannotHold);
    guard->hold(Why);
    ASSERT_TRUE(cannot.wait(5000));
    const QString why = cannot.first().first().toString();
    EXPECT_TRUE(why.contains(QStringLiteral("desktop portal")) &&
                why.contains(QStringLiteral("logind")))
        << why.toStdString();
    EXPECT_FALSE(guard->isHeld());

    guard->hold(Why);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(cannot.count(), 2);
    EXPECT_EQ(held.count(), 0);
}

TEST_F(SleepGuardTest, LogindTellsOfSleepAndWaking) {
    ASSERT_TRUE(logind.offer(systemBus.service()));
    QStringList heard;
    QObject::connect(guard.get(), &power::SleepGuard::sleeping, [&] { heard << "sleeping"; });
    QObject::connect(guard.get(), &power::SleepGuard::woke, [&] { heard << "woke"; });
    QDBusConnection service = systemBus.service();
    logind.prepareForSleep(service, true);
    logind.prepareForSleep(service, false);
    EXPECT_TRUE(waitFor([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, QStringList({QStringLiteral("sleeping"), QStringLiteral("woke")}));
}

// The program connects to the buses once its window is up: a run taken up at start-up asks for
// its hold then.
TEST_F(SleepGuardTest, AHoldAskedForBeforeTheBusesIsAskedOnceTheyCome) {
    ASSERT_TRUE(portal.offer(sessionBus.service()));
    power::SleepGuard late;
    QSignalSpy held(&late, &power::SleepGuard::held);
    QSignalSpy cannot(&late, &power::SleepGuard::cannotHold);
    late.hold(Why);
    QCoreApplication::processEvents();
    EXPECT_EQ(cannot.count(), 0);
    late.useBuses(sessionBus.client(), systemBus.client());
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through the desktop portal"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
