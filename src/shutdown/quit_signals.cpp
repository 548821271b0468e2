#include "shutdown/quit_signals.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ending {

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
int socketPair[2] = {-1, -1};

void onSignal(int number) {
    const int saved = errno;
    const char byte = char(number);
    // Nothing to do if the socket is full: a signal is already waiting to be read.
    [[maybe_unused]] const ssize_t n = ::write(socketPair[0], &byte, 1);
    errno = saved;
}

QString signalName(int number) {
    switch (number) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    case SIGINT:
        return QStringLiteral("SIGINT");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, socketPair) != 0)
        return;
    notifier_ = new QSocketNotifier(socketPair[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Signals)
        ::sigaction(number, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int number : Signals)
        ::sigaction(number, &action, nullptr);
    delete notifier_;
    for (int& fd : socketPair) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QuitSignals::onReadable() {
    char byte = 0;
    if (::read(socketPair[1], &byte, 1) != 1) return;
    if (received_) return; // already ending
    received_ = true;
    emit quitRequested(signalName(static_cast<unsigned char>(byte)));
}

} // namespace ending
