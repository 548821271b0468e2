// The one-second timer: its pace over time, missed ticks, and stopping.
#include "fakes.h"
#include "window/ticker.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using window::Nanoseconds;

// A ticker on simulated time, and a count of its ticks.
class TickerTest : public ::testing::Test {
protected:
    FakeClock clock;
    FakeAlarm alarm;
    window::Ticker ticker{clock, alarm};
    QSignalSpy spy{&ticker, &window::Ticker::timeout};
};

TEST_F(TickerTest, LateWakeUpsDoNotAccumulate) {
    std::vector<Nanoseconds> ticks;
    QObject::connect(&ticker, &window::Ticker::timeout, [&] { ticks.push_back(clock.now); });

    const Nanoseconds start = clock.now;
    ticker.setEnabled(true);
    alarm.run(clock, start + 1000s + 1ms, [] { return Nanoseconds(40ms); }); // always 40 ms late
    ASSERT_EQ(ticks.size(), 1000u);
    for (std::size_t k = 0; k < ticks.size(); ++k)
        EXPECT_EQ(ticks[k], start + std::chrono::seconds(k + 1) + 40ms) << k;
}

TEST_F(TickerTest, TicksMissedWhileAsleepAreToldNotBurst) {
    const Nanoseconds start = clock.now;
    ticker.setEnabled(true);
    std::vector<qint64> missed;
    QObject::connect(&ticker, &window::Ticker::timeout,
                     [&] { missed.push_back(ticker.missedTicks()); });
    alarm.run(clock, start + 2s);
    EXPECT_EQ(spy.count(), 2);
    // The machine sleeps through ten ticks: one tick on waking that tells of the ten, then the
    // old pace again.
    alarm.run(clock, start + 3s, [] { return Nanoseconds(10s + 300ms); });
    EXPECT_EQ(spy.count(), 3);
    EXPECT_EQ(missed, (std::vector<qint64>{0, 0, 10}));
    EXPECT_EQ(alarm.deadline, start + 14s);
    alarm.run(clock, start + 16s);
    EXPECT_EQ(spy.count(), 6); // 14 s, 15 s, 16 s
}

TEST_F(TickerTest, AnEarlyWakeUpWaitsForTheDeadline) {
    ticker.setEnabled(true);
    const Nanoseconds due = *alarm.deadline;
    clock.now = due - 2ms;
    emit alarm.rang();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(alarm.deadline, due);
}

TEST_F(TickerTest, DisablingStopsTicksAndReenablingStartsAfresh) {
    ticker.setEnabled(true);
    alarm.run(clock, clock.now + 1500ms);
    ticker.setEnabled(false);
    EXPECT_FALSE(alarm.deadline.has_value());
    emit alarm.rang(); // a ring already on its way is ignored
    EXPECT_EQ(spy.count(), 1);
    ticker.setEnabled(true);
    EXPECT_EQ(alarm.deadline, clock.now + 1s);
}

TEST(RealTickerTest, KeepsThePaceOfTheClock) {
    window::SystemClock clock;
    window::TimerAlarm alarm(clock);
    window::Ticker ticker(clock, alarm);
    std::vector<Nanoseconds> lateness;
    Nanoseconds start{};
    QObject::connect(&ticker, &window::Ticker::timeout, [&] {
        lateness.push_back(clock.monotonic() - start - std::chrono::seconds(lateness.size() + 1));
        if (lateness.size() == 3) ticker.setEnabled(false);
    });
    start = clock.monotonic();
    ticker.setEnabled(true);
    QSignalSpy spy(&ticker, &window::Ticker::timeout);
    while (ticker.isEnabled() && clock.monotonic() - start < 5s)
        spy.wait(1500);
    ASSERT_EQ(lateness.size(), 3u);
    for (Nanoseconds late : lateness) {
        EXPECT_GE(late, Nanoseconds::zero()); // never early
        EXPECT_LT(late, Nanoseconds(50ms));
    }
}

} // namespace
