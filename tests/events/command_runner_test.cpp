// The command on every event: its environment, its failures in the run's log, its time limit,
// and a flood of events that never holds the caller.
#include "events/command_runner.h"
#include "events/run_event.h"
#include "qt_printers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Logged {
    QString runFolder;
    runs::LogRow row;
};

// Runs the event loop until the runner has nothing left to do (or `limit` passed).
bool waitIdle(events::CommandRunner& runner, std::chrono::milliseconds limit = 10s) {
    QElapsedTimer timer;
    timer.start();
    while (!runner.idle() && timer.elapsed() < limit.count()) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        QObject::connect(&runner, &events::CommandRunner::commandDone, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return runner.idle();
}

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

events::RunEvent event(const QString& name, const QString& detail) {
    return {name, QStringLiteral("/runs/08Dec2026-101500"),
            QStringLiteral("/runs/08Dec2026-101500/Picture 7.png"), detail,
            QDateTime(QDate(2026, 12, 8), QTime(10, 15, 7), Qt::LocalTime)};
}

TEST(CommandRunner, GivesTheEventInTheEnvironmentAndLogsAFailureWithItsFirstErrorLine) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("env.txt"));
    events::CommandRunner runner(QStringLiteral("env | grep '^LUMIVEX_' | sort >> '%1'; "
                                                "echo 'no route to the phone' >&2; echo more >&2; "
                                                "exit 4")
                                     .arg(out));
    QList<Logged> logged;
    runner.setReport([&](const QString& folder, const runs::LogRow& row) {
        logged.append({folder, row});
    });
    runner.add(event(QStringLiteral("camera lost"), QStringLiteral("There is no camera")));
    ASSERT_TRUE(waitIdle(runner));

    EXPECT_EQ(readAll(out), QStringLiteral("LUMIVEX_DETAIL=There is no camera\n"
                                           "LUMIVEX_EVENT=camera lost\n"
                                           "LUMIVEX_PICTURE=/runs/08Dec2026-101500/Picture 7.png\n"
                                           "LUMIVEX_RUN=/runs/08Dec2026-101500\n"
                                           "LUMIVEX_TIME=2026-12-08T10:15:07.000") +
                                runs::logTime(event(QString(), QString()).time).mid(23) +
                                QLatin1Char('\n'));
    ASSERT_EQ(logged.size(), 1);
    EXPECT_EQ(logged[0].runFolder, QStringLiteral("/runs/08Dec2026-101500"));
    EXPECT_EQ(logged[0].row.event, runs::event::Note);
    EXPECT_EQ(logged[0].row.detail,
              QStringLiteral("OnEvent for 'camera lost' failed: exit status 4: no route to the "
                             "phone"));
}

TEST(CommandRunner, EndsACommandAndWhatItStartedAfterTheTimeLimit) {
    events::CommandRunner runner(QStringLiteral("echo waiting >&2; sleep 61.75; sleep 1"),
                                 {20, 300ms});
    QList<Logged> logged;
    runner.setReport([&](const QString& folder, const runs::LogRow& row) {
        logged.append({folder, row});
    });
    QElapsedTimer timer;
    timer.start();
    runner.add(event(QStringLiteral("stopped"), QString()));
    ASSERT_TRUE(waitIdle(runner));
    EXPECT_LT(timer.elapsed(), 3000);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_EQ(logged[0].row.detail,
              QStringLiteral("OnEvent for 'stopped' was ended after 0.3 s: waiting"));
    // The sleep the shell started went with it (a killed process takes a moment to be gone).
    const auto sleeping = [] {
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("61.75"))
                return true;
        }
        return false;
    };
    for (int i = 0; i < 40 && sleeping(); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(sleeping());
}

TEST(CommandRunner, AFloodKeepsTheNewestTwentyCountsTheRestAndNeverHoldsTheCaller) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("events.txt"));
    events::CommandRunner runner(QStringLiteral("echo \"$LUMIVEX_DETAIL\" >> '%1'").arg(out));
    QList<Logged> logged;
    runner.setReport([&](const QString& folder, const runs::LogRow& row) {
        logged.append({folder, row});
    });
    // The first starts its command, as any single event does; the flood after it only waits.
    runner.add(event(QStringLiteral("not saved"), QStringLiteral("0")));
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i < 100; ++i)
        runner.add(event(QStringLiteral("not saved"), QString::number(i)));
    EXPECT_LT(timer.elapsed(), 50);
    EXPECT_EQ(runner.dropped(), 79); // the first runs at once; of the 99 after it, 20 wait
    ASSERT_TRUE(waitIdle(runner, 30s));

    QStringList expected{QStringLiteral("0")};
    for (int i = 80; i < 100; ++i)
        expected << QString::number(i);
    EXPECT_EQ(readAll(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_EQ(logged[0].row.detail,
              QStringLiteral("OnEvent: 79 events were left out while the command was busy"));
}

TEST(EventPicker, TellsTheRunsEventsAndOnlyTheFirstOfAStreakOfPicturesNotSaved) {
    events::EventPicker picker;
    const QDateTime t = QDateTime::currentDateTime();
    QStringList picked;
    for (const QString& name :
         {runs::event::Started, runs::event::Saved, runs::event::NotSaved, runs::event::NotSaved,
          runs::event::Note, runs::event::NotSaved, runs::event::Saved, runs::event::NotSaved,
          runs::event::Frozen, runs::event::DiskAlmostFull, runs::event::CameraLost,
          runs::event::Stopped})
        if (const auto event = picker.pick({t, name, 0, {}})) picked << *event;
    EXPECT_EQ(picked,
              (QStringList{runs::event::Started, runs::event::NotSaved, runs::event::NotSaved,
                           runs::event::Frozen, runs::event::DiskAlmostFull,
                           runs::event::CameraLost, runs::event::Stopped}));
}

} // namespace
