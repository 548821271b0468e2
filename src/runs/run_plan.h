#pragma once

#include "runs/run_log.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>

namespace runs {

// What a run was started with, as its log's "started" row tells it: enough to take the run up
// again after the program ended in the middle of it.
struct RunPlan {
    std::int32_t interval = 0;
    std::int32_t stopAt = -1; // -1: "when I say so"
    QString pictureFormat;    // "BMP", "PNG", "JPEG"
    QString camera;           // the camera's name as the program shows it
    QString videoFormat;      // the video format's label, "YUY2  640 x 480  30 fps"
    QString version;          // of the program that started the run

    friend bool operator==(const RunPlan&, const RunPlan&) = default;
};

// "interval: 10 s; stop: after 8640 pictures; save as: PNG; camera: ...; video format: ...;
// version: 0.3.0". Read back by readPlan(); nothing for another text.
QString planDetail(const RunPlan& plan);
std::optional<RunPlan> readPlan(const QString& detail);

// A run whose log has no "stopped" row: the program ended in the middle of it.
struct CutShortRun {
    QString folder; // its name in the pictures folder
    RunPlan plan;
    QDateTime started;        // the "started" row's moment: timed pictures fall due from it
    QDateTime lastRow;        // the last moment the program was known to be running
    qint64 highest = 0;       // the highest picture number in the log or in the folder
    qint64 highestLogged = 0; // the highest in the log
    qint64 notSaved = 0;      // pictures logged as not saved
    QString lastReason;       // the last one's reason, "Picture 7: ..."
    // Numbers up to `highest` without a row: the program ended before it wrote one. Those with
    // a file were saved; the others were not.
    QList<qint64> savedUnlogged, lostUnlogged;
};

// Picture numbers a cut-short run may lack rows for (the program ended before it wrote them),
// and pictures that may have fallen due while it was away (four months at one a second): past
// these the folder or its log is not the program's own, or the run is long over.
inline constexpr qint64 MaxUnlogged = 1000;
inline constexpr qint64 MaxMissed = 10'000'000;

// The newest run in `picturesDir`, when the program ended in the middle of it. Nothing when
// the newest run was stopped, or has no log (made before the program kept one); nothing with
// `whyNot` set when its log cannot be read.
std::optional<CutShortRun> findCutShortRun(const QString& picturesDir, const QLocale& locale,
                                           QString* whyNot);

// Why `run` cannot be taken up again at `now` (its log's times out of order, or far too many
// pictures fell due meanwhile); empty when it can.
QString resumeProblem(const CutShortRun& run, const QDateTime& now);

// How many timed pictures fall due after `from` up to `to` in a run that started at `start` and
// takes one every `interval` seconds.
qint64 picturesDueBetween(const QDateTime& start, std::int32_t interval, const QDateTime& from,
                          const QDateTime& to);
// The first of those moments (start plus whole intervals) after `from`.
QDateTime firstDueAfter(const QDateTime& start, std::int32_t interval, const QDateTime& from);

} // namespace runs
