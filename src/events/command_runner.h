#pragma once

#include "events/run_event.h"
#include "runs/run_log.h"

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>

namespace events {

struct CommandLimits {
    std::size_t queue = 20;                      // events waiting, at most
    std::chrono::milliseconds timeLimit{30'000}; // a command is ended after this long
};

// Starts the OnEvent command (through /bin/sh -c) for each event, one at a time, with the event
// in its environment (LUMIVEX_EVENT, LUMIVEX_RUN, LUMIVEX_PICTURE, LUMIVEX_DETAIL, LUMIVEX_TIME).
// Lives on the window's thread and never waits: the command runs beside it, its end comes
// through the event loop. A command that fails or is ended gets a row in the run's log.
class CommandRunner : public QObject {
    Q_OBJECT
public:
    using Report = std::function<void(const QString& runFolder, const runs::LogRow& row)>;
    CommandRunner(QString command, CommandLimits limits = {}, QObject* parent = nullptr);
    ~CommandRunner() override;

    void setReport(Report report) { report_ = std::move(report); }
    void add(RunEvent event);
    // Events dropped because the queue was full.
    qint64 dropped() const { return dropped_; }
    bool idle() const { return !process_ && queue_.empty(); }
    // The program ends: the commands still to come are given up to `limit`.
    void finish(std::chrono::milliseconds limit);

signals:
    void commandDone();

private:
    void startNext();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onFailedToStart();
    void endCommand();
    void reportRow(const QString& text);

    QString command_;
    CommandLimits limits_;
    Report report_;
    std::deque<RunEvent> queue_;
    std::unique_ptr<QProcess> process_;
    RunEvent current_;
    QByteArray stderr_;
    QTimer limit_;
    bool ended_ = false;
    qint64 dropped_ = 0;
    qint64 droppedUntold_ = 0;
};

} // namespace events
