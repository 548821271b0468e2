#include "runs/run_count.h"

#include <gtest/gtest.h>

namespace {

using runs::RunCount;
using State = RunCount::State;

// Every number a run uses is used once, in order, by pictures taken and stretches missed alike,
// and none past the stop count; a run at its stop count takes nothing more until it stops.
TEST(RunCount, NumbersAreUsedOnceInOrderUpToTheStopCount) {
    struct Case {
        const char* name;
        std::int32_t stopAt;
        qint64 missedFirst; // a stretch missed before the pictures
        int takes;
        qint64 taken;
        State after;
    };
    const Case cases[] = {
        {"until stopped", -1, 0, 3, 3, State::Running},
        {"stop count 0 never matches", 0, 5, 2, 7, State::Running},
        {"negative stop count never matches", -7, 0, 2, 2, State::Running},
        {"stop count 1: the first picture", 1, 0, 3, 1, State::AtStop},
        {"a stretch ends at the stop count", 4, 10, 2, 4, State::AtStop},
        {"a stretch, then pictures to the stop", 5, 3, 5, 5, State::AtStop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunCount count;
        ASSERT_TRUE(count.start(c.stopAt));
        const RunCount::Stretch stretch = count.miss(c.missedFirst, "held up");
        qint64 expected = stretch.count() > 0 ? stretch.last + 1 : 1;
        EXPECT_EQ(stretch.first, c.missedFirst > 0 ? 1 : 0);
        for (int i = 0; i < c.takes; ++i) {
            const qint64 number = count.take();
            if (number == 0) break;
            EXPECT_EQ(number, expected++);
        }
        EXPECT_EQ(count.taken(), c.taken);
        EXPECT_EQ(count.notSavedCount(), stretch.count());
        EXPECT_EQ(count.state(), c.after);
    }
}

// The states refuse what does not belong to them: no picture without a run, no second start,
// and a stop clears the count for the next run; a run taken up goes on from its highest number.
TEST(RunCount, EventsOutsideTheirStatesChangeNothing) {
    RunCount count;
    EXPECT_EQ(count.take(), 0);
    EXPECT_EQ(count.miss(3, "x").count(), 0);
    EXPECT_FALSE(count.stop());
    ASSERT_TRUE(count.resume(10, 7, 2, "Picture 6: gone"));
    EXPECT_FALSE(count.start(-1));
    count.notSaved(9, "not a number the run used");
    EXPECT_EQ(count.notSavedCount(), 2);
    EXPECT_EQ(count.take(), 8);
    count.notSaved(8, "no frame");
    EXPECT_EQ(count.lastReason(), "Picture 8: no frame");
    EXPECT_EQ(count.dueBeforeStop(100), 2);
    ASSERT_TRUE(count.stop());
    EXPECT_EQ(count.taken(), 0);
    EXPECT_EQ(count.notSavedCount(), 0);
    EXPECT_EQ(count.state(), State::Idle);
}

} // namespace
