#include "camera_process/child_process.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace camera_process {

namespace {

// The descriptor the camera process finds its socket on.
constexpr int ChildSocket = 3;

int openPidFd(pid_t pid) {
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

// Waits, without blocking anyone, for a killed process to be gone and reaps it; deletes itself
// then. The application owns it meanwhile, so one still waiting at the program's end goes with
// the application (its process, killed, is then reaped by whoever outlives us).
class Reaper : public QObject {
public:
    Reaper(pid_t pid, UniqueFd pidfd)
        : QObject(QCoreApplication::instance()), pid_(pid), pidfd_(std::move(pidfd)) {
        if (reap()) return;
        notifier_ = std::make_unique<QSocketNotifier>(qintptr(pidfd_.get()), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            if (reap()) deleteLater();
        });
    }
    bool done() const { return done_; }

private:
    bool reap() {
        const pid_t reaped = ::waitpid(pid_, nullptr, WNOHANG);
        done_ = reaped == pid_ || (reaped < 0 && errno == ECHILD);
        return done_;
    }

    pid_t pid_;
    UniqueFd pidfd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool done_ = false;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const QString& program, QString* error) {
    UniqueFd ours;
    UniqueFd theirs;
    if (!makeSocketPair(&ours, &theirs, error)) return nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Also clears close-on-exec when the socket already is descriptor 3.
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), ChildSocket);
    const QByteArray path = program.toLocal8Bit();
    const QByteArray fd = QByteArray::number(ChildSocket);
    char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>("--socket"),
                    const_cast<char*>(fd.constData()), nullptr};
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        if (error)
            *error = QStringLiteral("The camera process %1 cannot be started: %2")
                         .arg(program, QString::fromLocal8Bit(std::strerror(failed)));
        return nullptr;
    }
    UniqueFd pidfd(openPidFd(pid));
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, std::move(pidfd), std::move(ours)));
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd socket)
    : pid_(pid), pidfd_(std::move(pidfd)), socket_(std::move(socket)) {}

Channel& ChildProcess::channel() {
    if (!channel_) channel_ = std::make_unique<Channel>(std::move(socket_));
    return *channel_;
}

ChildProcess::~ChildProcess() {
    end();
}

bool ChildProcess::exited() const {
    if (pid_ <= 0) return true;
    siginfo_t info{};
    // WNOWAIT: the process stays to be reaped by end().
    return ::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid_;
}

void ChildProcess::end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    channel_.reset();
    socket_.reset();
    if (pidfd_) {
        auto* reaper = new Reaper(pid_, std::move(pidfd_));
        if (reaper->done()) delete reaper;
    } else {
        ::waitpid(pid_, nullptr, WNOHANG); // no pidfd (an old kernel): a zombie at worst
    }
    pid_ = -1;
}

} // namespace camera_process
