#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>

namespace window {

using Nanoseconds = std::chrono::nanoseconds;

// Where the window gets its time from: a monotonic clock that paces the ticks and the local
// date and time that names run folders. Tests substitute simulated time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Nanoseconds monotonic() const = 0;
    virtual QDateTime localNow() const = 0;
    // How long the computer has been asleep since it started; a jump tells that it slept.
    virtual Nanoseconds suspended() const { return {}; }
};

// Wakes its owner at a deadline on the monotonic clock, once per call of wakeAt().
class Alarm : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void wakeAt(Nanoseconds deadline) = 0;
    virtual void cancel() = 0;

signals:
    void rang();
};

// The machine's clocks. The run's pace goes by the boot-time clock, which unlike the plain
// monotonic one goes on while the computer sleeps: the pictures that fell due meanwhile are
// then seen as due, and counted.
class SystemClock final : public Clock {
public:
    Nanoseconds monotonic() const override;
    QDateTime localNow() const override { return QDateTime::currentDateTime(); }
    Nanoseconds suspended() const override;
};

// A single-shot precise Qt timer. Qt may wake a timer a little early; then it sleeps again
// for the rest, so rang() never comes before the deadline.
class TimerAlarm final : public Alarm {
    Q_OBJECT
public:
    TimerAlarm(const Clock& clock, QObject* parent = nullptr);
    void wakeAt(Nanoseconds deadline) override;
    void cancel() override { timer_.stop(); }

private:
    void arm();

    const Clock& clock_;
    QTimer timer_;
    Nanoseconds deadline_{};
};

} // namespace window
