#include "runs/resume_decision.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A run at 1 s, last heard of after picture 100, whose pictures 101 (on disk) and 102 (not)
// were numbered without a row; 10 s later 10 pictures fell due, two of them those very numbers:
// 8 are missed, each number counted once, and a stop count within reach ends the run.
TEST(ResumeDecision, EveryNumberIsCountedOnceAndAPassedEndStopsTheRun) {
    QTemporaryDir folder;
    QFile file(folder.filePath("Picture 101.png"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    runs::CutShortRun run;
    run.plan.interval = 1;
    run.started = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    run.lastRow = run.started.addSecs(100);
    run.highestLogged = 100;
    run.highest = 102;
    run.savedUnlogged = {101};
    run.lostUnlogged = {102};
    const QDateTime now = run.lastRow.addSecs(10);

    struct Case {
        std::int32_t stopAt;
        qint64 missed;
        bool ended;
    };
    for (const Case c : {Case{-1, 8, false}, Case{200, 8, false}, Case{105, 3, true}}) {
        SCOPED_TRACE(c.stopAt);
        run.plan.stopAt = c.stopAt;
        const runs::ResumeDecision decision = runs::decideResume(run, now, folder.path(), {});
        EXPECT_EQ(decision.missed, c.missed);
        EXPECT_EQ(decision.ended, c.ended);
        ASSERT_EQ(decision.rows.size(), 2);
        EXPECT_EQ(decision.rows[0].event, runs::event::Saved);
        EXPECT_TRUE(decision.rows[0].detail.startsWith("Picture 101.png"));
        EXPECT_EQ(decision.lost, QList<qint64>{102});
    }
    // Only the pictures within the active hours fell due.
    run.plan.stopAt = -1;
    const auto decision = runs::decideResume(
        run, now, folder.path(), [](const QDateTime&, qint64 count) { return count / 2; });
    EXPECT_EQ(decision.missed, 3);
}

} // namespace
