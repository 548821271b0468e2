#include "runs/run_plan.h"

#include "runs/run_names.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <map>

namespace runs {

namespace {

const QStringList PlanKeys{QStringLiteral("interval"),     QStringLiteral("stop"),
                           QStringLiteral("save as"),      QStringLiteral("camera"),
                           QStringLiteral("video format"), QStringLiteral("version")};

QString stopText(std::int32_t stopAt) {
    return stopAt < 0 ? QStringLiteral("when I say so")
                      : QStringLiteral("after %1 pictures").arg(stopAt);
}

// The newest run folder by the moment its name gives (and its repeat within that second).
QString newestRunFolder(const QString& picturesDir, const QLocale& locale) {
    QString newest;
    std::optional<RunStart> newestStart;
    for (const QString& name : QDir(picturesDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const std::optional<RunStart> start = readRunFolderName(name, locale);
        if (!start) continue;
        if (!newestStart || start->moment > newestStart->moment ||
            (start->moment == newestStart->moment && start->repeat > newestStart->repeat)) {
            newest = name;
            newestStart = start;
        }
    }
    return newest;
}

// Picture numbers as stretches first..last, those that touch merged: a log's numbers come in
// order, so a run of millions of pictures is a handful of stretches.
class NumberSet {
public:
    void add(qint64 first, qint64 last) {
        auto it = spans_.upper_bound(first);
        if (it != spans_.begin() && std::prev(it)->second >= first - 1) --it;
        while (it != spans_.end() && it->first <= last + 1) {
            first = std::min(first, it->first);
            last = std::max(last, it->second);
            count_ -= it->second - it->first + 1;
            it = spans_.erase(it);
        }
        spans_.emplace(first, last);
        count_ += last - first + 1;
    }
    bool contains(qint64 n) const {
        auto it = spans_.upper_bound(n);
        return it != spans_.begin() && std::prev(it)->second >= n;
    }
    qint64 count() const { return count_; }
    // The numbers from 1 to `upTo` not in the set.
    QList<qint64> missingUpTo(qint64 upTo) const {
        QList<qint64> missing;
        qint64 next = 1;
        for (const auto& [first, last] : spans_) {
            for (; next < std::min(first, upTo + 1); ++next)
                missing << next;
            next = std::max(next, last + 1);
        }
        for (; next <= upTo; ++next)
            missing << next;
        return missing;
    }

private:
    std::map<qint64, qint64> spans_;
    qint64 count_ = 0;
};

} // namespace

QString planDetail(const RunPlan& plan) {
    const QStringList values{QStringLiteral("%1 s").arg(plan.interval),
                             stopText(plan.stopAt),
                             plan.pictureFormat,
                             plan.camera,
                             plan.videoFormat,
                             plan.version};
    QStringList parts;
    for (qsizetype i = 0; i < PlanKeys.size(); ++i)
        parts << QStringLiteral("%1: %2").arg(PlanKeys[i], values[i]);
    return parts.join(QStringLiteral("; "));
}

std::optional<RunPlan> readPlan(const QString& detail) {
    // The fields before the camera are read from the front and those after it from the back, so
    // that a camera's name may hold anything.
    QStringList values(PlanKeys.size());
    QString rest = detail;
    for (int i = 0; i < 3; ++i) {
        const QString key = PlanKeys[i] + QStringLiteral(": ");
        const qsizetype end = rest.indexOf(QStringLiteral("; "));
        if (!rest.startsWith(key) || end < 0) return std::nullopt;
        values[i] = rest.mid(key.size(), end - key.size());
        rest = rest.mid(end + 2);
    }
    for (int i = int(PlanKeys.size()) - 1; i > 3; --i) {
        const QString key = QStringLiteral("; %1: ").arg(PlanKeys[i]);
        const qsizetype at = rest.lastIndexOf(key);
        if (at < 0) return std::nullopt;
        values[i] = rest.mid(at + key.size());
        rest.truncate(at);
    }
    const QString cameraKey = PlanKeys[3] + QStringLiteral(": ");
    if (!rest.startsWith(cameraKey)) return std::nullopt;
    values[3] = rest.mid(cameraKey.size());
    RunPlan plan;
    static const QRegularExpression Interval(QStringLiteral("^(-?\\d+) s$"));
    static const QRegularExpression Stop(QStringLiteral("^after (-?\\d+) pictures$"));
    const QRegularExpressionMatch interval = Interval.match(values[0]);
    if (!interval.hasMatch()) return std::nullopt;
    bool ok = false;
    plan.interval = interval.captured(1).toInt(&ok);
    if (!ok) return std::nullopt;
    if (values[1] != stopText(-1)) {
        const QRegularExpressionMatch stop = Stop.match(values[1]);
        if (!stop.hasMatch()) return std::nullopt;
        plan.stopAt = stop.captured(1).toInt(&ok);
        if (!ok) return std::nullopt;
    }
    plan.pictureFormat = values[2];
    plan.camera = values[3];
    plan.videoFormat = values[4];
    plan.version = values[5];
    return plan;
}

qint64 picturesDueBetween(const QDateTime& start, std::int32_t interval, const QDateTime& from,
                          const QDateTime& to) {
    if (interval <= 0 || !start.isValid() || !from.isValid() || !to.isValid()) return 0;
    const qint64 period = qint64(interval) * 1000;
    const auto dueBy = [&](const QDateTime& moment) {
        return std::max<qint64>(0, start.msecsTo(moment)) / period;
    };
    return std::max<qint64>(0, dueBy(to) - dueBy(from));
}

QDateTime firstDueAfter(const QDateTime& start, std::int32_t interval, const QDateTime& from) {
    if (interval <= 0) return from;
    const qint64 period = qint64(interval) * 1000;
    const qint64 done = std::max<qint64>(0, start.msecsTo(from)) / period;
    return start.addMSecs((done + 1) * period);
}

std::optional<CutShortRun> findCutShortRun(const QString& picturesDir, const QLocale& locale,
                                           QString* whyNot) {
    if (whyNot) whyNot->clear();
    const QString name = newestRunFolder(picturesDir, locale);
    if (name.isEmpty()) return std::nullopt;
    const QString folder = picturesDir + QLatin1Char('/') + name;
    const QString logPath = folder + QLatin1Char('/') + RunLogName;
    if (!QFileInfo::exists(logPath)) return std::nullopt;
    const auto cannot = [&](const QString& why) {
        if (whyNot) *whyNot = QStringLiteral("The run %1 cannot be resumed: %2").arg(name, why);
        return std::nullopt;
    };
    // The log is read row by row and only what a resume needs is kept.
    CutShortRun run;
    run.folder = name;
    qint64 rows = 0;
    bool stopped = false;
    std::optional<RunPlan> plan;
    QString firstEvent;
    NumberSet logged;
    const auto onRow = [&](const LogRow& row) {
        if (rows++ == 0) {
            firstEvent = row.event;
            run.started = row.time;
            plan = readPlan(row.detail);
        }
        if (row.event == event::Stopped) stopped = true;
        run.lastRow = row.time;
        if (row.picture <= 0) return;
        logged.add(row.picture, row.last());
        run.highestLogged = std::max(run.highestLogged, row.last());
        if (row.event == event::NotSaved) {
            run.notSaved += row.pictures();
            run.lastReason = QStringLiteral("Picture %1: %2").arg(row.last()).arg(row.detail);
        }
    };
    QString error;
    if (!readRunLog(logPath, onRow, nullptr, &error))
        return cannot(QStringLiteral("its log cannot be read (%1).").arg(error));
    if (rows == 0 || firstEvent != event::Started)
        return cannot(QStringLiteral("its log does not begin with the run's start."));
    if (!plan) return cannot(QStringLiteral("its log's first row is not understood."));
    if (stopped) return std::nullopt; // it ended as it should
    run.plan = *plan;
    run.highest = run.highestLogged;
    // A run counts its pictures in 32 bits; and the program ends before it writes the row of a
    // picture or two, never of thousands: a folder or log that says otherwise was made by hand.
    const auto unaccounted = [&] {
        return cannot(QStringLiteral("its folder holds picture numbers its log does not account "
                                     "for."));
    };
    QSet<qint64> files; // those without a row
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        const qint64 number = pictureNumber(it.nextFileInfo().fileName());
        if (number <= 0 || logged.contains(number)) continue;
        files.insert(number);
        if (files.size() > MaxUnlogged) return unaccounted();
        run.highest = std::max(run.highest, number);
    }
    if (run.highest > std::numeric_limits<std::int32_t>::max())
        return cannot(QStringLiteral("its picture numbers go past %1.")
                          .arg(std::numeric_limits<std::int32_t>::max()));
    if (run.highest - logged.count() > MaxUnlogged) return unaccounted();
    for (const qint64 n : logged.missingUpTo(run.highest))
        (files.contains(n) ? run.savedUnlogged : run.lostUnlogged) << n;
    return run;
}

QString resumeProblem(const CutShortRun& run, const QDateTime& now) {
    if (run.lastRow < run.started || run.started > now.addSecs(60))
        return QStringLiteral("its log's times are not in order, or lie ahead of this "
                              "computer's clock.");
    const qint64 missed = picturesDueBetween(run.started, run.plan.interval, run.lastRow, now);
    if (missed > MaxMissed || run.highest + missed > std::numeric_limits<std::int32_t>::max())
        return QStringLiteral("%1 pictures fell due since it last ran, more than a run is "
                              "taken up after.")
            .arg(missed);
    return {};
}

} // namespace runs
