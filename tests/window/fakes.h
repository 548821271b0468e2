#pragma once

#include "camera_api/camera_view.h"
#include "support/qt_printers.h"
#include "window/clock.h"
#include "window/message_boxes.h"

#include <QFile>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

// Test doubles for what the window uses: a camera that grabs small frames, a recorder of
// message boxes, and simulated time.

class FakeCamera : public camera::CameraView {
public:
    bool deviceFound = true;
    QString createError;  // set: creation fails with this error
    QString connectError; // set: connecting fails with this error
    QString grabError;    // set: grabs fail with this error
    QStringList calls;    // every operation, in order
    QWidget* view = nullptr;
    std::function<void()> onGrab;         // runs inside each grab
    std::function<void()> onFormatDialog; // runs inside videoFormatDialog

    // Each answer comes from the event loop, as the camera view's do.
    void create(QWidget* parent, QSize size, const QString& source) override {
        calls
            << QStringLiteral("create %1x%2 [%3]").arg(size.width()).arg(size.height()).arg(source);
        QWidget* made = nullptr;
        if (createError.isEmpty() && deviceFound) {
            view = made = new QWidget(parent);
            view->setGeometry(QRect(QPoint(0, 0), size));
        }
        later([this, made, error = createError] { emit created(made, error); });
    }
    void connectDriver() override {
        calls << QStringLiteral("connect");
        later([this, error = connectError] { emit connected(error); });
    }
    void setPreviewRate(int ms) override { calls << QStringLiteral("rate %1").arg(ms); }
    void setPreview(bool on) override { calls << QStringLiteral("preview %1").arg(on); }
    void videoFormatDialog() override {
        calls << QStringLiteral("format dialog");
        if (onFormatDialog) onFormatDialog();
        later([this] { emit formatChosen(); });
    }
    void later(std::function<void()> answer) {
        QMetaObject::invokeMethod(this, std::move(answer), Qt::QueuedConnection);
    }
    bool holdGrabs = false; // set: grabs wait in heldGrabs until answer() is called
    QList<qint64> heldGrabs;
    // Answered at once, as a camera with the frame at hand, unless held.
    void requestGrab(qint64 ticket) override {
        if (holdGrabs) {
            heldGrabs << ticket;
            return;
        }
        answer(ticket);
    }
    void answer(qint64 ticket) {
        QString error;
        if (!grabFrame(&error)) {
            emit grabDone(ticket, {}, {}, error);
            return;
        }
        emit grabDone(ticket, grabbedFrame(), grabbedAt(), {});
    }
    bool grabFrame(QString* error) {
        calls << QStringLiteral("grab");
        if (onGrab) onGrab();
        *error = grabError;
        return grabError.isEmpty();
    }
    // A small frame of one grey, captured at 07:40:39 in UTC.
    QImage grabbedFrame() const {
        QImage frame(8, 6, QImage::Format_RGB32);
        frame.fill(qRgb(100, 100, 100));
        return frame;
    }
    QDateTime grabbedAt() const { return QDateTime(QDate(2026, 12, 6), QTime(7, 40, 39), Qt::UTC); }
    void disconnectDriver() override { calls << QStringLiteral("disconnect"); }
    void restartCamera(const QString& reason) override {
        calls << QStringLiteral("restart: %1").arg(reason);
    }
    QSize size{640, 480};
    QSize pictureSize() const override { return size; }
};

class FakeMessages : public window::MessageBoxes {
public:
    struct Shown {
        QString text, title;
        Icon icon;
    };
    std::vector<Shown> shown;
    std::function<void()> whileShown; // runs while the "box" is open

    void show(const QString& text, const QString& title, Icon icon) override {
        shown.push_back({text, title, icon});
        if (whileShown) whileShown();
    }
};

class FakeClock : public window::Clock {
public:
    window::Nanoseconds now{std::chrono::hours(1)};
    QDateTime local{QDate(2026, 12, 6), QTime(7, 40, 39)};

    window::Nanoseconds asleep{};

    window::Nanoseconds monotonic() const override { return now; }
    QDateTime localNow() const override { return local; }
    window::Nanoseconds suspended() const override { return asleep; }
};

// An alarm that rings only when the test lets simulated time pass.
class FakeAlarm : public window::Alarm {
public:
    std::optional<window::Nanoseconds> deadline;

    void wakeAt(window::Nanoseconds at) override { deadline = at; }
    void cancel() override { deadline.reset(); }

    // Lets time pass until `until`, ringing at each deadline; `lateness` says how late the
    // wake-up comes after a deadline (a real timer never wakes exactly on time).
    void run(FakeClock& clock, window::Nanoseconds until,
             const std::function<window::Nanoseconds()>& lateness = {}) {
        while (deadline && *deadline <= until) {
            clock.now = *deadline + (lateness ? lateness() : window::Nanoseconds::zero());
            deadline.reset();
            emit rang();
        }
        if (clock.now < until) clock.now = until;
    }
};
