#include "events/command_runner.h"

#include <QEventLoop>
#include <csignal>
#include <unistd.h>

namespace events {

namespace {

// Of the command's standard error only the first line is kept; more is not read into memory.
constexpr qsizetype StderrKept = 4096;

QString seconds(std::chrono::milliseconds ms) {
    return ms.count() % 1000 == 0 ? QStringLiteral("%1 s").arg(ms.count() / 1000)
                                  : QStringLiteral("%1 s").arg(double(ms.count()) / 1000.0);
}

} // namespace

CommandRunner::CommandRunner(QString command, CommandLimits limits, QObject* parent)
    : QObject(parent), command_(std::move(command)), limits_(limits) {
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, &CommandRunner::endCommand);
}

CommandRunner::~CommandRunner() {
    if (process_) {
        process_->disconnect(this);
        ::kill(-pid_t(process_->processId()), SIGKILL);
        process_->waitForFinished(1000);
    }
}

void CommandRunner::add(RunEvent event) {
    if (queue_.size() >= limits_.queue) {
        queue_.pop_front();
        ++dropped_;
        ++droppedUntold_;
    }
    queue_.push_back(std::move(event));
    if (!process_) startNext();
}

void CommandRunner::startNext() {
    if (queue_.empty()) return;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    if (droppedUntold_ > 0) {
        reportRow(QStringLiteral("OnEvent: %1 events were left out while the command was busy")
                      .arg(std::exchange(droppedUntold_, 0)));
    }
    stderr_.clear();
    ended_ = false;
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMIVEX_EVENT"), current_.name);
    environment.insert(QStringLiteral("LUMIVEX_RUN"), current_.runFolder);
    environment.insert(QStringLiteral("LUMIVEX_PICTURE"), current_.picture);
    environment.insert(QStringLiteral("LUMIVEX_DETAIL"), current_.detail);
    environment.insert(QStringLiteral("LUMIVEX_TIME"), runs::logTime(current_.time));
    process_->setProcessEnvironment(environment);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    // A group of its own: ending the command ends whatever it started too.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process_.get(), &QProcess::readyReadStandardError, this, [this] {
        const QByteArray more = process_->readAllStandardError();
        if (stderr_.size() < StderrKept) stderr_ += more.left(StderrKept - stderr_.size());
    });
    connect(process_.get(), &QProcess::finished, this, &CommandRunner::onFinished);
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) onFailedToStart();
    });
    limit_.start(limits_.timeLimit);
    process_->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command_});
}

void CommandRunner::endCommand() {
    if (!process_) return;
    ended_ = true;
    ::kill(-pid_t(process_->processId()), SIGKILL);
}

void CommandRunner::onFinished(int exitCode, QProcess::ExitStatus status) {
    limit_.stop();
    stderr_ += process_->readAllStandardError().left(StderrKept);
    const QString firstLine =
        QString::fromUtf8(
            stderr_.left(stderr_.indexOf('\n') < 0 ? stderr_.size() : stderr_.indexOf('\n')))
            .trimmed();
    const QString said = firstLine.isEmpty() ? QString() : QStringLiteral(": %1").arg(firstLine);
    if (ended_)
        reportRow(QStringLiteral("OnEvent for '%1' was ended after %2%3")
                      .arg(current_.name, seconds(limits_.timeLimit), said));
    else if (status == QProcess::CrashExit)
        reportRow(QStringLiteral("OnEvent for '%1' failed: it ended on a signal%2")
                      .arg(current_.name, said));
    else if (exitCode != 0)
        reportRow(QStringLiteral("OnEvent for '%1' failed: exit status %2%3")
                      .arg(current_.name)
                      .arg(exitCode)
                      .arg(said));
    process_.release()->deleteLater();
    emit commandDone();
    startNext();
}

void CommandRunner::onFailedToStart() {
    limit_.stop();
    reportRow(QStringLiteral("OnEvent for '%1' could not start: %2")
                  .arg(current_.name, process_->errorString()));
    process_.release()->deleteLater();
    emit commandDone();
    startNext();
}

void CommandRunner::reportRow(const QString& text) {
    if (report_)
        report_(current_.runFolder, {QDateTime::currentDateTime(), runs::event::Note, 0, text});
}

void CommandRunner::finish(std::chrono::milliseconds limit) {
    if (idle()) return;
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    connect(this, &CommandRunner::commandDone, &loop, [this, &loop] {
        if (idle()) loop.quit();
    });
    loop.exec();
}

} // namespace events
