#include "runs/resume_decision.h"

#include "runs/run_names.h"

#include <algorithm>

namespace runs {

ResumeDecision decideResume(const CutShortRun& run, const QDateTime& now, const QString& runPath,
                            const std::function<qint64(const QDateTime&, qint64)>& activeOf) {
    ResumeDecision decision;
    // Numbers used above every number in the log were used after its last row, by pictures that
    // fell due since: they are not counted again among the missed.
    qint64 usedSinceLastRow = 0;
    for (const qint64 n : run.savedUnlogged) {
        decision.rows.append({now, event::Saved, n,
                              QStringLiteral("%1, found in the folder when the run was resumed")
                                  .arg(findPictureFile(runPath, n))});
        if (n > run.highestLogged) ++usedSinceLastRow;
    }
    for (const qint64 n : run.lostUnlogged) {
        decision.rows.append({now, event::NotSaved, n, NotRunningReason});
        decision.lost.append(n);
        if (n > run.highestLogged) ++usedSinceLastRow;
    }
    const std::int32_t interval = run.plan.interval;
    qint64 missed = picturesDueBetween(run.started, interval, run.lastRow, now);
    if (missed > 0 && activeOf)
        missed = activeOf(firstDueAfter(run.started, interval, run.lastRow), missed);
    missed = std::max<qint64>(0, missed - usedSinceLastRow);
    const qint64 stopAt = run.plan.stopAt;
    decision.ended = stopAt > 0 && run.highest + missed >= stopAt;
    if (stopAt > 0) missed = std::clamp<qint64>(stopAt - run.highest, 0, missed);
    decision.missed = missed;
    decision.awayMs = std::max<qint64>(0, run.lastRow.msecsTo(now));
    decision.sinceStartMs = std::max<qint64>(0, run.started.msecsTo(now));
    return decision;
}

} // namespace runs
