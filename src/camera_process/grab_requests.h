#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

namespace camera_process {

// The grabs asked of the camera process and not answered yet, by their id, each with the
// caller's ticket and the moment it is given up on. Every ticket leaves exactly once: answered,
// expired at its deadline, or given up with the process.
class GrabRequests : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit GrabRequests(QObject* parent = nullptr);

    qint64 nextId() { return ++lastId_; }
    void wait(qint64 id, qint64 ticket, Clock::time_point deadline);
    // The ticket of grab `id`, no longer waited for; none when it was given up on already, or
    // is not one of these (a waiting grab's).
    std::optional<qint64> answered(qint64 id);
    // Every ticket still waited for; none is waited for any more.
    QList<qint64> giveUpAll();
    bool isEmpty() const { return pending_.isEmpty(); }

signals:
    // Grabs whose deadline passed without an answer.
    void expired(const QList<qint64>& tickets);

private:
    struct Pending {
        qint64 ticket;
        Clock::time_point deadline;
    };
    void arm();
    void onTimer();

    qint64 lastId_ = 0;
    QHash<qint64, Pending> pending_;
    QTimer timer_;
};

} // namespace camera_process
