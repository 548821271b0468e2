#pragma once

#include "camera_protocol/message.h"
#include "camera_protocol/reply.h"

#include <QLatin1String>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

namespace camera_process {

// The one answer of the camera process that a step (of start-up, of a format change) waits for,
// without anyone waiting: the next step is given the answer from the event loop, or null and why
// none came (silence past the time allowed, the process gone, a damaged answer).
class ExpectedAnswer : public QObject {
    Q_OBJECT
public:
    using Then = std::function<void(const Reply* answer, const QString& error)>;

    // `silent`: why no answer came within the time allowed (the process hangs, or has gone).
    explicit ExpectedAnswer(std::function<QString()> silent, QObject* parent = nullptr);

    // One of `verbs` from the camera process `process` (a serial: an answer from any other
    // process is none), within `timeout`; in place of what was expected before.
    void expect(std::initializer_list<const char*> verbs, quint64 process,
                std::chrono::milliseconds timeout, Then then);
    // Whether `message` from `process` is the answer expected: then it goes there, decoded as
    // `said` (none: damaged, for `damaged`), and nowhere else.
    bool take(const Message& message, quint64 process, const std::optional<Reply>& said,
              const QString& damaged);
    // What is expected gets `why`, from the event loop.
    void fail(const QString& why);
    // Nothing is expected any more; nobody is told.
    void drop();

private:
    void onTimeout();

    std::function<QString()> silent_;
    std::vector<QLatin1String> verbs_;
    quint64 process_ = 0;
    Then then_;
    QString failure_; // set: failed, said from the event loop
    QTimer timer_;
};

} // namespace camera_process
