#pragma once

#include "runs/run_log.h"
#include "runs/run_plan.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// How a run cut short is taken up again at a given moment: which of its numbers get their rows
// now, how many pictures fell due while the program was away, and whether its planned end has
// passed. Worked out from the log (as findCutShortRun() read it), the run's folder and the time
// alone, so that the window only carries it out.
namespace runs {

// The reason logged for pictures that fell due while the program was not running.
inline const QString NotRunningReason = QStringLiteral("the program was not running");

struct ResumeDecision {
    // Rows for the numbers used without one: saved when the file is there, else not saved.
    QList<LogRow> rows;
    QList<qint64> lost; // of them, those not saved
    qint64 missed = 0;  // pictures that fell due meanwhile, before the stop count
    bool ended = false; // the run's planned end passed meanwhile: it stops now
    qint64 awayMs = 0;  // since the last row
    qint64 sinceStartMs = 0;
};

// `activeOf(first, count)`: how many of `count` timed pictures due from `first` on fall within
// the run's active hours. `runPath`: the run's folder.
ResumeDecision decideResume(const CutShortRun& run, const QDateTime& now, const QString& runPath,
                            const std::function<qint64(const QDateTime&, qint64)>& activeOf);

} // namespace runs
